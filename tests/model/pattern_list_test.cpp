// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/folder_pair.h"
#include "model/text_rules.h"

#include <gtest/gtest.h>

using namespace tavrel::model;

namespace {

struct ParseCase
{
    const char* name;
    std::u16string text;
    PatternListKind kind;
    int result;
    std::vector<std::u16string> items;
};

class ParsePatternListTest : public testing::TestWithParam<ParseCase>
{
};

TEST_P(ParsePatternListTest, YieldsItems)
{
    const ParseCase& c = GetParam();
    FolderPair pair;
    // Whatever the list held before is replaced.
    pair.patternList(c.kind)->append(u"old");
    EXPECT_EQ(parsePatternList(pair, c.text, c.kind), c.result);
    EXPECT_EQ(pair.patternList(c.kind)->items(), c.items);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParsePatternListTest,
    testing::Values(
        ParseCase{
            "EmptyItemsSkipped", u"a.txt; ; b.txt ;", PatternListKind::FilesExclude, 2, {u"a.txt", u"b.txt"}},
        ParseCase{"AllSpaces", u"   ", PatternListKind::FilesInclude, 0, {}},
        ParseCase{"OnlySeparators", u";;", PatternListKind::FoldersExclude, 0, {}},
        ParseCase{"EmptyText", u"", PatternListKind::FilesInclude, 0, {}},
        ParseCase{"AllFilesInInclude", u"*.doc; *.*; *.txt", PatternListKind::FilesInclude, 1, {u"*"}},
        ParseCase{"StarInFolderInclude", u"a; *", PatternListKind::FoldersInclude, 1, {u"*"}},
        ParseCase{"AllFilesInExclude",
                  u"*.doc; *.*; *.txt",
                  PatternListKind::FilesExclude,
                  3,
                  {u"*.doc", u"*.*", u"*.txt"}},
        ParseCase{"SingleFolder", u"x", PatternListKind::FoldersInclude, 1, {u"x"}},
        ParseCase{"TabsStay", u"a\t;\tb", PatternListKind::FilesExclude, 2, {u"a\t", u"\tb"}},
        ParseCase{"DuplicatesAndCaseKept",
                  u"A.TXT;a.txt;A.TXT",
                  PatternListKind::FilesInclude,
                  3,
                  {u"A.TXT", u"a.txt", u"A.TXT"}},
        ParseCase{
            "StarInsideItemIsOrdinary", u"**; *.*x", PatternListKind::FilesInclude, 2, {u"**", u"*.*x"}}),
    [](const testing::TestParamInfo<ParseCase>& info) { return info.param.name; });

TEST(ParsePatternList, LongItemIsCutToCapacity)
{
    FolderPair pair;
    const std::u16string longItem(1022, u'x');
    EXPECT_EQ(parsePatternList(pair, longItem, PatternListKind::FilesExclude), 1);
    EXPECT_EQ(pair.excludeFiles.items().front(), std::u16string(kItemCapacity, u'x'));
}

TEST(ParsePatternList, UnknownKindChangesNothing)
{
    FolderPair pair;
    EXPECT_EQ(parsePatternList(pair, u"a", static_cast<PatternListKind>(5)), 0);
    EXPECT_EQ(pair, FolderPair{});
}

TEST(JoinPatternList, JoinsWithSemicolonSpace)
{
    FolderPair pair;
    parsePatternList(pair, u" a ;b;; c", PatternListKind::FilesExclude);
    EXPECT_EQ(joinPatternList(pair.excludeFiles), u"a; b; c");
    EXPECT_EQ(joinPatternList(PatternList{}), u"");
}

TEST(TextRules, TrimSpacesOnlyTrimsU0020)
{
    EXPECT_EQ(trimSpaces(u"  a b  "), u"a b");
    EXPECT_EQ(trimSpaces(u"\ta "), u"\ta");
    EXPECT_EQ(trimSpaces(u"    "), u"");
}

TEST(TextRules, FitTextNeverSplitsSurrogatePair)
{
    std::u16string text(19, u'a');
    text += u"\U0001F600"; // code units 19 and 20
    EXPECT_EQ(fitText(text, 20), std::u16string(19, u'a'));
    EXPECT_EQ(fitText(u"short", 20), u"short");
}

} // namespace
