// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/SysUtils.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <vector>

#include "runtime/Text.h"

// ---- strings -------------------------------------------------------------

std::string UpperCase(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string LowerCase(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

namespace {
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
}

std::string TrimLeft(std::string_view s)
{
    size_t first = 0;
    while (first < s.size() && IsBlank(s[first]))
        ++first;
    return std::string(s.substr(first));
}

std::string TrimRight(std::string_view s)
{
    size_t last = s.size();
    while (last > 0 && IsBlank(s[last - 1]))
        --last;
    return std::string(s.substr(0, last));
}

std::string Trim(std::string_view s)
{
    size_t first = 0;
    while (first < s.size() && IsBlank(s[first]))
        ++first;
    size_t last = s.size();
    while (last > first && IsBlank(s[last - 1]))
        --last;
    return std::string(s.substr(first, last - first));
}

int CompareText(std::string_view a, std::string_view b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = static_cast<unsigned char>(FoldCase(a[i]));
        unsigned char cb = static_cast<unsigned char>(FoldCase(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool SameText(std::string_view a, std::string_view b) { return CompareText(a, b) == 0; }

bool TryStrToInt(std::string_view s, int& value)
{
    // Decimal with optional sign and surrounding blanks, or hexadecimal with '$' or 0x.
    std::string t = Trim(s);
    if (t.empty())
        return false;
    size_t i = 0;
    bool negative = false;
    if (t[i] == '+' || t[i] == '-') {
        negative = t[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < t.size() && t[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= t.size())
        return false;
    long long result = 0;
    for (; i < t.size(); ++i) {
        const int digit = HexDigit(t[i]);
        if (digit < 0 || digit >= base)
            return false;
        result = result * base + digit;
        if (result > static_cast<long long>(std::numeric_limits<int>::max()) + 1)
            return false;
    }
    if (negative)
        result = -result;
    if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min())
        return false;
    value = static_cast<int>(result);
    return true;
}

int StrToInt(std::string_view s)
{
    int value = 0;
    if (!TryStrToInt(s, value))
        throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
    return value;
}

double StrToFloat(std::string_view s)
{
    std::string t = Trim(s);
    if (!t.empty()) {
        char* end = nullptr;
        errno = 0;
        double value = std::strtod(t.c_str(), &end);
        if (end == t.c_str() + t.size() && errno == 0 && std::isfinite(value))
            return value;
    }
    throw EConvertError("'" + std::string(s) + "' is not a valid floating point value");
}

std::string IntToStr(long long value) { return std::to_string(value); }

// ---- file names ------------------------------------------------------------

namespace {
size_t LastDelimiter(std::string_view s)
{
    size_t p = s.rfind(PathDelim);
    return p; // npos when none
}
}

std::string ExtractFilePath(std::string_view fileName)
{
    size_t p = LastDelimiter(fileName);
    return p == std::string_view::npos ? std::string() : std::string(fileName.substr(0, p + 1));
}

std::string ExtractFileName(std::string_view fileName)
{
    size_t p = LastDelimiter(fileName);
    return std::string(p == std::string_view::npos ? fileName : fileName.substr(p + 1));
}

std::string ExtractFileDir(std::string_view fileName)
{
    size_t p = LastDelimiter(fileName);
    if (p == std::string_view::npos)
        return std::string();
    // Keep a delimiter that is the first character, or that follows another
    // delimiter: "/" stays the root rather than becoming empty.
    if (p == 0 || fileName[p - 1] == PathDelim)
        return std::string(fileName.substr(0, p + 1));
    return std::string(fileName.substr(0, p));
}

std::string ExtractFileExt(std::string_view fileName)
{
    size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos)
        return std::string();
    size_t delimiter = LastDelimiter(fileName);
    if (delimiter != std::string_view::npos && delimiter > dot)
        return std::string();
    return std::string(fileName.substr(dot));
}

std::string ChangeFileExt(std::string_view fileName, std::string_view extension)
{
    std::string ext = ExtractFileExt(fileName);
    std::string out(fileName.substr(0, fileName.size() - ext.size()));
    out += extension;
    return out;
}

std::string IncludeTrailingPathDelimiter(std::string_view path)
{
    std::string out(path);
    if (out.empty() || out.back() != PathDelim)
        out += PathDelim;
    return out;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path)
{
    std::string out(path);
    if (out.size() > 1 && out.back() == PathDelim)
        out.pop_back();
    return out;
}

bool FileExists(const std::string& fileName)
{
    struct stat st;
    return ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& dirName)
{
    struct stat st;
    return ::stat(dirName.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ExecutableFileName()
{
    std::vector<char> buffer(4096);
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0)
        return std::string();
    return std::string(buffer.data(), static_cast<size_t>(n));
}

// ---- dates -----------------------------------------------------------------

namespace {

// Days from 1970-01-01 to the given proleptic Gregorian date (civil calendar
// arithmetic on 400-year eras).
long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

// 1899-12-30, day 0 of TDateTime, counted from 1970-01-01.
constexpr long long DateDelta = -25569;
constexpr double MSecsPerDay = 86400000.0;

// Whole days and milliseconds of the day of a TDateTime. For negative values
// the fraction still counts forward from midnight (runtime convention).
void SplitDateTime(TDateTime value, long long& days, long long& msec)
{
    if (!std::isfinite(value) || std::fabs(value) > 3e6) {
        days = 0;
        msec = 0;
        return;
    }
    double whole = std::trunc(value);
    double fraction = std::fabs(value - whole);
    msec = std::llround(fraction * MSecsPerDay);
    days = static_cast<long long>(whole);
    if (msec >= static_cast<long long>(MSecsPerDay)) {
        msec -= static_cast<long long>(MSecsPerDay);
        days += value < 0 ? -1 : 1;
    }
}

const char* const ShortMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const LongMonthNames[12] = {"January", "February", "March", "April", "May", "June",
                                        "July", "August", "September", "October", "November", "December"};
const char* const ShortDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const LongDayNames[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

} // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return days[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    result = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - DateDelta);
    return true;
}

TDateTime EncodeDate(int year, int month, int day)
{
    TDateTime result;
    if (!TryEncodeDate(year, month, day, result))
        throw EConvertError("Invalid argument to date encode");
    return result;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result)
{
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 || msec > 999)
        return false;
    result = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + msec) / MSecsPerDay;
    return true;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec)
{
    TDateTime result;
    if (!TryEncodeTime(hour, minute, second, msec, result))
        throw EConvertError("Invalid argument to time encode");
    return result;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day)
{
    long long days, msec;
    SplitDateTime(value, days, msec);
    CivilFromDays(days + DateDelta, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec)
{
    long long days, ms;
    SplitDateTime(value, days, ms);
    hour = static_cast<int>(ms / 3600000);
    minute = static_cast<int>(ms / 60000 % 60);
    second = static_cast<int>(ms / 1000 % 60);
    msec = static_cast<int>(ms % 1000);
}

TDateTime Now()
{
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    auto now = std::chrono::system_clock::now().time_since_epoch();
    int msec = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count() % 1000);
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
           EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59), msec);
}

namespace {
void AppendNumber(std::string& out, long long value, int digits)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%0*lld", digits, value);
    out += buffer;
}
}

std::string FormatDateTime(std::string_view format, TDateTime value)
{
    int year, month, day, hour, minute, second, msec;
    DecodeDate(value, year, month, day);
    DecodeTime(value, hour, minute, second, msec);
    long long days, ms;
    SplitDateTime(value, days, ms);
    int weekday = static_cast<int>(((days + DateDelta) % 7 + 7 + 4) % 7); // 1970-01-01 was a Thursday

    std::string out;
    bool lastWasHour = false;
    size_t i = 0;
    auto runLength = [&](char c) {
        size_t n = 0;
        while (i + n < format.size() && (format[i + n] == c || format[i + n] == c - 'a' + 'A'))
            ++n;
        return n;
    };
    while (i < format.size()) {
        char c = format[i];
        char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (c == '"' || c == '\'') {
            size_t close = format.find(c, i + 1);
            if (close == std::string_view::npos)
                close = format.size();
            out.append(format.substr(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        size_t n;
        switch (lower) {
        case 'y':
            n = runLength('y');
            if (n <= 2) AppendNumber(out, year % 100, 2);
            else AppendNumber(out, year, 4);
            i += n;
            lastWasHour = false;
            break;
        case 'm':
            n = runLength('m');
            if (lastWasHour && n <= 2) {
                AppendNumber(out, minute, n == 1 ? 1 : 2);
            } else if (n == 1) AppendNumber(out, month, 1);
            else if (n == 2) AppendNumber(out, month, 2);
            else if (n == 3) out += ShortMonthNames[month - 1];
            else out += LongMonthNames[month - 1];
            i += n;
            lastWasHour = false;
            break;
        case 'd':
            n = runLength('d');
            if (n == 1) AppendNumber(out, day, 1);
            else if (n == 2) AppendNumber(out, day, 2);
            else if (n == 3) out += ShortDayNames[weekday];
            else out += LongDayNames[weekday];
            i += n;
            lastWasHour = false;
            break;
        case 'h':
            n = runLength('h');
            AppendNumber(out, hour, n == 1 ? 1 : 2);
            i += n;
            lastWasHour = true;
            break;
        case 'n':
            n = runLength('n');
            AppendNumber(out, minute, n == 1 ? 1 : 2);
            i += n;
            lastWasHour = false;
            break;
        case 's':
            n = runLength('s');
            AppendNumber(out, second, n == 1 ? 1 : 2);
            i += n;
            lastWasHour = false;
            break;
        case 'z':
            n = runLength('z');
            AppendNumber(out, msec, n == 1 ? 1 : 3);
            i += n;
            lastWasHour = false;
            break;
        default:
            out += c;
            ++i;
            break;
        }
    }
    return out;
}

std::string DateTimeToIso(TDateTime value)
{
    return FormatDateTime("yyyy-mm-dd\"T\"hh:nn:ss", value);
}

// ---- Format ------------------------------------------------------------------

std::string Format(std::string_view format, std::initializer_list<TVarRec> args)
{
    std::vector<const TVarRec*> list;
    for (const TVarRec& a : args)
        list.push_back(&a);
    auto invalid = [&]() {
        return EConvertError("Format '" + std::string(format) + "' invalid or incompatible with argument");
    };

    std::string out;
    size_t next = 0;
    size_t i = 0;
    while (i < format.size()) {
        char c = format[i];
        if (c != '%') {
            out += c;
            ++i;
            continue;
        }
        ++i;
        if (i < format.size() && format[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // [index:]
        size_t start = i;
        long index = -1;
        while (i < format.size() && format[i] >= '0' && format[i] <= '9')
            ++i;
        if (i < format.size() && format[i] == ':' && i > start) {
            index = std::strtol(std::string(format.substr(start, i - start)).c_str(), nullptr, 10);
            ++i;
        } else {
            i = start;
        }
        bool leftJustify = false;
        if (i < format.size() && format[i] == '-') {
            leftJustify = true;
            ++i;
        }
        int width = -1;
        if (i < format.size() && format[i] >= '0' && format[i] <= '9') {
            width = 0;
            while (i < format.size() && format[i] >= '0' && format[i] <= '9')
                width = width * 10 + (format[i++] - '0');
        }
        int precision = -1;
        if (i < format.size() && format[i] == '.') {
            ++i;
            precision = 0;
            while (i < format.size() && format[i] >= '0' && format[i] <= '9')
                precision = precision * 10 + (format[i++] - '0');
        }
        if (i >= format.size())
            throw invalid();
        char type = format[i++];
        if (type >= 'A' && type <= 'Z')
            type = static_cast<char>(type - 'A' + 'a');
        if (index >= 0)
            next = static_cast<size_t>(index);
        if (next >= list.size())
            throw invalid();
        const auto& value = list[next++]->value;

        std::string field;
        char buffer[512];
        switch (type) {
        case 'd':
        case 'u': {
            if (!std::holds_alternative<long long>(value))
                throw invalid();
            long long v = std::get<long long>(value);
            if (type == 'u')
                v = static_cast<long long>(static_cast<unsigned int>(v));
            // Precision is the minimum number of digits, padded with zeros.
            std::snprintf(buffer, sizeof buffer, "%.*lld", precision < 0 ? 1 : std::min(precision, 64), v);
            field = buffer;
            break;
        }
        case 'x': {
            if (!std::holds_alternative<long long>(value))
                throw invalid();
            std::snprintf(buffer, sizeof buffer, "%.*llX", precision < 0 ? 1 : std::min(precision, 64),
                          static_cast<unsigned long long>(std::get<long long>(value)));
            field = buffer;
            break;
        }
        case 'f':
        case 'e':
        case 'g':
        case 'n': {
            if (!std::holds_alternative<double>(value))
                throw invalid();
            double v = std::get<double>(value);
            int p = precision < 0 ? 2 : std::min(precision, 64);
            if (type == 'e')
                std::snprintf(buffer, sizeof buffer, "%.*E", p, v);
            else if (type == 'g')
                std::snprintf(buffer, sizeof buffer, "%.*G", precision < 0 ? 15 : std::min(precision, 64), v);
            else
                std::snprintf(buffer, sizeof buffer, "%.*f", p, v);
            field = buffer;
            if (type == 'n') {
                // Thousands separators in the integer part.
                size_t dot = field.find('.');
                size_t intEnd = dot == std::string::npos ? field.size() : dot;
                size_t intStart = (!field.empty() && field[0] == '-') ? 1 : 0;
                std::string grouped = field.substr(0, intStart);
                for (size_t k = intStart; k < intEnd; ++k) {
                    if (k > intStart && (intEnd - k) % 3 == 0)
                        grouped += ',';
                    grouped += field[k];
                }
                field = grouped + field.substr(intEnd);
            }
            break;
        }
        case 's': {
            if (!std::holds_alternative<std::string>(value))
                throw invalid();
            field = std::get<std::string>(value);
            if (precision >= 0 && static_cast<size_t>(precision) < field.size())
                field.resize(static_cast<size_t>(precision));
            break;
        }
        default:
            throw invalid();
        }
        if (width > 0 && field.size() < static_cast<size_t>(width)) {
            std::string pad(static_cast<size_t>(width) - field.size(), ' ');
            field = leftJustify ? field + pad : pad + field;
        }
        out += field;
    }
    return out;
}
