// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>

#include "runtime/SysUtils.h"

namespace {

struct FileNameCase {
    const char* input;
    const char* path;
    const char* name;
    const char* dir;
    const char* ext;
};

TEST(FileNames, SplitAtTheLastDelimiter)
{
    const FileNameCase cases[] = {
        {"/data/mpd/00001234.MPD", "/data/mpd/", "00001234.MPD", "/data/mpd", ".MPD"},
        {"00001234.mpd", "", "00001234.mpd", "", ".mpd"},
        {"/x.y/file", "/x.y/", "file", "/x.y", ""},
        {"/file", "/", "file", "/", ""},
        {"//file", "//", "file", "//", ""},
        {"/data/", "/data/", "", "/data", ""},
        {"a.b.c", "", "a.b.c", "", ".c"},
        {".hidden", "", ".hidden", "", ".hidden"},
        {"", "", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(ExtractFilePath(c.input), c.path);
        EXPECT_EQ(ExtractFileName(c.input), c.name);
        EXPECT_EQ(ExtractFileDir(c.input), c.dir);
        EXPECT_EQ(ExtractFileExt(c.input), c.ext);
    }
}

TEST(FileNames, ChangeFileExtReplacesOrAppends)
{
    EXPECT_EQ(ChangeFileExt("2005-03-15-25_AIVH", ".MPD"), "2005-03-15-25_AIVH.MPD");
    EXPECT_EQ(ChangeFileExt("/a/b.mpd", ".MPD"), "/a/b.MPD");
    EXPECT_EQ(ChangeFileExt("/a.d/b", ".x"), "/a.d/b.x");
    EXPECT_EQ(ChangeFileExt("b.c.d", ""), "b.c");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/data"), "/data/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/data/"), "/data/");
    EXPECT_EQ(IncludeTrailingPathDelimiter(""), "/");
}

TEST(Strings, CaseAndTrimTouchAsciiOnly)
{
    EXPECT_EQ(UpperCase("aivh-z\xe9"), "AIVH-Z\xe9");
    EXPECT_EQ(LowerCase("AIVH\xC9"), "aivh\xC9");
    EXPECT_EQ(Trim(" \t\r\nM7 \x01"), "M7");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(CompareText("abc", "ABD"), -1);
    EXPECT_EQ(CompareText("ABC", "abc"), 0);
    EXPECT_EQ(CompareText("ab", "abc"), -1);
}

TEST(Strings, StrToIntAndFloatRaiseOnBadText)
{
    EXPECT_EQ(StrToInt(" 42 "), 42);
    EXPECT_EQ(StrToInt("-7"), -7);
    EXPECT_EQ(StrToInt("$1F"), 31);
    EXPECT_DOUBLE_EQ(StrToFloat("1.5"), 1.5);
    for (const char* bad : {"", "x", "1x", "99999999999", "--1"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(StrToInt(bad), EConvertError);
    }
    for (const char* bad : {"", "abc", "1.5.5", "inf"})
        EXPECT_THROW(StrToFloat(bad), EConvertError);
}

TEST(Dates, EncodeMatchesTheDayCount)
{
    EXPECT_DOUBLE_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDate(1985, 1, 1), 31048.0);
    EXPECT_DOUBLE_EQ(EncodeDate(2020, 1, 1), 43831.0);
    EXPECT_DOUBLE_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_DOUBLE_EQ(EncodeDate(1, 1, 1), -693593.0);
    EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
    EXPECT_DOUBLE_EQ(EncodeTime(6, 0, 0, 0), 0.25);
}

TEST(Dates, ImpossibleValuesRaise)
{
    const int dates[][3] = {{2005, 2, 29}, {2004, 13, 1}, {2004, 0, 1}, {2004, 4, 31}, {0, 1, 1}, {10000, 1, 1}, {1900, 2, 29}};
    for (const auto& d : dates)
        EXPECT_THROW(EncodeDate(d[0], d[1], d[2]), EConvertError) << d[0] << "-" << d[1] << "-" << d[2];
    EXPECT_NO_THROW(EncodeDate(2000, 2, 29));
    const int times[][4] = {{24, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000}, {-1, 0, 0, 0}};
    for (const auto& t : times)
        EXPECT_THROW(EncodeTime(t[0], t[1], t[2], t[3]), EConvertError);
}

TEST(Dates, DecodeRoundTrips)
{
    // Non-negative values: before 1899-12-30 a date and a time do not simply add.
    for (int year : {1900, 1985, 2000, 2005, 2019, 2020, 9999})
        for (int month : {1, 2, 12}) {
            int y, m, d, h, n, s, ms;
            TDateTime t = EncodeDate(year, month, DaysInMonth(year, month)) + EncodeTime(23, 59, 59, 999);
            DecodeDate(t, y, m, d);
            DecodeTime(t, h, n, s, ms);
            EXPECT_EQ(y, year);
            EXPECT_EQ(m, month);
            EXPECT_EQ(d, DaysInMonth(year, month));
            EXPECT_EQ(h * 10000000 + n * 100000 + s * 1000 + ms, 23 * 10000000 + 59 * 100000 + 59 * 1000 + 999);
        }
}

TEST(Dates, FormatDateTimePatterns)
{
    TDateTime t = EncodeDate(2005, 3, 15) + EncodeTime(12, 34, 56, 789);
    const std::pair<const char*, const char*> cases[] = {
        {"yyyy-mm-dd", "2005-03-15"},
        {"yyyy mmm dd", "2005 Mar 15"},
        {"hh:nn", "12:34"},
        {"hh:mm", "12:34"},
        {"hhnn", "1234"},
        {"dd/mm/yy", "15/03/05"},
        {"yyyy\"T\"hh", "2005T12"},
        {"'at' hh", "at 12"},
        {"mmmm d", "March 15"},
        {"ss.zzz", "56.789"},
    };
    for (const auto& [pattern, expected] : cases)
        EXPECT_EQ(FormatDateTime(pattern, t), expected) << pattern;
    EXPECT_EQ(DateTimeToIso(t), "2005-03-15T12:34:56");
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn", 0.0), "1899-12-30 00:00");
}

TEST(Formatting, FormatSpecifiers)
{
    EXPECT_EQ(Format("%d", {42}), "42");
    EXPECT_EQ(Format("%.2d", {5}), "05");
    EXPECT_EQ(Format("%.2d", {123}), "123");
    EXPECT_EQ(Format("%.4d", {7}), "0007");
    EXPECT_EQ(Format("%.1f", {2.25}), "2.2");
    EXPECT_EQ(Format("%.1f", {2.35}), "2.4");
    EXPECT_EQ(Format("%.5f", {1.0 / 3}), "0.33333");
    EXPECT_EQ(Format("%s-%s", {"a", std::string("b")}), "a-b");
    EXPECT_EQ(Format("100%%", {}), "100%");
    EXPECT_EQ(Format("%4d|%-4d|", {7, 7}), "   7|7   |");
    EXPECT_EQ(Format("%1:s %0:s", {"a", "b"}), "b a");
    EXPECT_EQ(Format("%.0n|%.2n|%.1n", {1234567.0, -1234.5, 999.0}), "1,234,567|-1,234.50|999.0");
}

TEST(Formatting, MismatchedArgumentsRaise)
{
    EXPECT_THROW(Format("%d", {"text"}), EConvertError);
    EXPECT_THROW(Format("%s", {1}), EConvertError);
    EXPECT_THROW(Format("%f", {1}), EConvertError);
    EXPECT_THROW(Format("%d %d", {1}), EConvertError);
    EXPECT_THROW(Format("%", {1}), EConvertError);
    EXPECT_THROW(Format("%q", {1}), EConvertError);
}

} // namespace
