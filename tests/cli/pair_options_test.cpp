// SPDX-License-Identifier: GPL-3.0-or-later
// The rules `new` and `edit` apply to pairs and to their command lines, without a process.
#include "cli/arguments.h"
#include "cli/pair_options.h"
#include "text/text_codec.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace tavrel;
using namespace tavrel::cli;

namespace {

model::FolderPair pairOf(std::u16string_view org, std::u16string_view tgt)
{
    model::FolderPair pair;
    pair.name = u"P";
    pair.orgPath = org;
    pair.tgtPath = tgt;
    return pair;
}

// The message checkWholePair refuses the pair with, or "" when it takes it.
std::string refusal(const model::FolderPair& pair)
{
    try {
        checkWholePair(pair, "--pair P");
    } catch (const UsageError& error) {
        return error.what();
    }
    return {};
}

TEST(PairRules, FoldersOverlapAsTheDialogDecides)
{
    const struct
    {
        std::u16string org;
        std::u16string tgt;
        bool overlap;
    } cases[] = {
        {u"/a", u"/a", true},
        {u"/a/", u"/a", true},
        {u"/a", u"/a/b", true},
        {u"/a/b", u"/a", true},
        {u"/data/Photos", u"/DATA/photos/2024", true},
        {u"/a/./b", u"/a/b", true},
        {u"/data/../x", u"/x", true},
        {u"/a/x/../b", u"/a/b/c", true},
        {u"/ab", u"/a", false},
        {u"/a/b", u"/a/c", false},
        {u"/\u00C4rger", u"/\u00E4rger/x", true},
        {u"/a b", u"/a", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(text::toUtf8(c.org) + " | " + text::toUtf8(c.tgt));
        const std::string expected = c.overlap ? "--pair P: ORG " + quoteArgument(text::toUtf8(c.org)) +
                                                     " and TGT " + quoteArgument(text::toUtf8(c.tgt)) +
                                                     " overlap; neither may lie inside the other"
                                               : "";
        EXPECT_EQ(refusal(pairOf(c.org, c.tgt)), expected);
        EXPECT_EQ(refusal(pairOf(c.tgt, c.org)).empty(), !c.overlap) << "either way round";
    }
}

// A pair read from a file is checked as the dialog checks what it shows: an empty include list
// shows as "*", a blank name or path is refused by name.
TEST(PairRules, AStoredPairIsCheckedAsTheDialogShowsIt)
{
    model::FolderPair pair = pairOf(u"/a", u"/b");
    EXPECT_EQ(refusal(pair), "");
    pair.name = u"  ";
    EXPECT_EQ(refusal(pair), "--pair P: a pair name cannot be empty");
    pair.name = u"P";
    pair.tgtPath.clear();
    EXPECT_EQ(refusal(pair), "--pair P: the TGT path cannot be empty");
}

TEST(PairRules, APairIsFoundBySlotOrName)
{
    model::Job job;
    job.addPair()->name = u"Docs";
    job.addPair()->name = u"7";
    job.addPair()->name = u"Docs";
    job.addPair()->name = u"Music";
    job.removePair(0);
    EXPECT_EQ(findPair(job, "--remove", "1"), 1);
    EXPECT_EQ(findPair(job, "--remove", "Music"), 3);
    EXPECT_EQ(findPair(job, "--remove", " Music "), 3) << "names are trimmed as the dialog trims them";
    EXPECT_EQ(findPair(job, "--remove", "Docs"), 2) << "the other Docs was removed";
    EXPECT_THROW(findPair(job, "--remove", "7"), UsageError) << "digits always mean a slot";
    EXPECT_THROW(findPair(job, "--remove", "0"), UsageError);
    EXPECT_THROW(findPair(job, "--remove", "99999999999999999999"), UsageError);
    EXPECT_THROW(findPair(job, "--remove", "music"), UsageError) << "names are matched exactly";
}

TEST(ArgumentReaderTest, OptionsValuesAndOperands)
{
    const std::vector<std::string_view> arguments = {
        "--report=r=1.htm", "--pair", "-n", "m", "--", "o", "-", "--check", "x", "--", "--json"};
    ArgumentReader reader(arguments);
    std::vector<std::string> seen;
    while (reader.next()) {
        if (!reader.isOption()) {
            seen.push_back("operand " + std::string(reader.current()));
        } else if (reader.current() == "--report") {
            seen.push_back("report " + std::string(reader.value()));
        } else if (reader.current() == "--pair") {
            const auto values = reader.values(4, "four");
            seen.push_back("pair " + std::string(values[0]) + " " + std::string(values[3]));
            EXPECT_EQ(reader.taken().size(), 5u);
        }
    }
    // The "--" taken as a value ends nothing; the later one does.
    EXPECT_EQ(seen, (std::vector<std::string>{"report r=1.htm", "pair -n o", "operand -", "operand x",
                                              "operand --json"}));
}

} // namespace
