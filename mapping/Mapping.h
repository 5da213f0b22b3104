// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TMapping: how a raster image of Width by Height pixels lies over the Earth
// under one of fourteen projection kinds, with the forward transform
// (GeoToPixel), the inverse (PixelToGeo) and the latitude/longitude grid.
//
// Settings are written through the setters; each setter but the offset
// setters recalculates every derived constant, so GeoToPixel does only
// per-point work. Fields are single-precision floats (the stored state of a
// map); the transforms compute in double.
//
// "Floating-point failure" is detected, never trapped: a domain error, a
// division by zero, an overflow or a non-finite value inside a guarded block
// ends the block with the documented result. No input crashes or hangs.
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "runtime/Classes.h"
#include "runtime/Graphics.h"

// Display names of the projection kinds, indexed by kind.
extern const std::array<std::string_view, 15> ProjectionNames;

// Great-circle distance in kilometres on a sphere of radius 6378.135 km.
// Angles in degrees. Returns false (Distance unwritten) when the inputs are
// not finite. A cosine rounded just past +-1 is clamped, so a point at (or
// next to) the other point gives 0 rather than a failure.
bool GreatCircleDistance(float& Distance, float Longitude1, float Latitude1, float Longitude2,
                         float Latitude2);

// Mercator ordinate in degree units: 180/pi * ln tan(45 + Latitude/2).
// Returns Latitude unchanged when that cannot be computed.
float MercatorY(float Latitude);
// The latitude whose MercatorY is M; returns M unchanged on failure.
float InverseMercatorY(float M);

// Double-precision forms of the two, used inside the transforms; they report
// failure by returning the argument, like the single forms.
double MercatorYD(double Latitude);
double InverseMercatorYD(double M);

// Round to the nearest integer, halves to the even one, into a 32-bit signed
// integer. False (Result unwritten) when the value is not finite or lies
// outside the 32-bit range.
bool RoundToInt32(double Value, int32_t& Result);

// The special parallels DrawGridOnCanvas can add, in drawing order, as a set
// of bits (spArctic = bit 0, ...).
enum TSpecialParallel : uint8_t { spArcticCircle, spTropicOfCancer, spEquator, spTropicOfCapricorn, spAntarcticCircle };
using TSpecialParallels = uint8_t;
constexpr TSpecialParallels SpecialBit(TSpecialParallel p) { return static_cast<TSpecialParallels>(1u << p); }
// Latitudes of the special parallels, indexed by TSpecialParallel.
extern const std::array<float, 5> SpecialParallelLatitudes;

class TMapping : public TObject {
public:
    TMapping() = default;
    ~TMapping() override = default;

    // --- virtual operations, in slot order ---------------------------------
    virtual void SetProjection(uint8_t Kind);
    virtual int32_t GetHeight() const { return Height; }
    virtual int32_t GetWidth() const { return Width; }
    virtual int32_t GetClipHeight() const;
    virtual int32_t GetClipWidth() const { return GetWidth(); }
    virtual void CopyFrom(const TMapping* Source);
    virtual void Assign(const TMapping* Source) { CopyFrom(Source); }
    virtual bool IsTrueProjection() const;
    virtual bool GeoToPixel(float Longitude, float Latitude, int32_t& X, int32_t& Y) const;
    virtual bool PixelToGeo(int32_t X, int32_t Y, float& Longitude, float& Latitude) const;
    // The latitude/longitude grid with degree labels, traced through
    // GeoToPixel so it follows the projection. Nothing is drawn for an
    // absent target or kind 0. A step of 0 draws no lines (and no labels)
    // in that direction.
    virtual void DrawGrid(TBitmap* Bitmap, int32_t LonStep, int32_t LatStep, TColor LabelColour,
                          TColor GridColour, int32_t OriginX, int32_t OriginY, bool NoLabels) const;
    virtual void DrawGridOnCanvas(TCanvas* Canvas, int32_t LonStep, int32_t LatStep, TColor LabelColour,
                                  TColor GridColour, int32_t OriginX, int32_t OriginY, bool NoLabels,
                                  TSpecialParallels Specials) const;
    // DrawGrid's drawing onto any canvas standing for the bitmap's: Target
    // (may be null) is marked modified at the end, and the canvas is told
    // (TCanvas::Changed). DrawGrid(B, ...) is DrawGridOn(B->Canvas(), B, ...).
    void DrawGridOn(TCanvas* Canvas, TGraphic* Target, int32_t LonStep, int32_t LatStep, TColor LabelColour,
                    TColor GridColour, int32_t OriginX, int32_t OriginY, bool NoLabels) const;

    // --- setters -------------------------------------------------------------
    void SetHeight(int32_t Value);
    void SetWidth(int32_t Value);
    void SetLatitudeSpan(float Value);
    void SetLongitudeSpan(float Value);
    void SetCentreLongitude(float Value);
    void SetCentreLatitude(float Value);
    void SetStandardParallel1(float Value);
    void SetStandardParallel2(float Value);
    void SetOffsetX(int32_t Value) { OffsetX = static_cast<float>(Value); }
    void SetOffsetY(int32_t Value) { OffsetY = static_cast<float>(Value); }
    int32_t GetOffsetX() const;
    int32_t GetOffsetY() const;

