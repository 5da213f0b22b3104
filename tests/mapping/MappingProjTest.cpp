// SPDX-License-Identifier: GPL-3.0-or-later
// The projection kinds that are standard map projections, checked against
// PROJ on images about 1000 pixels wide: the unrounded pixel lies within
// 0.01 of PROJ's for every point both call visible.
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <proj.h>

#include "mapping/Mapping.h"
#include "mapping/PredefinedMaps.h"

namespace {

constexpr double DegPerRad = 180.0 / M_PI;

struct ProjDeleter {
    void operator()(PJ* p) const { proj_destroy(p); }
};

// How PROJ's plane coordinates become pixels for a case.
enum class PixelRule {
    WidthUnit,   // normalised units of the image width, y up from CentreRow
    HeightUnit,  // kind 9: units of the image height, plus the polar offset
    Cylindrical, // kinds 1, 2, 14: x, y in degrees
    Mercator,    // kind 5: y in degree units of the Mercator ordinate
    ZoomedMercator,
};

struct ProjCase {
    const char* name;
    std::function<void(TMapping&)> configure;
    // PROJ definition, given the configured map (its Scale for the radius).
    std::function<std::string(const TMapping&)> definition;
    PixelRule rule;
    double lonFrom, lonTo, latFrom, latTo, step; // points, relative to the centre for lon
};

void Basic(TMapping& m, int kind, int w, int h, float lon, float lat, float latSpan = 0,
           float lonSpan = 0)
{
    m.SetProjection(static_cast<uint8_t>(kind));
    m.SetHeight(h);
    m.SetWidth(w);
    if (lonSpan != 0)
        m.SetLongitudeSpan(lonSpan);
    if (latSpan != 0)
        m.SetLatitudeSpan(latSpan);
    m.SetCentreLongitude(lon);
    m.SetCentreLatitude(lat);
}

std::string Num(double v)
{
    char b[64];
    std::snprintf(b, sizeof b, "%.17g", v);
    return b;
}

std::string Sphere(const TMapping& m, const char* proj, double radius)
{
    return std::string("+proj=") + proj + " +R=" + Num(radius) + " +lat_0=" + Num(m.CentreLatitude) +
           " +lon_0=" + Num(m.CentreLongitude) + " +over";
}

const double DegreeRadius = DegPerRad; // a sphere whose plane units are degrees

const std::vector<ProjCase>& Cases()
{
    static const std::vector<ProjCase> cases = {
        {"kind1_eqc", [](TMapping& m) { Basic(m, 1, 1000, 500, 0, 0); },
         [](const TMapping&) { return "+proj=eqc +R=" + Num(DegreeRadius); }, PixelRule::Cylindrical,
         -179, 179, -89, 89, 7},
        {"kind2_eqc_zoomed", [](TMapping& m) { Basic(m, 2, 1000, 600, 20, 45, 30, 50); },
         [](const TMapping& m) { return "+proj=eqc +R=" + Num(DegreeRadius) + " +lon_0=" + Num(m.CentreLongitude); },
         PixelRule::Cylindrical, -25, 25, 30, 60, 2.5},
        {"kind14_linear", [](TMapping& m) { Basic(m, 14, 1024, 800, -100, -10, 60, 80); },
         [](const TMapping& m) { return "+proj=eqc +R=" + Num(DegreeRadius) + " +lon_0=" + Num(m.CentreLongitude); },
         PixelRule::Cylindrical, -40, 40, -40, 20, 4},
        {"kind5_merc", [](TMapping& m) { Basic(m, 5, 1000, 1000, 0, 0); },
         [](const TMapping&) { return "+proj=merc +R=" + Num(DegreeRadius); }, PixelRule::Mercator,
         -179, 179, -80, 80, 8},
        {"kind6_merc_zoomed", [](TMapping& m) { Basic(m, 6, 1000, 800, 10, 50, 40, 60); },
         [](const TMapping& m) { return "+proj=merc +R=" + Num(DegreeRadius) + " +lon_0=" + Num(m.CentreLongitude); },
         PixelRule::ZoomedMercator, -29, 29, 31, 69, 2},
        {"kind3_aeqd", [](TMapping& m) { Basic(m, 3, 1000, 1000, 30, 40); },
         [](const TMapping& m) { return Sphere(m, "aeqd", m.Scale); }, PixelRule::WidthUnit,
         -100, 100, -60, 89, 7},
        {"kind4_aeqd_wide", [](TMapping& m) { Basic(m, 4, 1000, 800, -60, -20, 90); },
         [](const TMapping& m) { return Sphere(m, "aeqd", m.Scale); }, PixelRule::WidthUnit,
         -90, 90, -80, 60, 6},
        {"kind13_aeqd_unlimited", [](TMapping& m) { Basic(m, 13, 1000, 700, 100, 10, 120); },
         [](const TMapping& m) { return Sphere(m, "aeqd", m.Scale); }, PixelRule::WidthUnit,
         -175, 175, -85, 85, 10},
        {"kind7_ortho", [](TMapping& m) { Basic(m, 7, 1000, 1000, -20, 50, 60); },
         [](const TMapping& m) { return Sphere(m, "ortho", m.Scale); }, PixelRule::WidthUnit,
         -50, 50, 10, 89, 4},
        {"kind8_cassini", [](TMapping& m) { Basic(m, 8, 1000, 1000, 45, 0, 80); },
         [](const TMapping& m) { return Sphere(m, "cass", m.Scale); }, PixelRule::WidthUnit,
         -59, 59, -59, 59, 4},
        {"kind9_polar_north", [](TMapping& m) { Basic(m, 9, 1000, 900, -45, 90, 100); },
         [](const TMapping& m) {
             return "+proj=stere +lat_0=90 +k_0=1 +R=" + Num(m.Scale / 2.0) + " +lon_0=" + Num(m.CentreLongitude);
         },
         PixelRule::HeightUnit, -180, 180, 20, 89, 9},
        {"kind9_polar_south", [](TMapping& m) { Basic(m, 9, 1000, 1000, 60, -70, 40); },
         [](const TMapping& m) {
             return "+proj=stere +lat_0=-90 +k_0=1 +R=" + Num(m.Scale / 2.0) + " +lon_0=" + Num(m.CentreLongitude);
         },
         PixelRule::HeightUnit, -180, 180, -89, -40, 9},
        {"kind9_predefined3", [](TMapping& m) { ConfigurePredefinedMap(m, 3); },
         [](const TMapping& m) {
             return "+proj=stere +lat_0=90 +k_0=1 +R=" + Num(m.Scale / 2.0) + " +lon_0=" + Num(m.CentreLongitude);
         },
         PixelRule::HeightUnit, -40, 40, 10, 70, 5},
        {"kind11_gnomonic", [](TMapping& m) { Basic(m, 11, 1000, 800, 140, 35, 50); },
         [](const TMapping& m) { return Sphere(m, "gnom", m.Scale); }, PixelRule::WidthUnit,
         -70, 70, -30, 85, 5},
        {"kind12_vandergrinten", [](TMapping& m) { Basic(m, 12, 1000, 1000, 10, 0); },
         [](const TMapping& m) { return "+proj=vandg +R=" + Num(m.Scale) + " +lon_0=" + Num(m.CentreLongitude) + " +over"; },
         PixelRule::WidthUnit, -175, 175, -85, 85, 5},
        // Lambert: the standard parallels enter PROJ as their colatitudes.
        {"kind10_lambert_predefined1", [](TMapping& m) { ConfigurePredefinedMap(m, 1); },
         [](const TMapping& m) {
             return "+proj=lcc +a=1.095 +es=" + Num(static_cast<double>(0.006694318f)) +
                    " +lat_1=" + Num(90.0 - m.StandardParallel1) + " +lat_2=" + Num(90.0 - m.StandardParallel2) +
                    " +lat_0=" + Num(m.CentreLatitude) + " +lon_0=" + Num(m.CentreLongitude);
         },
         PixelRule::WidthUnit, -40, 40, 0, 60, 4},
        {"kind10_lambert_custom", [](TMapping& m) {
             Basic(m, 10, 1000, 1000, -95, 40);
             m.SetStandardParallel1(60);
             m.SetStandardParallel2(30);
         },
         [](const TMapping& m) {
             return "+proj=lcc +a=1.095 +es=" + Num(static_cast<double>(0.006694318f)) +
                    " +lat_1=" + Num(90.0 - m.StandardParallel1) + " +lat_2=" + Num(90.0 - m.StandardParallel2) +
                    " +lat_0=" + Num(m.CentreLatitude) + " +lon_0=" + Num(m.CentreLongitude);
         },
         PixelRule::WidthUnit, -40, 40, 10, 70, 4},
    };
    return cases;
}

void PrintTo(const ProjCase& c, std::ostream* os) { *os << c.name; }

class ProjReference : public ::testing::TestWithParam<ProjCase> {
protected:
    void SetUp() override { ctx_ = proj_context_create(); }
    void TearDown() override { proj_context_destroy(ctx_); }
    PJ_CONTEXT* ctx_ = nullptr;
};

TEST_P(ProjReference, UnroundedPixelWithinOneHundredthOfProj)
{
    const ProjCase& c = GetParam();
    TMapping m;
    c.configure(m);
    std::string def = c.definition(m);
    std::unique_ptr<PJ, ProjDeleter> pj(proj_create(ctx_, def.c_str()));
    ASSERT_TRUE(pj) << def;

    auto forward = [&](double lon, double lat, double& x, double& y) {
        PJ_COORD in = proj_coord(proj_torad(lon), proj_torad(lat), 0, 0);
        proj_errno_reset(pj.get());
        PJ_COORD out = proj_trans(pj.get(), PJ_FWD, in);
        x = out.xy.x;
        y = out.xy.y;
        return proj_errno(pj.get()) == 0 && std::isfinite(x) && std::isfinite(y);
    };

    // The zoomed Mercator's vertical scale comes from the span's ordinates.
    double zoomScale = 0, zoomBase = 0;
    if (c.rule == PixelRule::ZoomedMercator) {
        double x, yT, yB, yC;
        double top = m.CentreLatitude + m.LatitudeSpan / 2.0, bottom = m.CentreLatitude - m.LatitudeSpan / 2.0;
        ASSERT_TRUE(forward(m.CentreLongitude, top, x, yT));
        ASSERT_TRUE(forward(m.CentreLongitude, bottom, x, yB));
        ASSERT_TRUE(forward(m.CentreLongitude, m.CentreLatitude, x, yC));
        zoomScale = (yT - yB) / (top - bottom);
        zoomBase = yC - 0.5 * zoomScale * m.LatitudeSpan;
    }

    const double W = m.Width, H = m.Height;
    int compared = 0;
    for (double lat = c.latFrom; lat <= c.latTo + 1e-9; lat += c.step) {
        for (double dl = c.lonFrom; dl <= c.lonTo + 1e-9; dl += c.step) {
            double lon = (c.rule == PixelRule::Cylindrical && c.lonFrom < -170) ? dl : m.CentreLongitude + dl;
            if (c.rule == PixelRule::Mercator)
                lon = dl;
            double fx, fy;
            TMapping::TProjectResult r = m.ProjectPoint(static_cast<float>(lon), static_cast<float>(lat), fx, fy);
            if (r != TMapping::prComputed)
                continue;
            // Points thrown far off the image (gnomonic near its horizon) are
            // left out: there the single-precision constants alone move the
            // pixel by more than 0.01.
            if (std::fabs(fx - W / 2) > 1.5 * W || std::fabs(fy - H / 2) > 1.5 * H)
                continue;
            // Use the single-precision point the map saw.
            double x, y;
            if (!forward(static_cast<float>(lon), static_cast<float>(lat), x, y))
                continue;
            double ex, ey;
            switch (c.rule) {
            case PixelRule::WidthUnit:
                ex = (0.5 + x) * W;
                ey = m.CentreRow - W * y;
                break;
            case PixelRule::HeightUnit:
                y += m.Southern ? -m.PolarOffset : m.PolarOffset;
                ex = H * x + 0.5 * W;
                ey = m.CentreRow - H * y;
                break;
            case PixelRule::Cylindrical:
                if (m.Projection == 1) {
                    ex = W * (x + 180) / 360;
                    ey = (1 - (y + 90) / 180) * H;
                } else {
                    ex = (x + m.LongitudeSpan / 2.0) * W / m.LongitudeSpan;
                    ey = (1 - (y - m.SouthEdge) / m.LatitudeSpan) * H;
                }
                break;
            case PixelRule::Mercator:
                ex = W * (x + 180) / 360;
                ey = m.CentreRow - W * y / 360;
                break;
            case PixelRule::ZoomedMercator:
                ex = W * (x + m.LongitudeSpan / 2.0) / m.LongitudeSpan;
                ey = H * (1 - (y - zoomBase) / zoomScale / m.LatitudeSpan);
                break;
            }
            EXPECT_NEAR(fx, ex, 0.01) << c.name << " lon " << lon << " lat " << lat;
            EXPECT_NEAR(fy, ey, 0.01) << c.name << " lon " << lon << " lat " << lat;
            ++compared;
        }
    }
    EXPECT_GT(compared, 40) << "too few points compared for " << c.name;
}

INSTANTIATE_TEST_SUITE_P(Kinds, ProjReference, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<ProjCase>& info) { return std::string(info.param.name); });

} // namespace
