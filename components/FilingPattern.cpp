// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/FilingPattern.h"

#include <cstdio>

namespace {

bool RefusedCharacter(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F || c == '\\';
}

std::string Digits(int value, int width)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
    return buffer;
}

} // namespace

std::string SatellitePrefixOf(uint8_t SatelliteCode)
{
    switch (SatelliteCode) {
    case 4: return "I";
    case 7: return "E";
    case 8: return "W";
    case 9: return "J";
    default: return "M";
    }
}

TFilingPattern TFilingPattern::Parse(std::string_view Text)
{
    auto refuse = [&](const std::string& why) -> void {
        throw EFilingPatternError("the folder pattern '" + std::string(Text) + "' " + why);
    };
    TFilingPattern pattern;
    pattern.text_ = std::string(Text);
    if (Text.empty())
        refuse("is empty");
    if (Text.front() == '/')
        refuse("is absolute; give a folder pattern relative to the destination");
    size_t start = 0;
    while (true) {
        size_t end = Text.find('/', start);
        std::string_view folder = Text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (folder.empty())
            refuse("has an empty folder name");
        if (folder == "." || folder == "..")
            refuse("has a folder '" + std::string(folder) + "'");
        std::vector<TPiece> pieces;
        for (size_t i = 0; i < folder.size();) {
            const char c = folder[i];
            if (RefusedCharacter(c))
                refuse("has a character that is not allowed in a folder name");
            if (c == '}')
                refuse("has a '}' without its '{'");
            if (c != '{') {
                if (pieces.empty() || pieces.back().Part != TPart::Literal)
                    pieces.push_back({TPart::Literal, {}});
                pieces.back().Literal += c;
                ++i;
                continue;
            }
            const size_t close = folder.find('}', i);
            if (close == std::string_view::npos)
                refuse("has a '{' without its '}'");
            const std::string_view name = folder.substr(i + 1, close - i - 1);
            TPart part;
            if (name == "yyyy")
                part = TPart::Year;
            else if (name == "mm")
                part = TPart::Month;
            else if (name == "dd")
                part = TPart::Day;
            else if (name == "doy")
                part = TPart::DayOfYear;
            else if (name == "hh")
                part = TPart::Hour;
            else if (name == "satellite")
                part = TPart::Satellite;
            else if (name == "format")
                part = TPart::Format;
            else {
                refuse("has an unknown field {" + std::string(name) +
                       "}; the fields are {yyyy} {mm} {dd} {doy} {hh} {satellite} {format}");
                part = TPart::Literal;
            }
            pieces.push_back({part, {}});
            i = close + 1;
        }
        pattern.folders_.push_back(std::move(pieces));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return pattern;
}

std::string TFilingPattern::Expand(const TFilingFields& Fields) const
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    DecodeDate(Fields.AcquisitionTime, year, month, day);
    DecodeTime(Fields.AcquisitionTime, hour, minute, second, msec);
    int dayOfYear = day;
    static const int daysBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    if (month >= 1 && month <= 12)
        dayOfYear += daysBefore[month - 1] + (month > 2 && IsLeapYear(year) ? 1 : 0);

    std::string path;
    for (const auto& pieces : folders_) {
        std::string folder;
        for (const TPiece& piece : pieces) {
            switch (piece.Part) {
            case TPart::Literal: folder += piece.Literal; break;
            case TPart::Year: folder += Digits(year, 4); break;
            case TPart::Month: folder += Digits(month, 2); break;
            case TPart::Day: folder += Digits(day, 2); break;
            case TPart::DayOfYear: folder += Digits(dayOfYear, 3); break;
            case TPart::Hour: folder += Digits(hour, 2); break;
            case TPart::Satellite: folder += SatellitePrefixOf(Fields.SatelliteCode); break;
            case TPart::Format: folder += Fields.ImageFormat; break;
            }
        }
        if (folder.empty() || folder == "." || folder == ".." || folder.find('/') != std::string::npos ||
            folder.find('\0') != std::string::npos)
            throw EFilingPatternError("the folder pattern '" + text_ + "' gives the folder name '" + folder +
                                      "', which cannot be used");
        if (!path.empty())
            path += '/';
        path += folder;
    }
    return path;
}
