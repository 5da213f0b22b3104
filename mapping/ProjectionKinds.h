// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The fourteen projection kinds by name, and what each kind is: its default
// scale, distance limit, inverse, rotation and how its grid is drawn. The
// transforms and the grid drawing read this table instead of listing kinds.
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

// The traits of a kind; every value from 15 up has pkUnknown's.
const TKindTraits& KindTraits(uint8_t Kind);
