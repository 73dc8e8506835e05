// SPDX-License-Identifier: GPL-3.0-or-later
// Inputs found by fuzzing parsePatternList, kept so they stay fixed.
#include "model/folder_pair.h"
#include "model/pattern_list.h"
#include "model/text_rules.h"

#include <gtest/gtest.h>

namespace tavrel::model {
namespace {

// An item longer than the capacity is cut; a cut that ended on a space left an untrimmed
// item, which came back different once the list was shown joined and parsed again.
TEST(PatternListFuzzRegression, ItemCutToCapacityIsTrimmedAndSurvivesJoinAndParse)
{
    const std::u16string longItem = std::u16string(kItemCapacity - 1, u'a') + u" b";
    FolderPair pair;
    ASSERT_EQ(parsePatternList(pair, longItem + u";c", PatternListKind::FilesExclude), 2);
    ASSERT_EQ(pair.excludeFiles.size(), 2u);
    EXPECT_EQ(pair.excludeFiles.items()[0], std::u16string(kItemCapacity - 1, u'a'));
    EXPECT_EQ(pair.excludeFiles.items()[1], u"c");

    FolderPair again;
    parsePatternList(again, joinPatternList(pair.excludeFiles), PatternListKind::FilesExclude);
    EXPECT_EQ(again.excludeFiles, pair.excludeFiles);
}

TEST(PatternListFuzzRegression, ItemOfSpacesBeyondCapacityIsDropped)
{
    const std::u16string text = u"x" + std::u16string(kItemCapacity + 5, u' ') + u"y";
    FolderPair pair;
    EXPECT_EQ(parsePatternList(pair, text, PatternListKind::FilesExclude), 1);
    EXPECT_EQ(pair.excludeFiles.items()[0], u"x");
}

} // namespace
} // namespace tavrel::model
