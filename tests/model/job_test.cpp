#include <gtest/gtest.h>

#include "model/job.h"

using namespace tavrel::model;

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
