// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/job.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>

using namespace tavrel::model;

namespace {

// While set, every allocation of this test program fails.
std::atomic<bool> g_allocationsFail{false};

struct AllocationsFail
{
    AllocationsFail() { g_allocationsFail.store(true); }
    ~AllocationsFail() { g_allocationsFail.store(false); }
};

} // namespace

// Every plain and array form is replaced, so that memory from any of them goes back the same
// way (a sanitizer build checks that new and delete match).
// GCC cannot see that these replacements pair malloc with free throughout.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

static void* allocate(std::size_t size)
{
    if (g_allocationsFail.load())
        return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

void* operator new(std::size_t size)
{
    if (void* memory = allocate(size))
        return memory;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return allocate(size);
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory, std::size_t) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, const std::nothrow_t&) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory, const std::nothrow_t&) noexcept
{
    std::free(memory);
}

TEST(Job, NewPairHasCreationValues)
{
    Job job;
    FolderPair* pair = job.addPair();
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(*pair, FolderPair{});
    EXPECT_EQ(pair->enabled, 1);
    EXPECT_EQ(pair->method, SyncMethod::LightCopy);
    EXPECT_EQ(pair->includeSubfolders, 0);
    EXPECT_EQ(pair->recycleDeleted, 0);
    EXPECT_TRUE(pair->name.empty() && pair->orgPath.empty() && pair->includeFiles.empty());
    EXPECT_EQ(job.count(), 1);
}

TEST(Job, FreedSlotIsReusedAndIterationFollowsSlots)
{
    Job job;
    FolderPair* first = job.addPair();
    job.addPair();
    FolderPair* third = job.addPair();
    job.removePair(1);
    EXPECT_EQ(job.count(), 2);
    EXPECT_EQ(job.occupiedSlots(), (std::vector<int>{0, 2}));

    FolderPair* again = job.addPair();
    EXPECT_EQ(job.slotOf(again), 1);
    EXPECT_EQ(job.slotOf(first), 0);
    EXPECT_EQ(job.slotOf(third), 2);
    EXPECT_EQ(job.occupiedSlots(), (std::vector<int>{0, 1, 2}));
}

TEST(Job, HoldsAtMostOneHundredPairs)
{
    Job job;
    for (int i = 0; i < kMaxPairs; ++i)
        ASSERT_NE(job.addPair(), nullptr);
    EXPECT_EQ(job.addPair(), nullptr);
    EXPECT_EQ(job.count(), 100);

    job.removePair(57);
    FolderPair* pair = job.addPair();
    EXPECT_EQ(job.slotOf(pair), 57);
    EXPECT_EQ(job.count(), 100);
}

TEST(Job, AddPairWithoutMemoryGivesNoneAndChangesNothing)
{
    Job job;
    ASSERT_NE(job.addPair(), nullptr);
    FolderPair* pair = nullptr;
    {
        const AllocationsFail failing;
        pair = job.addPair();
    }
    EXPECT_EQ(pair, nullptr);
    EXPECT_EQ(job.count(), 1);
    EXPECT_EQ(job.pairAt(1), nullptr);
    EXPECT_NE(job.addPair(), nullptr);
}

TEST(Job, RemovingEmptyOrInvalidSlotsChangesNothing)
{
    Job job;
    job.addPair();
    for (int slot : {-1, 1, 99, 100})
        job.removePair(slot);
    EXPECT_EQ(job.count(), 1);
    EXPECT_EQ(job.slotOf(nullptr), -1);
    FolderPair stranger;
    EXPECT_EQ(job.slotOf(&stranger), -1);

    job.clear();
    EXPECT_EQ(job.count(), 0);
    EXPECT_TRUE(job.occupiedSlots().empty());
}
