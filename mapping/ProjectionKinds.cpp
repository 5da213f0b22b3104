// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapping/ProjectionKinds.h"

#include <array>

namespace {

using G = TGridRange;
using M = TMeridianLabel;
using P = TParallelLabel;

// Kind, default scale, limit, inverse, true, rotates, straight, inside only, grid range, meridian label, parallel label.
constexpr std::array<TKindTraits, ProjectionKindCount> Traits = {{
    {pkUnknown, 0, 0, false, false, false, false, false, G::Globe, M::BottomAtEquator, P::None},
    {pkCylindricalFull, 0, 0, true, true, false, true, false, G::Globe, M::BottomAtEquator, P::LeftEdge},
    {pkCylindricalZoomed, 0, 0, true, true, false, true, false, G::Span, M::BottomAtEquator, P::LeftEdge},
    {pkAzimuthalEquidistant, 0.75f, 12000, true, true, true, false, false, G::WholeSphere, M::AtCentreLatitude, P::CentralMeridian},
    {pkAzimuthalEquidistantWide, 0.4f, 12000, true, true, true, false, false, G::WholeSphere, M::AtCentreLatitude, P::CentralMeridian},
    {pkMercatorFull, 0, 0, true, true, false, true, false, G::Globe, M::BottomAtEquator, P::LeftEdge},
    {pkMercatorZoomed, 0, 0, true, true, false, true, true, G::Span, M::BottomAtEquator, P::LeftEdge},
    {pkOrthographic, 0.8f, 6300, true, true, true, false, false, G::WholeSphere, M::AtCentreLatitude, P::CentralMeridian},
    {pkLinearisedOrthographic, 0.8f, 6300, false, false, true, false, false, G::WholeSphere, M::AtCentreLatitude, P::CentralMeridian},
    {pkPolarStereographic, 1.7f, 0, true, true, false, false, false, G::Globe, M::AtExactCentre, P::CentralMeridian},
    {pkLambertConformalConic, 0, 10000, true, true, false, false, false, G::Globe, M::FirstVisibleOnCone, P::FirstVisibleOnCone},
    {pkGnomonic, 0.4f, 12000, true, true, true, false, false, G::WholeSphere, M::AtCentreLatitude, P::CentralMeridian},
    {pkVanDerGrinten, 0, 0, true, true, false, false, false, G::AroundCentre, M::BelowEquator, P::None},
    {pkGreatCircle, 0.2f, 0, true, true, false, false, false, G::Globe, M::AtCentreLatitude, P::CentralMeridian},
    {pkLinearBased, 0, 0, true, false, false, false, false, G::Span, M::AtCentreLatitudeOnCanvas, P::None},
}};

static_assert([] {
    for (size_t k = 0; k < Traits.size(); ++k)
        if (Traits[k].Kind != k)
            return false;
    return true;
}());

} // namespace

const TKindTraits& KindTraits(uint8_t Kind) { return Traits[Kind < Traits.size() ? Kind : 0]; }
