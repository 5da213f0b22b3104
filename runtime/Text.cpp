// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/Text.h"

#include <cstdio>

namespace {

const char LowerHexDigits[] = "0123456789abcdef";

// Code page 1252 bytes 0x80..0x9F; the rest of the code page is Latin-1.
const char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// A byte shown as the four characters \xHH (upper-case digits).
void AppendEscapedByte(std::string& out, unsigned char c)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
    out += buffer;
}

} // namespace

size_t Utf8SequenceLength(std::string_view Text, size_t At)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(Text[k]); };
    unsigned char c = byte(At);
    if (c < 0x80)
        return 1;
    size_t length;
    unsigned int codePoint;
    if ((c & 0xE0) == 0xC0) { length = 2; codePoint = c & 0x1F; }
    else if ((c & 0xF0) == 0xE0) { length = 3; codePoint = c & 0x0F; }
    else if ((c & 0xF8) == 0xF0) { length = 4; codePoint = c & 0x07; }
    else return 0;
    if (At + length > Text.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(At + k) & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (byte(At + k) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not valid.
    static const unsigned int minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < minimum[length] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

bool IsValidUtf8(std::string_view Text)
{
    for (size_t i = 0; i < Text.size();) {
        const size_t length = Utf8SequenceLength(Text, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

char32_t NextUtf8CodePoint(std::string_view Text, size_t& At)
{
    const size_t length = Utf8SequenceLength(Text, At);
    if (length == 0) {
        ++At;
        return U'\uFFFD';
    }
    static const unsigned char leadMask[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t codePoint = static_cast<unsigned char>(Text[At]) & leadMask[length];
    for (size_t k = 1; k < length; ++k)
        codePoint = (codePoint << 6) | (static_cast<unsigned char>(Text[At + k]) & 0x3F);
    At += length;
    return codePoint;
}

void AppendUtf8(std::string& Out, char32_t CodePoint)
{
    const auto put = [&](unsigned value) { Out += static_cast<char>(value); };
    if (CodePoint < 0x80) {
        put(CodePoint);
    } else if (CodePoint < 0x800) {
        put(0xC0 | (CodePoint >> 6));
        put(0x80 | (CodePoint & 0x3F));
    } else if (CodePoint < 0x10000) {
        put(0xE0 | (CodePoint >> 12));
        put(0x80 | ((CodePoint >> 6) & 0x3F));
        put(0x80 | (CodePoint & 0x3F));
    } else {
        put(0xF0 | (CodePoint >> 18));
        put(0x80 | ((CodePoint >> 12) & 0x3F));
        put(0x80 | ((CodePoint >> 6) & 0x3F));
        put(0x80 | (CodePoint & 0x3F));
    }
}

char16_t Cp1252ToUnicode(unsigned char Byte)
{
    return Byte >= 0x80 && Byte < 0xA0 ? Cp1252High[Byte - 0x80] : char16_t(Byte);
}

std::string Cp1252ToUtf8(std::string_view Text)
{
    std::string out;
    out.reserve(Text.size());
    for (unsigned char c : Text)
        AppendUtf8(out, Cp1252ToUnicode(c));
    return out;
}

int HexDigit(char C)
{
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    return -1;
}

int HexByte(char High, char Low)
{
    const int high = HexDigit(High), low = HexDigit(Low);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

void AppendHexByte(std::string& Out, unsigned char Byte)
{
    Out += LowerHexDigits[Byte >> 4];
    Out += LowerHexDigits[Byte & 15];
}

std::string EscapeText(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '\\') { out += "\\\\"; ++i; continue; }
        if (c == '\t') { out += "\\t"; ++i; continue; }
        if (c == '\n') { out += "\\n"; ++i; continue; }
        if (c == '\r') { out += "\\r"; ++i; continue; }
        if (c < 0x20 || c == 0x7F) { AppendEscapedByte(out, c); ++i; continue; }
        size_t length = Utf8SequenceLength(s, i);
        if (length == 0) { AppendEscapedByte(out, c); ++i; continue; }
        out.append(s.substr(i, length));
        i += length;
    }
    return out;
}

std::string Utf8OrReplacement(std::string_view Text)
{
    if (IsValidUtf8(Text))
        return std::string(Text);
    std::string out;
    out.reserve(Text.size() + 8);
    for (size_t i = 0; i < Text.size();) {
        const size_t length = Utf8SequenceLength(Text, i);
        if (length == 0) {
            AppendUtf8(out, U'\uFFFD');
            ++i;
        } else {
            out.append(Text.substr(i, length));
            i += length;
        }
    }
    return out;
}

std::string Base64Encode(std::string_view Bytes)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((Bytes.size() + 2) / 3 * 4);
    const auto byte = [&](size_t k) { return static_cast<unsigned>(static_cast<unsigned char>(Bytes[k])); };
    size_t i = 0;
    for (; i + 3 <= Bytes.size(); i += 3) {
        const unsigned group = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
        for (int shift = 18; shift >= 0; shift -= 6)
            out += alphabet[(group >> shift) & 63];
    }
    const size_t rest = Bytes.size() - i;
    if (rest > 0) {
        const unsigned group = byte(i) << 16 | (rest == 2 ? byte(i + 1) << 8 : 0u);
        out += alphabet[(group >> 18) & 63];
        out += alphabet[(group >> 12) & 63];
        out += rest == 2 ? alphabet[(group >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}
