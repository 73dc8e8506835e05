// SPDX-License-Identifier: GPL-3.0-or-later
// The one escaping of text for a terminal, shared by the log, the listing and the messages.
#include "cli/arguments.h"
#include "cli/show_command.h"
#include "cli/terminal_text.h"
#include "model/job.h"

#include <gtest/gtest.h>
#include <string>

using namespace tavrel;
using namespace tavrel::cli;

namespace {

TEST(PrintableText, EscapesWhatATerminalWouldAct)
{
    const struct
    {
        std::string text;
        std::string kept;    // Breaks::Keep
        std::string escaped; // Breaks::Escape
    } cases[] = {
        {"", "", ""},
        {"plain /org/a b.txt \\x41", "plain /org/a b.txt \\x41", "plain /org/a b.txt \\x41"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
         "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
        {"a\nb\tc", "a\nb\tc", "a\\x0Ab\\x09c"},
        {std::string("\0\x01\x07\x08\r\x1f", 6), "\\x00\\x01\\x07\\x08\\x0D\\x1F",
         "\\x00\\x01\\x07\\x08\\x0D\\x1F"},
        {"\x1b[2J\x1b]0;title\x07", "\\x1B[2J\\x1B]0;title\\x07", "\\x1B[2J\\x1B]0;title\\x07"},
        {"del\x7f", "del\\x7F", "del\\x7F"},
        // C1 controls: CSI and NEL as characters, and the last of them; the next character is
        // printable.
        {"\xc2\x9b"
         "2J \xc2\x85 \xc2\x9f \xc2\xa0",
         "\\u009B2J \\u0085 \\u009F \xc2\xa0", "\\u009B2J \\u0085 \\u009F \xc2\xa0"},
        // Bytes that are not UTF-8, a lone 8-bit CSI among them, as a path shows them.
        {"a\xff\x9b"
         "b \xc2 \xe2\x82",
         "a\\xFF\\x9Bb \\xC2 \\xE2\\x82", "a\\xFF\\x9Bb \\xC2 \\xE2\\x82"},
        // An encoded surrogate is not UTF-8 either.
        {"\xed\xa0\x80", "\\xED\\xA0\\x80", "\\xED\\xA0\\x80"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kept);
        EXPECT_EQ(printableText(c.text), c.kept);
        EXPECT_EQ(printableText(c.text, Breaks::Escape), c.escaped);
    }
}

// The listing keeps each value on its row: line breaks are escaped too, and a lone surrogate
// from the project file shows as U+FFFD.
TEST(PrintableText, ShowListingEscapesEachValue)
{
    model::FolderPair pair;
    pair.name = std::u16string(u"a\u0007\u009B") + char16_t(0xD800) + u"b\t";
    pair.orgPath = u"/org\n/x\u001B[31m";
    const std::string listing = describePair(3, pair);
    EXPECT_TRUE(listing.starts_with("[slot 3] a\\x07\\u009B\xEF\xBF\xBD"
                                    "b\\x09\n"
                                    "  Enabled:                               YES\n"
                                    "  ORG:                                   /org\\x0A/x\\x1B[31m\n"))
        << listing;
}

TEST(PrintableText, ArgumentsInMessages)
{
    const struct
    {
        std::string argument;
        std::string quoted;
    } cases[] = {
        {"a.tsp", "a.tsp"},
        {"", "\"\""},
        {"my job.tsp", "\"my job.tsp\""},
        {"x\ty\n", "x\\x09y\\x0A"},
        {"\x1b[2J\xc2\x9b", "\\x1B[2J\\u009B"},
        {"/a\xff", "/a\\xFF"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(quoteArgument(c.argument), c.quoted);
}

// A terminal gives CJK and emoji two columns and a combining mark none: a progress line that
// counted characters would wrap on such names.
TEST(TextColumns, AsATerminalDrawsThem)
{
    const struct
    {
        std::string text;
        std::size_t columns;
        std::string lastThree;
    } cases[] = {
        {"", 0, ""},
        {"abc", 3, "abc"},
        {"\xc3\xa4\xe2\x82\xac", 2, "\xc3\xa4\xe2\x82\xac"}, // a-umlaut, euro
        {"a\xe6\x97\xa5\xe6\x9c\xac", 5, "\xe6\x9c\xac"},    // a, two CJK: the first does not fit
        {"x\xf0\x9f\x98\x80", 3, "x\xf0\x9f\x98\x80"},       // an emoji
        {"e\xcc\x81t\xc3\xa9", 3, "e\xcc\x81t\xc3\xa9"},     // combining acute: no column
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(textColumns(c.text), c.columns);
        EXPECT_EQ(lastColumns(c.text, 3), c.lastThree);
    }
}

} // namespace
