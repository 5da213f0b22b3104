// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every projection family, for the code that dispatches over the kinds: the
// per-point transforms (Mapping.cpp) and each instruction set's kernels
// (Simd*.cpp).
#include "mapping/Azimuthal.h"
#include "mapping/Cylindrical.h"
#include "mapping/GreatCircle.h"
#include "mapping/LambertConic.h"
#include "mapping/Mercator.h"
#include "mapping/PolarStereographic.h"
#include "mapping/VanDerGrinten.h"
