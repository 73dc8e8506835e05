// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/folder_pair.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace tavrel::model {

inline constexpr int kMaxPairs = 100;

// The job: 100 slots, each empty or owning one pair. A pair's identity is its slot index,
// and every ordering of pairs is slot order.
class Job final
{
public:
    // A new pair with the creation values in the lowest empty slot, or nullptr when all
    // slots are taken.
    FolderPair* addPair();
    // Frees the pair in `slot`; an empty or out-of-range slot is left alone.
    void removePair(int slot);
    void clear();

    // The slot holding `pair`, or -1.
    int slotOf(const FolderPair* pair) const;
    // The pair in `slot`, or nullptr for an empty or out-of-range slot.
    FolderPair* pairAt(int slot);
    const FolderPair* pairAt(int slot) const;
    // Indices of the occupied slots in ascending order.
    std::vector<int> occupiedSlots() const;

    int32_t count() const { return m_count; }

private:
    std::array<std::unique_ptr<FolderPair>, kMaxPairs> m_slots;
    int32_t m_count = 0;
};

} // namespace tavrel::model
