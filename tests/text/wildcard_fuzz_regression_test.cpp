// SPDX-License-Identifier: GPL-3.0-or-later
// Inputs found by fuzzing the wildcard matcher against a reference, kept so they stay fixed.
#include "text/wildcard.h"

#include <gtest/gtest.h>
#include <string>

namespace tavrel::text {
namespace {

struct IllFormedCase
{
    const char* what;
    std::string name;
    std::size_t bytes;
};

// Ill-formed sequences are not characters: "?" takes each of their bytes alone, as the log
// shows each one escaped. Only a well-formed sequence counts as one character.
TEST(WildcardFuzzRegression, QuestionMarkTakesEachByteOfAnIllFormedSequence)
{
    const IllFormedCase cases[] = {
        {"overlong three-byte form", "\xE0\x80\x80", 3},
        {"overlong two-byte lead", "\xC0\xAF", 2},
        {"UTF-16 surrogate", "\xED\xA0\x80", 3},
        {"past U+10FFFF", "\xF4\x90\x80\x80", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(matchesPattern(c.name, std::string(c.bytes, '?')));
        EXPECT_FALSE(matchesPattern(c.name, "?"));
        EXPECT_TRUE(matchesPattern("a" + c.name + "z", "a*z"));
    }
    EXPECT_TRUE(matchesPattern("\xE2\x82\xAC", "?")); // a well-formed sequence stays one
    EXPECT_TRUE(matchesPattern("\xF0\x9F\x98\x80", "?"));
}

} // namespace
} // namespace tavrel::text
