// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the header reader says about one file, as one value: the results, the
// report lines and, instead of an exception, whether the file could be read
// and why not. quillon-cli info prints it; any other caller that identifies
// files one by one gets the same answer from it.
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/Classes.h"
#include "runtime/SysUtils.h"

struct TSatelliteFileReport {
    std::string File;
    bool Ok = true;            // false: the file could not be read (Error says why)
    std::string Error;
    uint8_t SatelliteCode = 0; // index into SatelliteNames
    TStringList Report;        // the reader's report entries
    TDateTime AcquisitionTime = 0.0;
    std::string StandardName;
    std::string ImageFormat;

    bool HasAcquisitionTime() const { return AcquisitionTime != 0.0; }
};

// Reads the header of FileName (ReadSatelliteFileInfo, report included). A
// missing file gives blank results and Ok; any failure to read gives Ok false
// and the exception's message, with the results found before it.
TSatelliteFileReport IdentifySatelliteFile(const std::string& FileName);

// The report entries as text lines: an entry holding several CR LF-ended lines
// (the header's descriptive text) gives each of them; an empty entry gives one
// empty line.
std::vector<std::string> ReportTextLines(const TStringList& Report);
