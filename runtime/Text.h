// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text rules shared by the file formats, the canvas and the command line:
// UTF-8 checks, code page 1252 (the canvas's 8-bit text), hexadecimal digits
// and showing a name on a terminal or in JSON.
#include <cstddef>
#include <string>
#include <string_view>

// ---- UTF-8 ----------------------------------------------------------------------

// Length (1 to 4) of the valid UTF-8 sequence that starts at Text[At], or 0
// when the bytes there are not one: a stray continuation byte, a sequence cut
// short, an overlong form, a surrogate or a value past U+10FFFF.
size_t Utf8SequenceLength(std::string_view Text, size_t At);
bool IsValidUtf8(std::string_view Text);
// The character at Text[At], At moved past it; a byte that does not begin a
// valid sequence gives U+FFFD and moves At by one.
char32_t NextUtf8CodePoint(std::string_view Text, size_t& At);
// Appends CodePoint (at most U+10FFFF) in UTF-8.
void AppendUtf8(std::string& Out, char32_t CodePoint);

// ---- code page 1252 -------------------------------------------------------------

// The Unicode character of a code page 1252 byte: Latin-1 except 0x80-0x9F,
// where the bytes the code page leaves undefined stand for themselves.
char16_t Cp1252ToUnicode(unsigned char Byte);
std::string Cp1252ToUtf8(std::string_view Text);

// ---- hexadecimal ----------------------------------------------------------------

// 0 to 15 for a hexadecimal digit of either case, -1 for any other character.
int HexDigit(char C);
// The byte two hexadecimal digits spell (0 to 255), -1 when either is not one.
int HexByte(char High, char Low);
// The two lower-case hexadecimal digits of Byte appended to Out.
void AppendHexByte(std::string& Out, unsigned char Byte);

// ---- escaping for display -------------------------------------------------------

// A name made safe for one field of a tab-separated text line: backslash,
// tab, CR, LF and other control bytes become \\ \t \r \n \xHH, and bytes that
// are not part of valid UTF-8 become \xHH.
std::string EscapeText(std::string_view s);

// ---- JSON text ------------------------------------------------------------------

// Text as valid UTF-8, for a JSON string: each byte that does not begin a
// valid sequence becomes U+FFFD; valid UTF-8 (backslashes included) is
// returned unchanged.
std::string Utf8OrReplacement(std::string_view Text);
// Bytes in base64 (standard alphabet, padded with '='): how a JSON line
// carries the exact bytes of a name that is not valid UTF-8.
std::string Base64Encode(std::string_view Bytes);
