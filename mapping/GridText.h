// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The grid drawing in words: the special parallels by name, and a grid
// drawing's canvas calls as trace lines (JSON Lines, one object a call).
#include <array>
#include <string>
#include <string_view>

#include "mapping/Mapping.h"
#include "runtime/RecordingCanvas.h"

// The special parallels' names, indexed by TSpecialParallel: "arctic",
// "cancer", "equator", "capricorn", "antarctic".
extern const std::array<std::string_view, 5> SpecialParallelNames;

// Reads a comma list of special-parallel names into Set ("" is the empty
// set; a name may repeat). False for any other name, an empty one included.
bool ParseSpecialParallels(std::string_view List, TSpecialParallels& Set);

// One recorded canvas call as a JSON object on one line, without the line
// end: {"op": NAME} and the call's values ("value" for a property write,
// "text" and "result" for a measure, "x", "y" and "text" for TextOut,
// "points" for Polyline). Texts are turned from code page 1252 into UTF-8.
std::string GridTraceLine(const TCanvasCall& Call);
