// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folder pattern a file is filed into (rename --into, watch --into):
// folders separated by '/', each built from literal text and the fields of
// the file's header:
//   {yyyy} year, {mm} month, {dd} day, {doy} day of the year (001..366),
//   {hh} hour of the acquisition time, {satellite} the satellite's prefix
//   letters as the standard name has them ("M" when it has none, the
//   Meteosat default), {format} the transmission-format letters.
// Refused: an unknown or unclosed field, a stray brace, a control character
// or a backslash, an absolute pattern, an empty folder ("a//b", a trailing
// '/') and a folder "." or "..". Only the header decides where a file goes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Exceptions.h"
#include "runtime/SysUtils.h"

// A pattern that cannot be used: the message says which part and why.
QUILLON_EXCEPTION(EFilingPatternError, Exception);

// What a pattern's fields are filled from.
struct TFilingFields {
    TDateTime AcquisitionTime = 0;
    uint8_t SatelliteCode = 0;
    std::string ImageFormat;  // the transmission-format letters
};

class TFilingPattern {
public:
    // Raises EFilingPatternError for a pattern that is refused (see above).
    static TFilingPattern Parse(std::string_view Text);

    // The folder path (relative, '/' between folders, no trailing '/') for a
    // file with these fields. Raises EFilingPatternError when a field gives a
    // folder name that cannot be used (empty, "." or "..", or holding '/').
    std::string Expand(const TFilingFields& Fields) const;

    const std::string& Text() const { return text_; }

private:
    enum class TPart { Literal, Year, Month, Day, DayOfYear, Hour, Satellite, Format };
    struct TPiece {
        TPart Part = TPart::Literal;
        std::string Literal;
    };
    std::string text_;
    std::vector<std::vector<TPiece>> folders_;
};

// The satellite prefix letter the standard name carries for SatelliteCode
// (4 "I", 7 "E", 8 "W", 9 "J"); "M" for a satellite whose names carry none.
std::string SatellitePrefixOf(uint8_t SatelliteCode);
