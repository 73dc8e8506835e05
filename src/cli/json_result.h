// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run_outcome.h"
#include "engine/run_state.h"

#include <cstdint>
#include <string>

namespace tavrel::cli {

// One JSON object: "result", "preview":true for a preview, "errors", "conflicts" (counted among
// the errors as well) and every counter under its own name.
std::string resultJson(engine::RunOutcome outcome, int32_t errors, int32_t conflicts,
                       const engine::StatisticsSnapshot& statistics, bool preview);

} // namespace tavrel::cli
