#include <gtest/gtest.h>

#include <string>

#include "data/Ansi.h"

namespace invarro::data {
namespace {

TEST(AnsiText, EveryByteSurvivesTheWayThroughUtf8) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    const std::string utf8 = Utf8FromAnsi(all);
    EXPECT_TRUE(IsValidUtf8(utf8));
    EXPECT_EQ(AnsiFromUtf8(utf8), all);
    EXPECT_EQ(CharCount(utf8), 256u);
}

TEST(AnsiText, TheHighRowMapsToItsTypographicCharacters) {
    EXPECT_EQ(Utf8FromAnsi("\x80"), "€");
    EXPECT_EQ(Utf8FromAnsi("\x93quoted\x94"), "“quoted”");
    EXPECT_EQ(Utf8FromAnsi("\x8C\x9C\x9F"), "ŒœŸ");
    EXPECT_EQ(AnsiFromUtf8("€ – Œ"), "\x80 \x96 \x8C");
    EXPECT_EQ(AnsiFromUtf8("Müller Straße café"), "M\xFCller Stra\xDF\x65 caf\xE9");
}

TEST(AnsiText, CharactersTheCodePageLacksBecomeOneReplacementEach) {
    EXPECT_EQ(AnsiFromUtf8("Ωmega"), "?mega");
    EXPECT_EQ(AnsiFromUtf8("a😀b"), "a?b");
    EXPECT_EQ(AnsiFromUtf8("日本", '_'), "__");
    EXPECT_FALSE(CodePointToAnsi(U'\u0100').has_value());
    EXPECT_EQ(*CodePointToAnsi(U'\u20AC'), 0x80);
}

TEST(AnsiText, MalformedUtf8IsRecognised) {
    EXPECT_FALSE(IsValidUtf8("Caf\xE9"));
    EXPECT_FALSE(IsValidUtf8("end\xC3"));  // truncated sequence
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
    EXPECT_TRUE(IsValidUtf8("\xF4\x8F\xBF\xBF"));
}

TEST(AnsiText, DecodingAFileFindsItsEncoding) {
    EXPECT_EQ(DecodeText("\xEF\xBB\xBFgr\xC3\xBC\xC3\x9F"), "grüß");  // UTF-8 with mark
    EXPECT_EQ(DecodeText("gr\xC3\xBC\xC3\x9F"), "grüß");              // UTF-8 without
    EXPECT_EQ(DecodeText("gr\xFC\xDF \x80"), "grüß €");               // Windows-1252
    EXPECT_EQ(DecodeText("plain"), "plain");
    EXPECT_EQ(DecodeText(""), "");
    // One byte that is not UTF-8 makes the whole file Windows-1252.
    EXPECT_EQ(DecodeText("\xC3\xA9 and \xE9"), "Ã© and é");
    // Behind a mark, a stray byte still comes through as a character.
    EXPECT_EQ(DecodeText("\xEF\xBB\xBF\xE9t\xC3\xA9"), "été");
}

TEST(AnsiText, CountsAndCutsByCharactersNotBytes) {
    EXPECT_EQ(CharCount("né€😀"), 4u);
    EXPECT_EQ(FirstChars("né€😀x", 3), "né€");
    EXPECT_EQ(FirstChars("abc", 10), "abc");
    EXPECT_EQ(FirstChars("abc", 0), "");
}

}  // namespace
}  // namespace invarro::data
