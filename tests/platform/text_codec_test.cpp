// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/text_codec.h"

#include <gtest/gtest.h>

using namespace tavrel::platform;

TEST(TextCodec, RoundTripsEveryPlane)
{
    const std::u16string text = u"a\u00e9\u4e2d\U0001F600";
    EXPECT_EQ(toUtf8(text), "a\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80");
    EXPECT_EQ(fromUtf8(toUtf8(text)), text);
}

TEST(TextCodec, BadInputBecomesReplacementCharacter)
{
    EXPECT_EQ(toUtf8(u"\xD800x"), "\xef\xbf\xbdx");
    EXPECT_EQ(fromUtf8("a\xff"
                       "b"),
              u"a\uFFFDb");
    EXPECT_EQ(fromUtf8("\xc0\xaf"), u"\uFFFD\uFFFD");           // overlong "/"
    EXPECT_EQ(fromUtf8("\xed\xa0\x80"), u"\uFFFD\uFFFD\uFFFD"); // encoded surrogate
    EXPECT_FALSE(isValidUtf8("\xe9"));
    EXPECT_TRUE(isValidUtf8("caf\xc3\xa9"));
}

TEST(TextCodec, DisplayNameEscapesOnlyUndecodableBytes)
{
    EXPECT_EQ(displayName("caf\xc3\xa9"), "caf\xc3\xa9");
    EXPECT_EQ(displayName("a\xff\xe9.txt"), "a\\xFF\\xE9.txt");
}
