// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/pair_extras.h"

#include <random>

namespace tavrel::model {

bool PairExtras::hasOptions() const
{
    PairExtras defaults;
    defaults.pairId = pairId;
    return !(*this == defaults);
}

PairId newPairId()
{
    // random_device reads the kernel's generator on Linux; two pairs made in the same second on
    // two machines must not share an id, which a clock-seeded generator would allow.
    std::random_device device;
    PairId id{};
    do {
        for (std::size_t i = 0; i < id.size(); i += 4) {
            const uint32_t word = device();
            for (std::size_t b = 0; b < 4; ++b)
                id[i + b] = static_cast<uint8_t>(word >> (8 * b));
        }
    } while (id == PairId{});
    return id;
}

void settlePairId(PairExtras& extras)
{
    if (!extras.hasPairId() && extras.hasOptions())
        extras.pairId = newPairId();
}

std::string pairIdText(const PairId& id)
{
    constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(id.size() * 2);
    for (const uint8_t byte : id) {
        out.push_back(kDigits[byte >> 4]);
        out.push_back(kDigits[byte & 0x0F]);
    }
    return out;
}

std::string conflictPolicyWord(ConflictPolicy policy)
{
    switch (policy) {
    case ConflictPolicy::Skip:
        return "skip";
    case ConflictPolicy::KeepBoth:
        return "keep-both";
    case ConflictPolicy::OrgWins:
        return "org-wins";
    case ConflictPolicy::TgtWins:
        return "tgt-wins";
    }
    return {};
}

} // namespace tavrel::model
