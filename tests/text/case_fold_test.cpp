// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/case_fold.h"

#include <cstdint>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>

using tavrel::text::foldCodePoint;
using tavrel::text::foldName;

namespace {

std::string utf8(char32_t code)
{
    std::string out;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
}

struct FoldCase
{
    const char* name;
    const char* folded;
};

const FoldCase kFoldCases[] = {
    {"", ""},
    {"Report.DOC", "report.doc"},
    {"already lower 0-9_[]~", "already lower 0-9_[]~"},
    {"@AZ[`az{", "@az[`az{"},
    // Accented Latin, two bytes each.
    {"CAF\xC3\x89", "caf\xC3\xA9"},           // CAFÉ
    {"\xC3\x80\xC3\x9E", "\xC3\xA0\xC3\xBE"}, // ÀÞ
    {"\xC3\x97", "\xC3\x97"},                 // the multiplication sign sits among capitals but has no case
    // Greek: capital, medial and final sigma all fold to the medial form.
    {"\xCE\xA3", "\xCF\x83"},
    {"\xCF\x82", "\xCF\x83"},
    {"\xCF\x83", "\xCF\x83"},
    {"\xCE\x9F\xCE\x94\xCE\xA5\xCE\xA3\xCE\xA3\xCE\x95\xCE\xA5\xCE\xA3", // ΟΔΥΣΣΕΥΣ
     "\xCE\xBF\xCE\xB4\xCF\x85\xCF\x83\xCF\x83\xCE\xB5\xCF\x85\xCF\x83"},
    // Sharp s: simple folding keeps it (full folding would give "ss"); the capital folds to it.
    {"Stra\xC3\x9F"
     "e",
     "stra\xC3\x9F"
     "e"},
    {"\xE1\xBA\x9E", "\xC3\x9F"},
    // Kelvin and Angstrom signs fold to the letters; the Kelvin sign shrinks to one byte.
    {"\xE2\x84\xAA", "k"},
    {"\xE2\x84\xAB", "\xC3\xA5"},
    // Dotted capital I and dotless i have only Turkic or full foldings: unchanged.
    {"\xC4\xB0", "\xC4\xB0"},
    {"\xC4\xB1", "\xC4\xB1"},
    // A two-byte capital whose small letter takes three bytes.
    {"\xC8\xBA", "\xE2\xB1\xA5"},
    // Cherokee small letters fold to the capitals.
    {"\xEA\xAD\xB0", "\xE1\x8E\xA0"},
    // Four-byte Deseret letters.
    {"\xF0\x90\x90\x80", "\xF0\x90\x90\xA8"},
    // Not UTF-8: those bytes stay as they are, ASCII letters around them still fold.
    {"R\xC9SUM\xC9.TXT", "r\xC9sum\xC9.txt"}, // Latin-1
    {"\x80"
     "A",
     "\x80"
     "a"},                // stray continuation byte
    {"AB\xC3", "ab\xC3"}, // sequence cut at the end
    {"\xC3"
     "A",
     "\xC3"
     "a"},                                    // lead byte without its continuation
    {"\xC1\x81", "\xC1\x81"},                 // overlong "A" is not an "A"
    {"\xE0\x80\xC1", "\xE0\x80\xC1"},         // overlong three-byte form
    {"\xED\xA0\x80", "\xED\xA0\x80"},         // a surrogate
    {"\xF4\x90\x80\x80", "\xF4\x90\x80\x80"}, // past U+10FFFF
    {"\xFF\xC3\x89", "\xFF\xC3\xA9"},         // invalid byte, then a valid É
    {"\xC3\xC3\x89", "\xC3\xC3\xA9"},         // cut sequence right before a valid one
};

TEST(CaseFold, FoldsNamesByTable)
{
    for (const FoldCase& c : kFoldCases)
        EXPECT_EQ(foldName(c.name), c.folded) << "name: " << c.name;
}

struct PairCase
{
    const char* a;
    const char* b;
    bool same;
};

const PairCase kPairCases[] = {
    {"Report.doc", "REPORT.DOC", true},
    {"CaseDir", "casedir", true},
    {"\xCE\xA3\xCE\xBF\xCF\x86\xCE\xAF\xCE\xB1", "\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x8A\xCE\x91",
     true}, // Σοφία, ΣΟΦΊΑ
    {"\xE2\x84\xAA"
     "elvin",
     "KELVIN", true},
    {"caf\xC3\xA9", "CAF\xC3\x89", true},
    {"stra\xC3\x9F"
     "e",
     "STRASSE", false}, // would be one name only under full folding
    {"\xC4\xB1", "I", false},
    {"caf\xE9", "caf\xC3\xA9", false}, // Latin-1 é is not UTF-8 é
    {"a\x80", "a\xC2\x80", false},
    {"e\xCC\x81", "\xC3\xA9", false}, // no normalisation: decomposed and composed stay apart
};

TEST(CaseFold, TellsWhichNamesAreOneIgnoringCase)
{
    for (const PairCase& c : kPairCases)
        EXPECT_EQ(foldName(c.a) == foldName(c.b), c.same) << c.a << " / " << c.b;
}

// Every code point through the UTF-8 decoder and encoder, and folding is stable: a folded
// name folds to itself, which matching by folded form relies on.
TEST(CaseFold, EveryCodePointRoundTripsAndFoldingIsStable)
{
    int folded = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        const char32_t f = foldCodePoint(c);
        ASSERT_EQ(foldCodePoint(f), f) << std::hex << static_cast<uint32_t>(c);
        ASSERT_EQ(foldName(utf8(c)), utf8(f)) << std::hex << static_cast<uint32_t>(c);
        if (f != c)
            ++folded;
    }
    // Unicode 15 folds 1454 code points simply; no version drops foldings.
    EXPECT_GE(folded, 1454);
}

// The checked-in table against the Unicode data of this machine, when it has them.
TEST(CaseFold, MatchesUnicodeDataFile)
{
    std::ifstream in("/usr/share/unicode/CaseFolding.txt");
    if (!in)
        GTEST_SKIP() << "no /usr/share/unicode/CaseFolding.txt (Debian package unicode-data)";
    std::string version;
    std::map<char32_t, char32_t> expected;
    std::string line;
    while (std::getline(in, line)) {
        if (version.empty() && line.rfind("# CaseFolding-", 0) == 0)
            version = line.substr(2);
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string code, status, mapping;
        std::getline(fields, code, ';');
        std::getline(fields, status, ';');
        std::getline(fields, mapping, ';');
        if (status == " C" || status == " S")
            expected[static_cast<char32_t>(std::stoul(code, nullptr, 16))] =
                static_cast<char32_t>(std::stoul(mapping, nullptr, 16));
    }
    if (version != "CaseFolding-15.0.0.txt")
        GTEST_SKIP() << "the table is generated from CaseFolding-15.0.0.txt, this machine has " << version;
    ASSERT_EQ(expected.size(), 1454u);
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        const auto it = expected.find(c);
        ASSERT_EQ(foldCodePoint(c), it == expected.end() ? c : it->second)
            << std::hex << static_cast<uint32_t>(c);
    }
}

TEST(CaseFold, ValuesOutsideUnicodeAreUnchanged)
{
    EXPECT_EQ(foldCodePoint(0x110000), char32_t{0x110000});
    EXPECT_EQ(foldCodePoint(0xFFFFFFFF), char32_t{0xFFFFFFFF});
}

} // namespace
