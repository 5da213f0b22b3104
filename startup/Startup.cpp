// SPDX-License-Identifier: GPL-3.0-or-later
#include "startup/Startup.h"

#include "about/VersionInfo.h"
#include "components/RegistryVariables.h"
#include "graphics/ExtBitmap.h"
#include "graphics/PngImage.h"
#include "graphics/Gif.h"
#include "mapping/DegreeSign.h"
#include "satellite/Calibration.h"
#include "mapping/PredefinedMaps.h"

// Each unit that does work at start-up exposes an Initialize<Unit> and, where it
// holds something until exit, a Finalize<Unit>. They run here, in this order:
//   1. degree sign for map labels          (mapping/DegreeSign)
//   2. registry company and root key       (components/RegistryVariables)
//   3. temperature calibration tables      (satellite/Calibration)
//   4. the four predefined map projections (mapping/PredefinedMaps)
//   5. picture formats: GIF, PNG, BMP loader (graphics/)
//   6. version reader caption tables       (about/VersionInfo)
// and the finalisations in reverse.

namespace {
bool initialized = false;
}

void InitializeUnits()
{
    if (initialized)
        return;
    initialized = true;
    // 1. degree sign
    InitializeUtils();
    // 2. registry keys
    InitializeRegistryVariables();
    // 3. calibration tables
    InitializeCalibration();
    // 4. predefined maps
    InitializeSegmentStuff();
    // 5. picture formats
    InitializeGIFImage(); InitializePngImage(); InitializeBMPExtImage();
    // 6. version captions
    InitializeGVersInfo();
}

void FinalizeUnits()
{
    if (!initialized)
        return;
    initialized = false;
    // 6 .. 1 in reverse
    FinalizeGVersInfo(); // 6. version captions
    FinalizePngImage(); FinalizeGIFImage(); // 5. picture formats (the BMP loader stays)
    FinalizeSegmentStuff(); // 4. predefined maps
    FinalizeRegistryVariables(); // 2. registry keys
    FinalizeUtils(); // 1. degree sign
}
