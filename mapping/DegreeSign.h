// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The degree sign of the map labels, chosen once at start-up from the
// character set of the user's locale, as bytes in that character set.
#include <string>

// The bytes of the degree sign: 0x81 0x8B (Shift_JIS, code page 932),
// 0xA1 0xE3 (GBK, 936), 0xA2 0x58 (Big5, 950), else 0xB0 (code page 1252).
extern std::string DegreeSign;
// The character set DegreeSign is written in ("SHIFT_JIS", "GBK", "BIG5" or
// "CP1252"), used to turn label bytes into text.
extern std::string DegreeSignCharset;

// The degree-sign bytes and their character set for a locale character set
// name (as nl_langinfo(CODESET) gives it; case and punctuation ignored).
void DegreeSignFor(const std::string& localeCharset, std::string& bytes, std::string& charset);

// Bytes in DegreeSignCharset (a label such as "30" + DegreeSign + "N") as
// UTF-8; bytes that do not convert fall back to their Latin-1 reading.
std::string DegreeTextToUtf8(const std::string& bytes);

// Start-up step 1: chooses DegreeSign from the locale's character set
// (LC_ALL, LC_CTYPE, LANG), without changing the process's locale.
void InitializeUtils();
void FinalizeUtils();