    // Zoom sector of the Van der Grinten kind: full-map normalised coordinates
    // to the selected sector's, and back.
    void MapToSector(float& x, float& y) const;
    void SectorToMap(float& x, float& y) const;

    // How far GeoToPixel got with a point, for callers that want the pixel
    // before rounding (tests and benchmarks compare it with other libraries).
    enum TProjectResult {
        prNotComputed, // kind 0, a failure, or a distance/view limit: X and Y untouched
        prHidden,      // computed but not visible (kind 11 beyond the hemisphere)
        prComputed,    // computed; visible, except that kind 6 also checks the image bounds
    };
    // The unrounded pixel of a point, before the offsets. FX and FY are
    // written for prHidden and prComputed; either may be non-finite after a
    // failure part-way.
    TProjectResult ProjectPoint(float Longitude, float Latitude, double& FX, double& FY) const;

    // The transforms over arrays: element i is exactly what the per-point
    // call gives for element i (X[i] and Y[i] are read as the values passed
    // in, and Longitudes[i], Latitudes[i] are left as they are where the
    // per-point call leaves them). These run TMapping's own transforms, not
    // an override. All arrays must have the same length, else
    // std::invalid_argument; nothing is allocated.
    void GeoToPixel(std::span<const float> Longitudes, std::span<const float> Latitudes, std::span<int32_t> X,
                    std::span<int32_t> Y, std::span<uint8_t> Visible) const;
    void PixelToGeo(std::span<const int32_t> X, std::span<const int32_t> Y, std::span<float> Longitudes,
                    std::span<float> Latitudes, std::span<uint8_t> Converted) const;
    void ProjectPoints(std::span<const float> Longitudes, std::span<const float> Latitudes, std::span<double> FX,
                       std::span<double> FY, std::span<TProjectResult> Results) const;

    // Sine and cosine of CentreLatitude (not the stored ones, which stay 0
    // until SetCentreLatitude runs): the distance limits measure from the
    // centre as GreatCircleDistance does.
    void DistanceSinCos(double& SinCentre, double& CosCentre) const;

    // --- fields, in declared order ---------------------------------------------
    // Settings are written through the setters (Sector and Rotation directly);
    // the derived constants only by the setters and Recalculate.
    float E = 0;             // eccentricity of the Lambert ellipsoid
    float HalfE = 0;         // E / 2
    float RecipNRad = 0;     // 1 / NRad
    float N = 0;             // Lambert cone constant
    float RecipN = 0;        // 1 / N
    float AF = 0;            // Lambert scale, 1.095 F
    float RecipAF = 0;       // 1 / AF
    float NRad = 0;          // N * pi / 180
    float Rho0 = 0;          // Lambert radius of the centre latitude
    float Scale = 0;         // projection scale in normalised image units
    float RecipScale = 0;    // 1 / Scale, kind 9 only
    float SouthEdge = 0;     // CentreLatitude - LatitudeSpan / 2
    float LatitudeSpan = 0;
    float WestEdge = 0;      // CentreLongitude - LongitudeSpan / 2
    float LongitudeSpan = 0;
    int32_t Height = 0;
    float RecipHeight = 0;   // 1 / Height, kept when Height is set to 0
    int32_t Width = 0;
    float RecipWidth = 0;    // 1 / Width, kept when Width is set to 0
    float CentreLongitude = 0;
    float MercatorZoomScale = 0; // kind 6
    float MercatorZoomBase = 0;  // kind 6
    int32_t CentreRow = 0;       // Height div 2
    float CentreLatitude = 0;
    uint8_t Projection = 0;      // 0 to 14
    uint8_t Sector = 0;          // Van der Grinten zoom sector, written directly
    float Rotation = 0;          // degrees, kinds 3, 4, 7, 8, 11, written directly
    float SinCentreLatitude = 0;
    float CosCentreLatitude = 0;
    bool Southern = false;
    float StandardParallel1 = 0;
    float StandardParallel2 = 0;
    float RecipPiScale = 0;      // kind 12
    float PiScale = 0;           // pi * Scale, kind 12
    float OffsetX = 0;           // whole number, reset to 0 by every recalculation
    float PolarOffset = 0;       // kind 9
    float OffsetY = 0;           // whole number, kept

protected:
    void Recalculate();

private:
    // Sine and cosine of CentreLatitude itself, for the distance limits (the
    // stored ones stay 0 until SetCentreLatitude runs), worked out by
    // Recalculate for the centre latitude kept beside them.
    double LimitSinCentre_ = 0, LimitCosCentre_ = 1;
    float LimitCentre_ = 0;

    void RecalculateLambert();
};
