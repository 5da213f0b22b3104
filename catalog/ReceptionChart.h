// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The reception chart: one row per satellite, one column per day, each cell
// shaded by the share of that day's slots that hold a file, with month
// labels and a legend. Drawn on any canvas (the command line draws it on a
// bitmap and saves it as PNG).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalog/CatalogStore.h"
#include "runtime/Graphics.h"

struct TReceptionRow {
    std::string Satellite;
    std::vector<double> Share;   // per day from FirstDay: 0 to 1
};

struct TReceptionData {
    int64_t FirstDay = 0;        // days since 1970-01-01
    int64_t Days = 0;
    int64_t SlotSeconds = 1800;
    std::vector<TReceptionRow> Rows;
};

// The shares from the catalogue: days from the first to the last day with a
// file inside [From, To), slots of SlotSeconds.
TReceptionData GatherReception(ICatalogStore& Store, std::optional<int64_t> From, std::optional<int64_t> To,
                               int64_t SlotSeconds = 1800);

// The cell colour of a share: light grey for none, then pale to dark blue.
TColor ReceptionShade(double Share);

// The picture's size for the data, and the drawing itself onto a canvas of
// that size.
TSize ReceptionChartSize(TCanvas& Canvas, const TReceptionData& Data);
void DrawReceptionChart(TCanvas& Canvas, const TReceptionData& Data);
