// SPDX-License-Identifier: GPL-3.0-or-later
// DegreeSign: the table of character sets, and every one reads as U+00B0.
#include <cstdlib>

#include <gtest/gtest.h>

#include "mapping/DegreeSign.h"

namespace {

TEST(DegreeSign, TableOfCharacterSets)
{
    struct Case { const char* locale; const char* bytes; const char* charset; } cases[] = {
        {"SHIFT_JIS", "\x81\x8B", "SHIFT_JIS"}, {"sjis", "\x81\x8B", "SHIFT_JIS"},
        {"GBK", "\xA1\xE3", "GBK"},             {"GB2312", "\xA1\xE3", "GBK"},
        {"BIG5", "\xA2\x58", "BIG5"},           {"Big5-HKSCS", "\xA2\x58", "BIG5"},
        {"UTF-8", "\xB0", "CP1252"},            {"ANSI_X3.4-1968", "\xB0", "CP1252"},
        {"ISO-8859-1", "\xB0", "CP1252"},       {"", "\xB0", "CP1252"},
    };
    for (const Case& c : cases) {
        std::string bytes, charset;
        DegreeSignFor(c.locale, bytes, charset);
        EXPECT_EQ(bytes, c.bytes) << c.locale;
        EXPECT_EQ(charset, c.charset) << c.locale;
        // Drawn as text, every locale shows the degree sign.
        DegreeSign = bytes;
        DegreeSignCharset = charset;
        EXPECT_EQ(DegreeTextToUtf8("30" + DegreeSign + "N"), "30\xC2\xB0N") << c.locale;
    }
    FinalizeUtils();
}

TEST(DegreeSign, CLocaleAndUtf8GiveU00B0)
{
    for (const char* lc : {"C", "C.UTF-8"}) {
        ::setenv("LC_ALL", lc, 1);
        InitializeUtils();
        EXPECT_EQ(DegreeSign, "\xB0") << lc;
        EXPECT_EQ(DegreeTextToUtf8(DegreeSign), "\xC2\xB0") << lc;
        FinalizeUtils();
        EXPECT_TRUE(DegreeSign.empty());
    }
    ::unsetenv("LC_ALL");
}

} // namespace
