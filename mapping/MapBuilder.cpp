// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapping/MapBuilder.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>
#include <type_traits>

namespace {

bool Int32Range(int64_t v) { return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max(); }

template <typename T>
bool ParseNumber(std::string_view s, T& v)
{
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1); // from_chars takes no plus sign
    const char* end = s.data() + s.size();
    auto r = std::from_chars(s.data(), end, v);
    return r.ec == std::errc() && r.ptr == end && !s.empty();
}

} // namespace

bool BuildMapFromSettings(const TMapSettings& s, TPredefinedMapBuilder Predefined, TMapping& Map,
                          std::string& Error)
{
    if (s.Predefined) {
        const bool others = s.Kind || s.Width || s.Height || s.Sector || s.OffsetX || s.OffsetY || s.LongitudeSpan ||
                            s.LatitudeSpan || s.CentreLongitude || s.CentreLatitude || s.StandardParallel1 ||
                            s.StandardParallel2 || s.Rotation;
        if (others) {
            Error = "a predefined map takes no other settings";
            return false;
        }
        // Built by the same calls as at start-up, straight onto Map.
        if (*s.Predefined < 1 || *s.Predefined > 4 || Predefined == nullptr || !Predefined(Map, *s.Predefined)) {
            Error = "there is no predefined map " + std::to_string(*s.Predefined) + " (1-4)";
            return false;
        }
        return true;
    }
    if (!s.Kind || !s.Width || !s.Height) {
        Error = "give a predefined map, or a kind with a width and a height";
        return false;
    }
    if (*s.Kind < 0 || *s.Kind > 14) {
        Error = "the kind must be 0-14";
        return false;
    }
    if (*s.Width < 1 || *s.Height < 1 || !Int32Range(*s.Width) || !Int32Range(*s.Height)) {
        Error = "the width and the height must be whole numbers of at least 1";
        return false;
    }
    // Van der Grinten's zoom sectors: 0 the whole map, 1-4 the quarters, 5-13 the ninths.
    if (s.Sector && (*s.Sector < 0 || *s.Sector > 13)) {
        Error = "the sector must be 0-13";
        return false;
    }
    if ((s.OffsetX && !Int32Range(*s.OffsetX)) || (s.OffsetY && !Int32Range(*s.OffsetY))) {
        Error = "the offsets must be 32-bit whole numbers";
        return false;
    }
    const std::optional<double>* angles[] = {&s.LongitudeSpan,    &s.LatitudeSpan,      &s.CentreLongitude,
                                             &s.CentreLatitude,   &s.StandardParallel1, &s.StandardParallel2,
                                             &s.Rotation};
    for (const auto* a : angles)
        if (*a && !std::isfinite(static_cast<float>(**a))) {
            Error = "spans, angles and the rotation must be finite numbers";
            return false;
        }
    // The order in which CopyFrom copies a map.
    Map.SetProjection(static_cast<uint8_t>(*s.Kind));
    Map.SetHeight(static_cast<int32_t>(*s.Height));
    Map.SetWidth(static_cast<int32_t>(*s.Width));
    if (s.Sector)
        Map.Sector = static_cast<uint8_t>(*s.Sector);
    if (s.Rotation)
        Map.Rotation = static_cast<float>(*s.Rotation);
    if (s.LongitudeSpan)
        Map.SetLongitudeSpan(static_cast<float>(*s.LongitudeSpan));
    if (s.LatitudeSpan)
        Map.SetLatitudeSpan(static_cast<float>(*s.LatitudeSpan));
    if (s.CentreLongitude)
        Map.SetCentreLongitude(static_cast<float>(*s.CentreLongitude));
    if (s.CentreLatitude)
        Map.SetCentreLatitude(static_cast<float>(*s.CentreLatitude));
    if (s.StandardParallel1)
        Map.SetStandardParallel1(static_cast<float>(*s.StandardParallel1));
    if (s.StandardParallel2)
        Map.SetStandardParallel2(static_cast<float>(*s.StandardParallel2));
    if (s.OffsetX)
        Map.SetOffsetX(static_cast<int32_t>(*s.OffsetX));
    if (s.OffsetY)
        Map.SetOffsetY(static_cast<int32_t>(*s.OffsetY));
    return true;
}

bool ParseMapSpec(std::string_view Text, TMapSettings& Settings, std::string& Error)
{
    Settings = TMapSettings{};
    constexpr std::string_view predefinedPrefix = "predefined:";
    if (Text.substr(0, predefinedPrefix.size()) == predefinedPrefix) {
        int n = 0;
        if (!ParseNumber(Text.substr(predefinedPrefix.size()), n)) {
            Error = "predefined:N takes a whole number";
            return false;
        }
        Settings.Predefined = n;
        return true;
    }
    if (Text.empty()) {
        Error = "the map is empty: give predefined:N or kind=K,width=W,height=H[,...]";
        return false;
    }
    while (true) {
        const size_t comma = Text.find(',');
        const std::string_view item = Text.substr(0, comma);
        const size_t eq = item.find('=');
        if (eq == std::string_view::npos) {
            Error.assign("'").append(item).append("' is not KEY=VALUE");
            return false;
        }
        const std::string_view key = item.substr(0, eq), value = item.substr(eq + 1);
        auto take = [&](auto& field) {
            if (field) {
                Error.assign("'").append(key).append("' is given twice");
                return false;
            }
            typename std::remove_reference_t<decltype(field)>::value_type v{};
            if (!ParseNumber(value, v)) {
                Error.assign("'").append(key).append("' takes a number, not '").append(value).append("'");
                return false;
            }
            field = v;
            return true;
        };
        bool ok;
        if (key == "kind") ok = take(Settings.Kind);
        else if (key == "width") ok = take(Settings.Width);
        else if (key == "height") ok = take(Settings.Height);
        else if (key == "lon-span") ok = take(Settings.LongitudeSpan);
        else if (key == "lat-span") ok = take(Settings.LatitudeSpan);
        else if (key == "centre-lon") ok = take(Settings.CentreLongitude);
        else if (key == "centre-lat") ok = take(Settings.CentreLatitude);
        else if (key == "sp1") ok = take(Settings.StandardParallel1);
        else if (key == "sp2") ok = take(Settings.StandardParallel2);
        else if (key == "rotation") ok = take(Settings.Rotation);
        else if (key == "sector") ok = take(Settings.Sector);
        else if (key == "offset-x") ok = take(Settings.OffsetX);
        else if (key == "offset-y") ok = take(Settings.OffsetY);
        else {
            Error.assign("unknown key '").append(key).append("'");
            return false;
        }
        if (!ok)
            return false;
        if (comma == std::string_view::npos)
            return true;
        Text.remove_prefix(comma + 1);
    }
}
