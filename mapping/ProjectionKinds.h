// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The fourteen projection kinds by name, and what each kind is: its default
// scale, distance limit, inverse, rotation and how its grid is drawn. The
// transforms (through the kinds' registration, ProjectionFamilies.h) and the
// grid drawing read this table instead of listing kinds.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// Values of TMapping::Projection. The field stays an 8-bit number: values
// from 15 up are stored as given and behave as pkUnknown.
enum TProjectionKind : uint8_t {
    pkUnknown = 0,
    pkCylindricalFull = 1,
    pkCylindricalZoomed = 2,
    pkAzimuthalEquidistant = 3,
    pkAzimuthalEquidistantWide = 4,
    pkMercatorFull = 5,
    pkMercatorZoomed = 6,
    pkOrthographic = 7,
    pkLinearisedOrthographic = 8,
    pkPolarStereographic = 9,
    pkLambertConformalConic = 10,
    pkGnomonic = 11,
    pkVanDerGrinten = 12,
    pkGreatCircle = 13,
    pkLinearBased = 14,
};
constexpr int ProjectionKindCount = 15;

// Which longitudes and latitudes the grid covers.
enum class TGridRange : uint8_t {
    Globe,         // every whole degree (-179..179, -89..89)
    WholeSphere,   // the azimuthal kinds: meridians from -180
    AroundCentre,  // 179 degrees each side of the centre meridian
    Span,          // the map's spans, split at the date line
};

// Where a meridian's label goes.
enum class TMeridianLabel : uint8_t {
    BottomAtEquator,    // at the bottom edge, in the column of latitude 0
    AtCentreLatitude,   // on the centre parallel (0 when within 10 degrees of it)
    AtCentreLatitudeOnCanvas, // so on a caller's canvas; else at the bottom
    AtExactCentre,      // on CentreLatitude itself
    BelowEquator,       // at latitude -3
    FirstVisibleOnCone, // at the bottom, found along the meridian
};

// Where a parallel's label goes.
enum class TParallelLabel : uint8_t {
    None,
    LeftEdge,           // at the left edge, on the parallel's row
    CentralMeridian,    // left of the meridian nearest the centre
    FirstVisibleOnCone, // at the left edge, found along the parallel
};

struct TKindTraits {
    TProjectionKind Kind;
    float DefaultScale;      // written by SetProjection; 0: the scale is kept
    float DistanceLimitKm;   // great-circle distance from the centre at or beyond which nothing is visible; 0: none
    bool HasInverse;         // PixelToGeo converts
    bool IsTrue;             // IsTrueProjection
    bool Rotates;            // Rotation turns the normalised point
    bool StraightGridLines;  // meridians and parallels are straight lines
    bool VisibleInsideOnly;  // a point is visible only inside the image
    TGridRange GridRange;
    TMeridianLabel MeridianLabel;
    TParallelLabel ParallelLabel;
};

// One row per kind, indexed by kind: kind, default scale, limit, inverse,
// true, rotates, straight, inside only, grid range, meridian label,
// parallel label.
inline constexpr std::array<TKindTraits, ProjectionKindCount> KindTraitTable = {{
    {pkUnknown, 0, 0, false, false, false, false, false, TGridRange::Globe, TMeridianLabel::BottomAtEquator, TParallelLabel::None},
    {pkCylindricalFull, 0, 0, true, true, false, true, false, TGridRange::Globe, TMeridianLabel::BottomAtEquator, TParallelLabel::LeftEdge},
    {pkCylindricalZoomed, 0, 0, true, true, false, true, false, TGridRange::Span, TMeridianLabel::BottomAtEquator, TParallelLabel::LeftEdge},
    {pkAzimuthalEquidistant, 0.75f, 12000, true, true, true, false, false, TGridRange::WholeSphere, TMeridianLabel::AtCentreLatitude, TParallelLabel::CentralMeridian},
    {pkAzimuthalEquidistantWide, 0.4f, 12000, true, true, true, false, false, TGridRange::WholeSphere, TMeridianLabel::AtCentreLatitude, TParallelLabel::CentralMeridian},
    {pkMercatorFull, 0, 0, true, true, false, true, false, TGridRange::Globe, TMeridianLabel::BottomAtEquator, TParallelLabel::LeftEdge},
    {pkMercatorZoomed, 0, 0, true, true, false, true, true, TGridRange::Span, TMeridianLabel::BottomAtEquator, TParallelLabel::LeftEdge},
    {pkOrthographic, 0.8f, 6300, true, true, true, false, false, TGridRange::WholeSphere, TMeridianLabel::AtCentreLatitude, TParallelLabel::CentralMeridian},
    {pkLinearisedOrthographic, 0.8f, 6300, false, false, true, false, false, TGridRange::WholeSphere, TMeridianLabel::AtCentreLatitude, TParallelLabel::CentralMeridian},
    {pkPolarStereographic, 1.7f, 0, true, true, false, false, false, TGridRange::Globe, TMeridianLabel::AtExactCentre, TParallelLabel::CentralMeridian},
    {pkLambertConformalConic, 0, 10000, true, true, false, false, false, TGridRange::Globe, TMeridianLabel::FirstVisibleOnCone, TParallelLabel::FirstVisibleOnCone},
    {pkGnomonic, 0.4f, 12000, true, true, true, false, false, TGridRange::WholeSphere, TMeridianLabel::AtCentreLatitude, TParallelLabel::CentralMeridian},
    {pkVanDerGrinten, 0, 0, true, true, false, false, false, TGridRange::AroundCentre, TMeridianLabel::BelowEquator, TParallelLabel::None},
    {pkGreatCircle, 0.2f, 0, true, true, false, false, false, TGridRange::Globe, TMeridianLabel::AtCentreLatitude, TParallelLabel::CentralMeridian},
    {pkLinearBased, 0, 0, true, false, false, false, false, TGridRange::Span, TMeridianLabel::AtCentreLatitudeOnCanvas, TParallelLabel::None},
}};

static_assert([] {
    for (std::size_t k = 0; k < KindTraitTable.size(); ++k)
        if (KindTraitTable[k].Kind != k)
            return false;
    return true;
}());

// The traits of a kind; every value from 15 up has pkUnknown's.
constexpr const TKindTraits& KindTraits(uint8_t Kind)
{
    return KindTraitTable[Kind < KindTraitTable.size() ? Kind : 0];
}
