// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The four predefined maps of unit SegmentStuff: created and configured at
// start-up (step 4), held for the life of the process, freed at shutdown.
#include "mapping/Mapping.h"

// Creates and configures the four maps; a second call does nothing.
void InitializeSegmentStuff();
// Frees them; GetPredefinedMap returns nullptr afterwards.
void FinalizeSegmentStuff();

// Map Index (1 to 4) as start-up built it, or nullptr outside 1..4 or when
// the unit is not initialised.
TMapping* GetPredefinedMap(int Index);

// Configures Map exactly as start-up configures predefined map Index (1 to
// 4), by the same calls in the same order. False for another index.
bool ConfigurePredefinedMap(TMapping& Map, int Index);
