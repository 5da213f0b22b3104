// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Temperature calibration tables: 256 kelvin values per table, indexed by the
// 8-bit display value (entry 0 = highest instrument count, warmest; entry 255 =
// count 0). An entry a formula cannot give is 0.0. Filled once by
// InitializeCalibration at start-up and constant afterwards.
#include <array>
#include <string>
#include <vector>

using TTemperatureTable = std::array<float, 256>;

// MSG SEVIRI thermal channels by decreasing wavenumber: IR 3.9, WV 6.2,
// WV 7.3, IR 8.7, IR 9.7, IR 10.8, IR 12.0, IR 13.4.
extern std::array<TTemperatureTable, 8> MsgChannelTemps;
// Meteosat count-to-temperature tables (logarithmic formula).
extern std::array<TTemperatureTable, 6> MeteosatCountTemps;
// Linear scale from 160 K.
extern TTemperatureTable LinearTemps;
// 64-level step lists, each value held for four display values.
extern TTemperatureTable StepTemps1;
extern TTemperatureTable StepTemps2;

extern const std::array<const char*, 12> CalibrationNames;

// The temperature tables side by side as one table of kelvin by display value,
// in this order: msg0 ... msg7, meteosat0 ... meteosat5, linear, step1, step2.
struct TCalibrationColumn {
    std::string Heading;
    const TTemperatureTable* Table;
};
std::vector<TCalibrationColumn> KelvinTableColumns();

// Computes every table; calling it again recomputes the same values.
void InitializeCalibration();
