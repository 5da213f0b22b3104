// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The array transforms' vector kernels, built for SSE2 (every x86-64), AVX2
// and AVX-512, and the choice among them made once from what the processor
// has. A kernel works out the unrounded pixels of a run of points; the
// caller rounds them and applies the offsets with the per-point code.
#include <cstddef>
#include <cstdint>

// What a kernel needs from the map, copied out of it once per array.
struct TSimdForwardConsts {
    double Width, Height, CentreRow;
    double CentreLongitude;
    double SinPhi0, CosPhi0;     // the stored sine and cosine of the centre latitude
    double LimitSin, LimitCos;   // those of CentreLatitude itself, for the distance limit
    double LimitCosine;          // cosine of the distance limit's central angle
    double Scale;
    double RotCos, RotSin;
    bool Rotate;
    // For the inverse kernels.
    double RecipWidth, RecipHeight, CentreLatitude;
    // Plate carree's lines (kinds 1, 2, 14).
    double LongitudeSpan, WestEdge, LatitudeSpan, SouthEdge;
    double MercatorZoomBase, MercatorZoomScale; // kind 6
    int32_t OffsetX, OffsetY;
    // The map itself, for the kernels that build its family's constants.
    const class TMapping* Map;
};

// Status of a point after a forward kernel: TMapping::TProjectResult;
// SimdRounded, computed with both pixels in the 32-bit range (RX and RY
// hold them rounded as RoundToInt32 rounds); or SimdFallback for a point
// the kernel leaves to the per-point code (a longitude far outside
// -540..540, say).
constexpr uint8_t SimdRounded = 3;
constexpr uint8_t SimdFallback = 255;

// What a forward kernel writes for each point: the unrounded pixel, the
// rounded one (for SimdRounded) and the status.
struct TSimdForwardOut {
    double* FX;
    double* FY;
    int32_t* RX;
    int32_t* RY;
    uint8_t* Status;
};

using TSimdForwardKernel = void (*)(const TSimdForwardConsts& C, const float* Longitudes, const float* Latitudes,
                                    size_t Count, const TSimdForwardOut& Out);

// What an inverse kernel writes for each pixel: its status, 0 does not
// convert, 2 the map centre (CentreLongitude, CentreLatitude),
// SimdConverted converts to Lon and Lat (finite singles), SimdFallback left
// to the per-point code.
constexpr uint8_t SimdConverted = 1;
struct TSimdInverseOut {
    float* Lon;
    float* Lat;
    uint8_t* Status;
};

using TSimdInverseKernel = void (*)(const TSimdForwardConsts& C, const int32_t* X, const int32_t* Y, size_t Count,
                                    const TSimdInverseOut& Out);

struct TSimdKernelSet {
    const char* Name;
    TSimdForwardKernel CylindricalFull;        // kind 1
    TSimdForwardKernel CylindricalZoomed;      // kinds 2 and 14
    TSimdForwardKernel MercatorFull;           // kind 5
    TSimdForwardKernel MercatorZoomed;         // kind 6
    TSimdForwardKernel AzimuthalEquidistant;   // kinds 3 and 4
    TSimdForwardKernel Orthographic;           // kind 7
    TSimdForwardKernel Gnomonic;               // kind 11
    TSimdForwardKernel LinearisedOrthographic; // kind 8
    TSimdForwardKernel PolarStereographic;     // kind 9
    TSimdForwardKernel LambertConic;           // kind 10
    TSimdForwardKernel VanDerGrinten;          // kind 12
    TSimdForwardKernel GreatCircle;            // kind 13
    TSimdInverseKernel CylindricalInverse;     // kinds 1, 2 and 14
    TSimdInverseKernel MercatorFullInverse;    // kind 5
    TSimdInverseKernel MercatorZoomedInverse;  // kind 6
    TSimdInverseKernel AzimuthalEquidistantInverse; // kinds 3 and 4
    TSimdInverseKernel OrthographicInverse;    // kind 7
    TSimdInverseKernel GnomonicInverse;        // kind 11
    TSimdInverseKernel PolarStereographicInverse; // kind 9
    TSimdInverseKernel LambertConicInverse;    // kind 10
    TSimdInverseKernel VanDerGrintenInverse;   // kind 12
    TSimdInverseKernel GreatCircleInverse;     // kind 13
};

enum class TSimdLevel : uint8_t { Baseline, Avx2, Avx512 };

// The kernels in use: the best the processor runs, or at most Limit.
const TSimdKernelSet& SimdKernels();
// Caps the level used from now on (tests run the baseline path this way);
// returns the level in use afterwards.
TSimdLevel LimitSimdLevel(TSimdLevel Limit);
// The best level this processor runs.
TSimdLevel BestSimdLevel();
