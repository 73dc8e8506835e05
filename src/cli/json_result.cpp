// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/json_result.h"

#include <string_view>

namespace tavrel::cli {

std::string resultJson(engine::RunOutcome outcome, int32_t errors, int32_t conflicts,
                       const engine::StatisticsSnapshot& s, bool preview)
{
    std::string json = "{\"result\":\"";
    json += engine::outcomeName(outcome);
    json += "\"";
    if (preview)
        json += ",\"preview\":true";
    auto field = [&json](std::string_view key, int32_t value) {
        json += ",\"";
        json += key;
        json += "\":";
        json += std::to_string(value);
    };
    field("errors", errors);
    field("conflicts", conflicts);
    for (const engine::StatisticsField& counter : engine::kStatisticsFields)
        field(counter.name, s.*counter.value);
    json += "}";
    return json;
}

} // namespace tavrel::cli
