// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/pair_extras.h"

#include <functional>
#include <gtest/gtest.h>
#include <set>

using namespace tavrel::model;

TEST(PairExtras, AnyOptionAwayFromItsDefaultCountsAndTheIdDoesNot)
{
    const std::pair<const char*, std::function<void(PairExtras&)>> cases[] = {
        {"remember", [](PairExtras& e) { e.rememberState = true; }},
        {"policy", [](PairExtras& e) { e.conflictPolicy = ConflictPolicy::OrgWins; }},
        {"versions", [](PairExtras& e) { e.versionsFolder = "/v"; }},
        {"keepVersions", [](PairExtras& e) { e.keepVersions = 1; }},
        {"keepDays", [](PairExtras& e) { e.keepDays = 1; }},
    };
    for (const auto& [name, change] : cases) {
        SCOPED_TRACE(name);
        PairExtras extras;
        EXPECT_FALSE(extras.hasOptions());
        change(extras);
        EXPECT_TRUE(extras.hasOptions());
        EXPECT_FALSE(extras.isDefault());
    }
    PairExtras idOnly;
    idOnly.pairId[3] = 9;
    EXPECT_FALSE(idOnly.hasOptions());
    EXPECT_FALSE(idOnly.isDefault());
}

TEST(PairExtras, IdIsGivenWithTheFirstOptionAndKeptAfterwards)
{
    PairExtras extras;
    settlePairId(extras);
    EXPECT_FALSE(extras.hasPairId()) << "no option, no id";

    extras.rememberState = true;
    settlePairId(extras);
    ASSERT_TRUE(extras.hasPairId());
    const PairId first = extras.pairId;

    extras.rememberState = false;
    extras.keepDays = 3;
    settlePairId(extras);
    EXPECT_EQ(extras.pairId, first);
    extras.keepDays = 0;
    settlePairId(extras);
    EXPECT_EQ(extras.pairId, first) << "back at the defaults, the id stays";
}

TEST(PairExtras, NewIdsDifferAndPrintAsHex)
{
    std::set<PairId> seen;
    for (int i = 0; i < 1000; ++i)
        seen.insert(newPairId());
    EXPECT_EQ(seen.size(), 1000u);
    EXPECT_EQ(seen.count(PairId{}), 0u);

    const PairId id{0x00, 0x01, 0x7f, 0x80, 0xab, 0xff, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10};
    EXPECT_EQ(pairIdText(id), "00017f80abff00000000000000000010");
}

TEST(PairExtras, PolicyWords)
{
    EXPECT_EQ(conflictPolicyWord(ConflictPolicy::Skip), "skip");
    EXPECT_EQ(conflictPolicyWord(ConflictPolicy::KeepBoth), "keep-both");
    EXPECT_EQ(conflictPolicyWord(ConflictPolicy::OrgWins), "org-wins");
    EXPECT_EQ(conflictPolicyWord(ConflictPolicy::TgtWins), "tgt-wins");
    EXPECT_EQ(conflictPolicyWord(static_cast<ConflictPolicy>(9)), "");
}
