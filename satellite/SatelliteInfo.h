// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Identifying a satellite image file from its own header and proposing its
// standard name (date, half-hour slot, satellite prefix, transmission-format
// letters, for example 2005-03-15-25_AIVH).
//
// Formats, chosen by extension (case-insensitive): Timestep MPD and Orbit/SSB
// HRM (framed, 364-byte frames), Tarnwick HRI .RAH (framed, 371-byte frames),
// Merrow MET and any other extension (unframed Meteosat-type header at offset
// 0), Dundee PDUS (.PDU), OPEN MTP (.OPEN_MTP) and FY-2C HDF (.HDF, named from
// the file name only).
#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/ByteOrder.h"
#include "runtime/Classes.h"
#include "runtime/SysUtils.h"
#include "satellite/SatelliteSource.h"

// Display names indexed by SatelliteCode (0 = unknown, an empty string).
extern const std::array<const char*, 17> SatelliteNames;
// The display name of SatelliteCode; empty for 0 and for a code past the table.
std::string_view SatelliteName(uint8_t Code);

// Reads the header of FileName and delivers what it says.
//  - SatelliteCode: index into SatelliteNames (0..10, or 13 for HDF).
//  - Report: when non-null, its contents are replaced by the report lines at
//    the end of every call that opened the file and did not fail; it is left
//    untouched for HDF files, missing files and failures.
//  - AcquisitionTime: 0.0 when no time could be determined.
//  - StandardName: written only where a name is proposed (HDF, Meteosat-type
//    headers); otherwise it keeps the caller's value.
//  - ImageFormat: transmission-format letters (Meteosat-type), image type plus
//    transmission format (PDUS), "FY2C-IVW" (HDF), else empty.
// A missing file returns quietly. A file that cannot be opened, a fixed-size
// read that falls short, or an impossible PDUS date or HDF name field raises
// EInOutError or EConvertError naming the file; the file is always closed.
// A framed file with no header frame is searched to its end, however large;
// a stop request (RequestStop) ends that search with EAbort naming the file.
void ReadSatelliteFileInfo(const std::string& FileName, uint8_t& SatelliteCode, TStringList* Report,
                           TDateTime& AcquisitionTime, std::string& StandardName, std::string& ImageFormat);
// The same, with a flag that also ends the search with EAbort once set (a
// scan cancels the headers it has read ahead and no longer needs).
void ReadSatelliteFileInfo(const std::string& FileName, const std::atomic<bool>* Cancel, uint8_t& SatelliteCode,
                           TStringList* Report, TDateTime& AcquisitionTime, std::string& StandardName,
                           std::string& ImageFormat);
// The same on the bytes of a source, read from its start: Source.FileName()
// chooses the format and names the file in the report and the messages, as
// the file name does above (HDF files are named from it alone). Results,
// report and exceptions are those of a file holding the same bytes.
void ReadSatelliteFileInfo(TSatelliteSource& Source, uint8_t& SatelliteCode, TStringList* Report, TDateTime& AcquisitionTime,
                           std::string& StandardName, std::string& ImageFormat);

// "M2" 1, "P2" 2, "M3" 2, "M4" 3, "M5" 4, "M6" 5, "M7" 6, anything else 0.
uint8_t SatelliteCodeFromId(std::string_view Id);

// Calibration digits of a header text block (at least 72 bytes): IR gain x 100000
// at 51 (5 digits), IR space count x 10 at 56 (3), WV gain at 64 (5), WV space
// count at 69 (3). All four are kept only when every field converts and lies in
// its plausible range; otherwise all four are 0.
void ParseCalibrationText(std::string_view Block, float& IrGain, float& IrSpace, float& WvGain, float& WvSpace);

// Size of the OPEN MTP header record and its file offset.
constexpr size_t OpenMtpRecordSize = 139;
constexpr int64_t OpenMtpRecordOffset = 1345;

// Decodes a 139-byte OPEN MTP header record. Gain and SpaceCount are 0 when
// their digits do not convert; AcquisitionTime is left as it was when the date
// cannot be formed. ChannelNumber/ChannelLetter are left as they were for a
// channel outside 1..7.
void ReadOpenMtpHeader(const uint8_t* Record, std::string& RawId, uint8_t& SatelliteCode, int32_t& ChannelNumber,
                       std::string& ChannelLetter, int32_t& Line1, int32_t& Pixel1, int32_t& Lines, int32_t& Pixels,
                       float& Gain, float& SpaceCount, TDateTime& AcquisitionTime);

// Exchanges the two bytes of each of six consecutive 16-bit words in place.
void SwapSixWords(uint8_t* Words);
