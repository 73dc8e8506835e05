// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/text_codec.h"

#include <gtest/gtest.h>

using namespace tavrel::text;

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

// The one decoder that case folding, wildcards and the codec above share: each boundary of
// the well-formed ranges, and each way a sequence can fail to be one.
TEST(TextCodec, DecodesOneSequenceAtItsBoundaries)
{
    struct Case
    {
        const char* what;
        std::string bytes;
        std::size_t length; // 0: no sequence starts there
        char32_t code;
    };
    const Case cases[] = {
        {"ASCII", "A", 1, U'A'},
        {"two bytes, lowest", "\xc2\x80", 2, 0x80},
        {"three bytes, lowest", "\xe0\xa0\x80", 3, 0x800},
        {"last before the surrogates", "\xed\x9f\xbf", 3, 0xD7FF},
        {"four bytes, highest", "\xf4\x8f\xbf\xbf", 4, 0x10FFFF},
        {"stray continuation byte", "\x80", 0, 0},
        {"overlong two bytes", "\xc1\xbf", 0, 0},
        {"overlong three bytes", "\xe0\x9f\xbf", 0, 0},
        {"surrogate", "\xed\xa0\x80", 0, 0},
        {"past U+10FFFF", "\xf4\x90\x80\x80", 0, 0},
        {"cut short", "\xe4\xb8", 0, 0},
        {"continuation missing", "\xe4\x41\x80", 0, 0},
        {"lead byte F8", "\xf8\x80\x80\x80", 0, 0},
    };
    for (const Case& c : cases) {
        char32_t code = 0;
        const std::size_t length = decodeUtf8("x" + c.bytes, 1, code);
        EXPECT_EQ(length, c.length) << c.what;
        if (length == 0)
            continue;
        EXPECT_EQ(code, c.code) << c.what;
        std::string encoded;
        appendUtf8(encoded, code);
        EXPECT_EQ(encoded, c.bytes) << c.what << ": the encoder gives the bytes back";
    }
}

TEST(TextCodec, LowersOnlyAsciiLetters)
{
    EXPECT_EQ(lowerAscii("AbZ@[`{ \xc3\x89"), "abz@[`{ \xc3\x89");
    EXPECT_EQ(lowerAscii('Q'), 'q');
    EXPECT_EQ(lowerAscii('\xc9'), '\xc9');
}
