// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// String, file-name, date and formatting services of the runtime.
// Strings are byte strings (8-bit text); positions in comments are 1-based
// where the design speaks of "the 5th character".
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

#include "runtime/Exceptions.h"

// ---- strings -------------------------------------------------------------
std::string UpperCase(std::string_view s);   // ASCII a..z only
std::string LowerCase(std::string_view s);   // ASCII A..Z only
std::string Trim(std::string_view s);        // drops leading/trailing bytes <= ' '
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
int CompareText(std::string_view a, std::string_view b); // ASCII case-insensitive, <0, 0, >0
bool SameText(std::string_view a, std::string_view b);
int StrToInt(std::string_view s);            // EConvertError on non-numeric text
bool TryStrToInt(std::string_view s, int& value);
double StrToFloat(std::string_view s);       // EConvertError on non-numeric text
std::string IntToStr(long long value);

// ---- file names (delimiter '/') -------------------------------------------
constexpr char PathDelim = '/';
std::string ExtractFilePath(std::string_view fileName);  // up to and including the last '/'
std::string ExtractFileName(std::string_view fileName);  // after the last '/'
std::string ExtractFileDir(std::string_view fileName);   // before the last '/' (a leading '/' is kept)
std::string ExtractFileExt(std::string_view fileName);   // from the last '.' after the last '/', else ""
std::string ChangeFileExt(std::string_view fileName, std::string_view extension);
std::string IncludeTrailingPathDelimiter(std::string_view path);
std::string ExcludeTrailingPathDelimiter(std::string_view path);
inline std::string IncludeTrailingBackslash(std::string_view path) { return IncludeTrailingPathDelimiter(path); }
bool FileExists(const std::string& fileName);       // a regular file (or a link to one)
bool DirectoryExists(const std::string& dirName);
std::string ExecutableFileName();                   // full path of the running program

// ---- dates ----------------------------------------------------------------
// Days since 1899-12-30; the fraction is the time of day.
using TDateTime = double;

TDateTime EncodeDate(int year, int month, int day);                  // EConvertError when impossible
TDateTime EncodeTime(int hour, int minute, int second, int msec);    // EConvertError when impossible
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec);
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
TDateTime Now();
// Patterns: yyyy yy m mm mmm mmmm d dd h hh n nn s ss z zzz, "quoted" and
// 'quoted' text; m directly after h or hh means minutes. Months in English.
std::string FormatDateTime(std::string_view format, TDateTime value);
// "YYYY-MM-DDTHH:MM:SS", the form the command line prints.
std::string DateTimeToIso(TDateTime value);

// ---- Format -----------------------------------------------------------------
// One argument of Format: an integer, a floating-point number or a string.
struct TVarRec {
    std::variant<long long, double, std::string> value;
    TVarRec(int v) : value(static_cast<long long>(v)) {}
    TVarRec(unsigned v) : value(static_cast<long long>(v)) {}
    TVarRec(long v) : value(static_cast<long long>(v)) {}
    TVarRec(unsigned long v) : value(static_cast<long long>(v)) {}
    TVarRec(long long v) : value(v) {}
    TVarRec(unsigned long long v) : value(static_cast<long long>(v)) {}
    TVarRec(double v) : value(v) {}
    TVarRec(float v) : value(static_cast<double>(v)) {}
    TVarRec(const char* v) : value(std::string(v)) {}
    TVarRec(std::string v) : value(std::move(v)) {}
    TVarRec(std::string_view v) : value(std::string(v)) {}
};

// %[index:][-][width][.precision]type with type d u x f e g n s and %%.
// %.2d pads an integer with zeros to two digits; %.1f gives one decimal.
// A type that does not match its argument raises EConvertError.
std::string Format(std::string_view format, std::initializer_list<TVarRec> args);
