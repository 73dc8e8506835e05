// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/wildcard.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>

using tavrel::text::matchesPattern;

namespace {

struct MatchCase
{
    const char* name;
    const char* pattern;
    bool matches;
};

const MatchCase kCases[] = {
    {"report.txt", "*", true},
    {"", "*", true},
    {"report.txt", "*.txt", true},
    {"report.txt", "*.TXT", true},
    {"REPORT.TXT", "report.txt", true},
    {"report.txt", "*.tx", false},
    {"report.txt", "report", false},
    {"a.txt", "?.txt", true},
    {"ab.txt", "?.txt", false},
    {".txt", "?.txt", false},
    {"Thumbs.db", "thumbs.db", true},
    {"cache", "c*e", true},
    {"cache", "c*x*e", false},
    {"abc", "a*b*c*", true},
    {"abc", "***", true},
    {"ab", "a?c", false},
    // Trailing ".*": a name without a dot matches too.
    {"README", "*.*", true},
    {"a.b.c", "*.*", true},
    {".hidden", "*.*", true},
    {"data", "data.*", true},
    {"data.bin", "data.*", true},
    {"database", "data.*", false},
    // Trailing ".": only names without a dot.
    {"README", "*.", true},
    {"a.txt", "*.", false},
    {"Makefile", "make*.", true},
    {".profile", "*.", false},
    // Only ASCII letters fold; other bytes compare exactly.
    {"\xc3\xa9t\xc3\xa9", "\xc3\x89T\xc3\x89", false},
    {"\xc3\xa9t\xc3\xa9", "\xc3\xa9T\xc3\xa9", true},
    // "?" takes a whole UTF-8 character, or one byte of an undecodable name.
    {"\xc3\xa9.txt", "?.txt", true},
    {"\xe4\xb8\xad\xf0\x9f\x98\x80", "??", true},
    {"\xe4\xb8\xad\xf0\x9f\x98\x80", "???", false},
    {"\xff\xfe.bin", "??.bin", true},
    {"\xff\xfe.bin", "?.bin", false},
    {"\xc3.bin", "?.bin", true},
    {"a\xff"
     "b",
     "a*b", true},
    {"x\xe9y", "X?Y", true},
};

} // namespace

TEST(Wildcard, MatchesTable)
{
    for (const MatchCase& c : kCases) {
        SCOPED_TRACE(std::string("name '") + c.name + "' pattern '" + c.pattern + "'");
        EXPECT_EQ(matchesPattern(c.name, c.pattern), c.matches);
    }
}

TEST(Wildcard, PathologicalPatternStaysFast)
{
    const std::string name(4000, 'a');
    const std::string pattern = "*a*a*a*a*a*a*a*a*a*a*b";
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i)
        EXPECT_FALSE(matchesPattern(name, pattern));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::seconds(1));
    EXPECT_TRUE(matchesPattern(name + "b", pattern));
}
