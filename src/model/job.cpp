// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/job.h"

#include <new>

namespace tavrel::model {

FolderPair* Job::addPair()
{
    if (m_count >= kMaxPairs)
        return nullptr;
    for (auto& slot : m_slots) {
        if (!slot) {
            // Without memory the caller gets none and the job stays as it was.
            slot.reset(new (std::nothrow) FolderPair());
            if (!slot)
                return nullptr;
            ++m_count;
            return slot.get();
        }
    }
    return nullptr;
}

void Job::removePair(int slot)
{
    if (slot < 0 || slot >= kMaxPairs || !m_slots[slot])
        return;
    m_slots[slot].reset();
    --m_count;
}

void Job::clear()
{
    for (int slot = 0; slot < kMaxPairs; ++slot)
        removePair(slot);
    m_count = 0;
}

int Job::slotOf(const FolderPair* pair) const
{
    if (pair == nullptr)
        return -1;
    for (int slot = 0; slot < kMaxPairs; ++slot) {
        if (m_slots[slot].get() == pair)
            return slot;
    }
    return -1;
}

FolderPair* Job::pairAt(int slot)
{
    return slot >= 0 && slot < kMaxPairs ? m_slots[slot].get() : nullptr;
}

const FolderPair* Job::pairAt(int slot) const
{
    return slot >= 0 && slot < kMaxPairs ? m_slots[slot].get() : nullptr;
}

std::vector<int> Job::occupiedSlots() const
{
    std::vector<int> slots;
    for (int slot = 0; slot < kMaxPairs; ++slot) {
        if (m_slots[slot])
            slots.push_back(slot);
    }
    return slots;
}

} // namespace tavrel::model
