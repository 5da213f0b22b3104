// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every projection family, and the kinds' registration: one row per kind,
// its family, for the code that dispatches over the kinds (the per-point and
// array transforms, MappingTransforms.cpp, and each instruction set's
// kernels, Simd*.cpp). What that code reads of a kind besides its family
// comes from the kind's traits (ProjectionKinds.h).
//
// A family is built from the map and writes its formulas in steps (see
// TForwardIO in ProjectionMath.h): TForwardState<V, M>, ForwardSteps and
// ForwardStep<S>, and the same for the inverse. A family of one step is the
// plain per-point form; a kind without an inverse has none of its steps.
#include <cstddef>
#include <cstdint>

#include "mapping/Azimuthal.h"
#include "mapping/Cylindrical.h"
#include "mapping/GreatCircle.h"
#include "mapping/LambertConic.h"
#include "mapping/Mercator.h"
#include "mapping/PolarStereographic.h"
#include "mapping/ProjectionKinds.h"
#include "mapping/VanDerGrinten.h"

namespace projection {

// Kind 0 and unknown kinds: nothing is computed, nothing converts.
struct TNoProjection {
    explicit TNoProjection(const TMapping&) {}

    template <typename V, typename M>
    using TForwardState = TForwardIO<V, M>;
    static constexpr int ForwardSteps = 0;
    template <int Step, typename V, typename M>
    void ForwardStep(TForwardState<V, M>&) const
    {
    }

    template <typename V, typename M>
    using TInverseState = TInverseIO<V, M>;
    static constexpr int InverseSteps = 0;
    template <int Step, typename V, typename M>
    void InverseStep(TInverseState<V, M>&) const
    {
    }
};

template <typename... Families>
struct TFamilyList {};

// The registration, indexed by kind.
using TKindFamilies = TFamilyList<TNoProjection,                         // pkUnknown
                                  TCylindricalFull,                      // pkCylindricalFull
                                  TCylindricalZoomed,                    // pkCylindricalZoomed
                                  TAzimuthal<pkAzimuthalEquidistant>,    // pkAzimuthalEquidistant
                                  TAzimuthal<pkAzimuthalEquidistantWide>, // pkAzimuthalEquidistantWide
                                  TMercatorFull,                         // pkMercatorFull
                                  TMercatorZoomed,                       // pkMercatorZoomed
                                  TAzimuthal<pkOrthographic>,            // pkOrthographic
                                  TAzimuthal<pkLinearisedOrthographic>,  // pkLinearisedOrthographic
                                  TPolarStereographic,                   // pkPolarStereographic
                                  TLambertConic,                         // pkLambertConformalConic
                                  TAzimuthal<pkGnomonic>,                // pkGnomonic
                                  TVanDerGrinten,                        // pkVanDerGrinten
                                  TGreatCircle,                          // pkGreatCircle
                                  TCylindricalZoomed>;                   // pkLinearBased

template <size_t I, typename List>
struct TFamilyAt;
template <size_t I, typename First, typename... Rest>
struct TFamilyAt<I, TFamilyList<First, Rest...>> : TFamilyAt<I - 1, TFamilyList<Rest...>> {};
template <typename First, typename... Rest>
struct TFamilyAt<0, TFamilyList<First, Rest...>> {
    using Type = First;
};

template <typename List>
constexpr size_t FamilyCount = 0;
template <typename... Families>
constexpr size_t FamilyCount<TFamilyList<Families...>> = sizeof...(Families);
static_assert(FamilyCount<TKindFamilies> == ProjectionKindCount, "one family per kind");

// A kind as a compile-time number: its family, its traits and whether it
// has vector kernels.
template <uint8_t K>
struct TKind {
    static constexpr uint8_t Kind = K;
    using Family = typename TFamilyAt<K, TKindFamilies>::Type;
    static constexpr const TKindTraits& Traits = KindTraitTable[K];
    static constexpr bool HasForward = Family::ForwardSteps > 0;
    static constexpr bool HasInverse = Family::InverseSteps > 0;
    static_assert(HasInverse == Traits.HasInverse, "a kind has inverse steps exactly when it has an inverse");
};

// f(TKind<K>{}) for the kind K held in a map's 8-bit field; values from 15
// up are kind 0.
template <typename F>
[[gnu::always_inline]] inline decltype(auto) WithKind(uint8_t kind, F&& f)
{
    static_assert(ProjectionKindCount == 15);
    switch (kind) {
    case pkCylindricalFull: return f(TKind<pkCylindricalFull>{});
    case pkCylindricalZoomed: return f(TKind<pkCylindricalZoomed>{});
    case pkAzimuthalEquidistant: return f(TKind<pkAzimuthalEquidistant>{});
    case pkAzimuthalEquidistantWide: return f(TKind<pkAzimuthalEquidistantWide>{});
    case pkMercatorFull: return f(TKind<pkMercatorFull>{});
    case pkMercatorZoomed: return f(TKind<pkMercatorZoomed>{});
    case pkOrthographic: return f(TKind<pkOrthographic>{});
    case pkLinearisedOrthographic: return f(TKind<pkLinearisedOrthographic>{});
    case pkPolarStereographic: return f(TKind<pkPolarStereographic>{});
    case pkLambertConformalConic: return f(TKind<pkLambertConformalConic>{});
    case pkGnomonic: return f(TKind<pkGnomonic>{});
    case pkVanDerGrinten: return f(TKind<pkVanDerGrinten>{});
    case pkGreatCircle: return f(TKind<pkGreatCircle>{});
    case pkLinearBased: return f(TKind<pkLinearBased>{});
    default: return f(TKind<pkUnknown>{});
    }
}

} // namespace projection
