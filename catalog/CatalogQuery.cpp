// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/CatalogQuery.h"

#include <cmath>
#include <cstdio>

#include "satellite/SatelliteInfo.h"

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

// Exactly Count digits at Pos.
bool Digits(std::string_view t, size_t pos, size_t count, int& value)
{
    if (pos + count > t.size())
        return false;
    value = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (t[i] < '0' || t[i] > '9')
            return false;
        value = value * 10 + (t[i] - '0');
    }
    return true;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

std::string Shown(std::string_view text)
{
    std::string shown;
    for (char c : text.substr(0, 64))
        shown += (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) ? '?' : c;
    return text.size() > 64 ? shown + "..." : shown;
}

std::string Normalised(std::string_view name)
{
    std::string out;
    for (char c : name) {
        if (c >= 'a' && c <= 'z')
            out += static_cast<char>(c - 'a' + 'A');
        else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            out += c;
    }
    return out;
}

} // namespace

bool ParseCatalogTime(std::string_view t, bool AsEnd, int64_t& Seconds, std::string& Error)
{
    Error = "expects an ISO 8601 time (YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS]), not '" + Shown(t) + "'";
    if (!t.empty() && (t.back() == 'Z' || t.back() == 'z'))
        t.remove_suffix(1);
    int y, mo, d, h = 0, mi = 0, s = 0;
    if (!Digits(t, 0, 4, y) || t.size() < 10 || t[4] != '-' || !Digits(t, 5, 2, mo) || t[7] != '-' ||
        !Digits(t, 8, 2, d))
        return false;
    int64_t span = 86400;
    if (t.size() > 10) {
        if ((t[10] != 'T' && t[10] != 't' && t[10] != ' ') || !Digits(t, 11, 2, h) || t.size() < 16 || t[13] != ':' ||
            !Digits(t, 14, 2, mi))
            return false;
        span = 60;
        if (t.size() > 16) {
            if (t.size() != 19 || t[16] != ':' || !Digits(t, 17, 2, s))
                return false;
            span = 1;
        }
    }
    static const int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1900 || y > 2999 || mo < 1 || mo > 12 || d < 1 ||
        d > monthDays[mo - 1] + (mo == 2 && IsLeap(y) ? 1 : 0)) {
        Error = "'" + Shown(t) + "' is not a date of the calendar (years 1900 to 2999)";
        return false;
    }
    if (h > 23 || mi > 59 || s > 59) {
        Error = "'" + Shown(t) + "' is not a time of day";
        return false;
    }
    Seconds = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 + h * 3600 + mi * 60 + s;
    if (AsEnd)
        Seconds += span;
    Error.clear();
    return true;
}

bool ParseSatellite(std::string_view Text, int& Code, std::string& Error)
{
    int number = 0;
    if (!Text.empty() && Text.size() <= 2 && Digits(Text, 0, Text.size(), number)) {
        if (number < static_cast<int>(SatelliteNames.size())) {
            Code = number;
            return true;
        }
        Error = "satellite code " + std::string(Text) + " is past the table (0 to " +
                std::to_string(SatelliteNames.size() - 1) + ")";
        return false;
    }
    const std::string wanted = Normalised(Text);
    int prefixMatch = -1, prefixCount = 0;
    for (size_t i = 1; i < SatelliteNames.size() && !wanted.empty(); ++i) {
        const std::string name = Normalised(SatelliteNames[i]);
        if (name == wanted) {
            Code = static_cast<int>(i);
            return true;
        }
        if (name.compare(0, wanted.size(), wanted) == 0) {
            prefixMatch = static_cast<int>(i);
            ++prefixCount;
        }
    }
    if (prefixCount == 1) {
        Code = prefixMatch;
        return true;
    }
    Error = prefixCount > 1 ? "'" + Shown(Text) + "' names more than one satellite (see 'quillon-cli tables satellites')"
                            : "no satellite '" + Shown(Text) + "' (see 'quillon-cli tables satellites')";
    return false;
}

bool ParseImageFormat(std::string_view Text, std::string& Letters, std::string& Error)
{
    Letters.clear();
    for (char c : Text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c < 'A' || c > 'Z') {
            Error = "expects format letters such as AIVH, not '" + Shown(Text) + "'";
            return false;
        }
        Letters += c;
    }
    if (Letters.empty() || Letters.size() > 8) {
        Error = "expects 1 to 8 format letters such as AIVH, not '" + Shown(Text) + "'";
        return false;
    }
    return true;
}

std::string IsoFromSeconds(int64_t Seconds)
{
    int64_t days = Seconds >= 0 ? Seconds / 86400 : -((-Seconds + 86399) / 86400);
    int64_t rest = Seconds - days * 86400;
    int64_t y;
    unsigned m, d;
    CivilFromDays(days, y, m, d);
    char text[48];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02d", static_cast<long long>(y), m, d,
                  static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
    return text;
}

int64_t SecondsFromDateTime(double Value)
{
    return std::llround((Value - 25569.0) * 86400.0);
}
