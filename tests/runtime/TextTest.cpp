// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "runtime/Text.h"

namespace {

TEST(Utf8, ValidSequencesAndTheFormsThatAreRefused)
{
    struct Case {
        std::string text;
        size_t firstLength; // of the sequence at 0
        bool valid;
    };
    const Case cases[] = {
        {"", 0, true},
        {"a", 1, true},
        {"\xC3\xA9", 2, true},          // U+00E9
        {"\xE2\x82\xAC", 3, true},      // U+20AC
        {"\xF0\x9F\x98\x80", 4, true},  // U+1F600
        {"\xF4\x8F\xBF\xBF", 4, true},  // U+10FFFF
        {"\x80", 0, false},             // stray continuation byte
        {"\xC3", 0, false},             // cut short
        {"\xC3(", 0, false},            // no continuation
        {"\xC0\x80", 0, false},         // overlong NUL
        {"\xE0\x80\xAF", 0, false},     // overlong '/'
        {"\xED\xA0\x80", 0, false},     // surrogate
        {"\xF4\x90\x80\x80", 0, false}, // past U+10FFFF
        {"\xF8\x88\x80\x80\x80", 0, false},
        {"ok\xFF", 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(IsValidUtf8(c.text), c.valid);
        if (!c.text.empty())
            EXPECT_EQ(Utf8SequenceLength(c.text, 0), c.firstLength);
    }
}

TEST(Utf8, CodePointsRoundTripAndABadByteReadsAsReplacement)
{
    for (const char32_t codePoint : {U'\u0041', U'\u00E9', U'\u07FF', U'\u20AC', U'\uFFFD', U'\U0001F600', U'\U0010FFFF'}) {
        std::string text;
        AppendUtf8(text, codePoint);
        size_t at = 0;
        EXPECT_EQ(NextUtf8CodePoint(text, at), codePoint);
        EXPECT_EQ(at, text.size());
        EXPECT_TRUE(IsValidUtf8(text));
    }
    const std::string bad = "\xC3(";
    size_t at = 0;
    EXPECT_EQ(NextUtf8CodePoint(bad, at), U'\uFFFD');
    EXPECT_EQ(NextUtf8CodePoint(bad, at), U'(');
    EXPECT_EQ(at, 2u);
}

TEST(CodePage1252, HighBytesAreTheCodePagesOwnOthersLatin1)
{
    struct Case {
        unsigned char byte;
        char16_t unicode;
    };
    const Case cases[] = {{0x41, 0x0041}, {0x7F, 0x007F}, {0x80, 0x20AC}, {0x81, 0x0081}, {0x8D, 0x008D},
                          {0x92, 0x2019}, {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xB0, 0x00B0}, {0xFF, 0x00FF}};
    for (const Case& c : cases)
        EXPECT_EQ(Cp1252ToUnicode(c.byte), c.unicode) << int(c.byte);
    EXPECT_EQ(Cp1252ToUtf8("150\xB0W \x80"), "150\xC2\xB0W \xE2\x82\xAC");
}

TEST(Hex, DigitsOfEitherCaseAndNothingElse)
{
    const std::string digits = "0123456789abcdefABCDEF";
    for (size_t i = 0; i < digits.size(); ++i)
        EXPECT_EQ(HexDigit(digits[i]), i < 16 ? int(i) : int(i) - 6) << digits[i];
    for (const char c : {'g', 'G', '/', ':', '@', '`', ' ', '\0'})
        EXPECT_EQ(HexDigit(c), -1) << c;
    EXPECT_EQ(HexByte('f', 'F'), 255);
    EXPECT_EQ(HexByte('0', '7'), 7);
    EXPECT_EQ(HexByte('7', 'x'), -1);
    std::string out;
    AppendHexByte(out, 0x0A);
    AppendHexByte(out, 0xFF);
    EXPECT_EQ(out, "0aff");
}

TEST(DisplayText, EscapeText)
{
    struct Case {
        std::string text, escaped;
    };
    const Case cases[] = {
        {"plain name.mpd", "plain name.mpd"},
        {"a\tb\r\nc", "a\\tb\\r\\nc"},
        {"back\\slash", "back\\\\slash"},
        {"\x01\x1F\x7F", "\\x01\\x1F\\x7F"},
        {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC"},
        {"bad\xFF\xC3", "bad\\xFF\\xC3"},
        {"\\xFF", "\\\\xFF"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EscapeText(c.text), c.escaped) << c.text;
}

// JSON text is the text itself when it is valid UTF-8 (a backslash stays one
// backslash); otherwise U+FFFD stands for each invalid byte and the exact
// bytes travel as base64.
TEST(JsonText, ReplacementTextAndBase64Bytes)
{
    struct Case {
        std::string text, replaced, base64;
    };
    const Case cases[] = {
        {"", "", ""},
        {"back\\slash", "back\\slash", "YmFja1xzbGFzaA=="},
        {"a\tb\x01", "a\tb\x01", "YQliAQ=="},
        {"caf\xC3\xA9", "caf\xC3\xA9", "Y2Fmw6k="},
        {"bad\xFF\xC3", "bad\xEF\xBF\xBD\xEF\xBF\xBD", "YmFk/8M="},
        {"\xED\xA0\x80z", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDz", "7aCAeg=="},
        {"\xFB\xFF", "\xEF\xBF\xBD\xEF\xBF\xBD", "+/8="},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8OrReplacement(c.text), c.replaced) << c.text;
        EXPECT_TRUE(IsValidUtf8(Utf8OrReplacement(c.text))) << c.text;
        EXPECT_EQ(Base64Encode(c.text), c.base64) << c.text;
    }
}

} // namespace
