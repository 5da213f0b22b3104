// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The values people type to query the catalogue: times, satellites, slot
// lengths. Each parser takes any text and either delivers a value or says
// what is wrong with it.
#include <cstdint>
#include <string>
#include <string_view>

// An ISO 8601 UTC time: "YYYY-MM-DD", "YYYY-MM-DDTHH:MM" or
// "YYYY-MM-DDTHH:MM:SS" (a space may stand for the T, a final Z is allowed),
// years 1900 to 2999. Seconds is the start of the time given; with
// AsEnd it is the first second after what the text names (the day after a
// date, the second after a time), so a range "--from A --to B" takes in all
// of B. False with Error set on anything else.
bool ParseCatalogTime(std::string_view Text, bool AsEnd, int64_t& Seconds, std::string& Error);

// A satellite by code (0..16) or by name without regard to case, spaces and
// punctuation ("met7", "MET-7", "mtsat-1r (met-7)"); a name's unambiguous
// beginning will do ("goes-e"). False with Error set otherwise.
bool ParseSatellite(std::string_view Text, int& Code, std::string& Error);

// Transmission-format letters as the headers give them (A, X or B, then I,
// W, V, H): 1 to 8 letters, upper case; lower case is raised.
bool ParseImageFormat(std::string_view Text, std::string& Letters, std::string& Error);

// UTC seconds since 1970 as "YYYY-MM-DDTHH:MM:SS".
std::string IsoFromSeconds(int64_t Seconds);
// Seconds since 1970 of a TDateTime (days since 1899-12-30), to the nearest second.
int64_t SecondsFromDateTime(double Value);
