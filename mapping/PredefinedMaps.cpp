// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapping/PredefinedMaps.h"

#include <array>
#include <memory>

namespace {

std::array<std::unique_ptr<TMapping>, 4> predefinedMaps;

// GMS-1024-LCC: Lambert over the western Pacific. The first pass sets the
// centre latitude after the parallels, which overwrites them; the second
// pass sets it first, so the map keeps parallels 44.5 and 44.0.
void ConfigureMap1(TMapping& m)
{
    m.SetProjection(10);
    m.SetHeight(1024);
    m.SetWidth(1024);
    m.SetCentreLongitude(128.5f);
    m.SetStandardParallel1(44.5f);
    m.SetStandardParallel2(44.0f);
    m.SetCentreLatitude(25.7f);
    m.SetLatitudeSpan(46.6f);
    m.SetOffsetX(171);

    m.SetProjection(10);
    m.SetHeight(1024);
    m.SetWidth(1024);
    m.SetCentreLongitude(128.5f);
    m.SetCentreLatitude(25.7f);
    m.SetStandardParallel1(44.5f);
    m.SetStandardParallel2(44.0f);
    m.SetLatitudeSpan(46.6f);
    m.SetOffsetX(171);
}

// GMS-4096-LCC: the same Lambert map at four times the size.
void ConfigureMap2(TMapping& m)
{
    m.SetProjection(10);
    m.SetHeight(4096);
    m.SetWidth(4096);
    m.SetCentreLongitude(128.5f);
    m.SetCentreLatitude(25.7f);
    m.SetStandardParallel1(44.5f);
    m.SetStandardParallel2(44.0f);
    m.SetLatitudeSpan(46.6f);
    m.SetOffsetX(684);
}

// Polar stereographic over Japan.
void ConfigureMap3(TMapping& m)
{
    m.SetProjection(9);
    m.SetHeight(800);
    m.SetWidth(800);
    m.SetCentreLongitude(135.0f);
    m.SetCentreLatitude(35.45f);
    m.SetLatitudeSpan(46.6f);
    m.SetOffsetX(137);
}

// ICAO-H: polar stereographic on the North Pole.
void ConfigureMap4(TMapping& m)
{
    m.SetProjection(9);
    m.SetHeight(877);
    m.SetWidth(1078);
    m.SetCentreLongitude(-45.0f);
    m.SetCentreLatitude(90.0f);
    m.SetLatitudeSpan(101.68f);
    m.SetOffsetX(-36);
    m.SetOffsetY(306);
}

} // namespace

bool ConfigurePredefinedMap(TMapping& Map, int Index)
{
    // Map N is configured by entry N - 1.
    static constexpr void (*configure[])(TMapping&) = {ConfigureMap1, ConfigureMap2, ConfigureMap3, ConfigureMap4};
    if (Index < 1 || Index > 4)
        return false;
    configure[Index - 1](Map);
    return true;
}

void InitializeSegmentStuff()
{
    if (predefinedMaps[0])
        return;
    for (int i = 0; i < 4; ++i) {
        auto map = std::make_unique<TMapping>();
        ConfigurePredefinedMap(*map, i + 1);
        predefinedMaps[i] = std::move(map);
    }
}

void FinalizeSegmentStuff()
{
    for (int i = 3; i >= 0; --i)
        predefinedMaps[i].reset();
}

TMapping* GetPredefinedMap(int Index)
{
    if (Index < 1 || Index > 4)
        return nullptr;
    return predefinedMaps[Index - 1].get();
}
