// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Builder of sample satellite image files, byte for byte from field values:
// framed MPD/HRM/RAH files (header frame copies at their stride, the header
// text block spread over four frames, deliberately disagreeing copies,
// truncation) and unframed MET, PDUS and OPEN MTP files. Used by the tests, the
// fuzz seeds, the benchmarks and `quillon-cli sample`.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/SysUtils.h"
#include "satellite/FrameLocate.h"

using TByteVector = std::vector<uint8_t>;

// The fields of a Meteosat-type header (format block, identification block and
// the 1360-byte header text block).
struct TSampleHeader {
    // Format block bytes 12..16: first letter (0x00 A, 0x0F X, 0xFF B), the two
    // visible flags, the infrared flag and the water-vapour flag.
    uint8_t FirstLetter = 0x00;
    uint8_t Visible1 = 0x01;
    uint8_t Visible2 = 0x00;
    uint8_t Infrared = 0xFF;
    uint8_t WaterVapour = 0x00;
    // Identification block words.
    uint16_t SatelliteWord = 0xD4F7; // 0xD4F5 code 4, 0xD4F7 code 6, 0/1/2 codes 7/8/9
    uint16_t Year = 2005;
    uint16_t DayOfYear = 74;
    uint16_t Time = 1230;            // hhmm
    // Calibration digits of the text block; written as given (padded with
    // blanks or cut to 5/3/5/3 characters).
    std::string IrGain = "08000";    // 0.08000
    std::string IrSpace = "050";     // 5.0
    std::string WvGain = "01000";    // 0.01000
    std::string WvSpace = "060";     // 6.0
    // Descriptive text at offset 560 of the text block (at most 800 bytes, the
    // rest blank-filled with zero bytes).
    std::string Description = "Meteosat sample image\r\nQuillon file builder\r\n";
    // A byte of the format block that no decoder reads (offset 0); the framed
    // builder varies it to make copies disagree.
    uint8_t Spare = 0x00;
};

// The worked example: MET-7, AIVH, 2005-03-15 12:30 -> 2005-03-15-25_AIVH.
TSampleHeader WorkedExampleHeader();

// Sets the five format flag bytes so that the decoder produces Letters, which
// must be one of the producible sets: "" or a first letter A/X/B followed by
// any of I, W, V in that order, with H after V (AIVH, XVH...). EConvertError
// for anything else.
void SetFormatLetters(TSampleHeader& Header, std::string_view Letters);
// A header for satellite word, letters ("AIVH", "BIV"...) and date/time (the
// time is rounded down to whole minutes).
TSampleHeader MakeSampleHeader(uint16_t SatelliteWord, std::string_view Letters, TDateTime When);

// The 1440 logical header bytes: 24 format, 8 gap, 32 identification,
// 16 gap, 1360 text block.
constexpr size_t HeaderTextOffset = 80;
constexpr size_t HeaderTextSize = 1360;
constexpr size_t LogicalHeaderSize = HeaderTextOffset + HeaderTextSize;
TByteVector BuildLogicalHeader(const TSampleHeader& Header);

struct TFramedOptions {
    char FrameType = '0';        // '0': copies every 4 frames, 'p': every 8
    int FirstHeaderFrame = 0;    // frame index of the first header copy
    int Copies = 3;              // header copies written at the stride
    // Every copy gets its own Spare byte, so no three copies ever agree.
    // Copies is then raised to what the search reads before giving up
    // (63 for '0', 33 for 'p'), so the file is complete.
    bool NeverAgree = false;
    // Copy indexes (0-based) whose Spare byte is altered.
    std::vector<int> AlteredCopies;
    int ExtraFrames = 0;         // image frames appended after the last header block
    // Byte offset inside the file of every frame start is SearchStart +
    // k * FrameSize; MisalignBy shifts the whole frame sequence by that many
    // bytes (preceding it with filler), so the header is never found.
    int MisalignBy = 0;
    int64_t TruncateAt = -1;     // cut the file to this many bytes (-1: no cut)
};

// A framed file: frames before the first copy and between copies are image
// frames (sync bytes, type '1'); each header copy is a header frame followed by
// three continuation frames carrying the rest of the text block.
TByteVector BuildFramedFile(const TSampleHeader& Header, const TFramedOptions& Options = {},
                            const TFrameLayout& Layout = ShortFrameLayout);
// A MET file (or any unframed extension): the logical header as it stands.
TByteVector BuildMetFile(const TSampleHeader& Header);

struct TPdusFields {
    std::string SatelliteName = "MET7";   // up to 6 characters (NUL-padded)
    std::string ImageType = "IR";
    std::string TransmissionFormat = "B1";
    uint16_t Year = 2004, Month = 3, Day = 7, Hour = 11, Minute = 30, Second = 0;
    TSampleHeader Text;                   // only its text block fields are used
};
// 256-byte PDUS header, filler up to 336, then the 1360-byte text block.
TByteVector BuildPdusFile(const TPdusFields& Fields);

struct TOpenMtpFields {
    int32_t Year = 2006, DayOfYear = 5, Slot = 28;   // slot 28 = 13:30
    std::string SatelliteId = "M7";
    int32_t Channel = 4;
    std::string Gain = "08000";
    std::string SpaceCount = "050";
    int32_t Line1 = 1, Pixel1 = 1, Lines = 2500, Pixels = 2500;
};
// Filler up to offset 1345, then the 139-byte record.
TByteVector BuildOpenMtpFile(const TOpenMtpFields& Fields);

// Writes Bytes to FileName (replacing it); EInOutError on failure.
void WriteFileBytes(const std::string& FileName, const TByteVector& Bytes);
// Writes Bytes to FileName only when no entry of that name exists: the file is
// created exclusively and a symbolic link is never followed. False, touching
// nothing, when the name is taken; EInOutError on any other failure (a file
// it created is then removed again).
bool WriteNewFileBytes(const std::string& FileName, const TByteVector& Bytes);

// Writes one framed sample MPD file to FileName from satellite word, letters
// and date/time, with the header copies placed as Options say.
void WriteSampleMpd(const std::string& FileName, uint16_t SatelliteWord, std::string_view Letters, TDateTime When,
                    const TFramedOptions& Options = {});

// One file of a demo folder and what the window is expected to make of it.
struct TDemoFile {
    std::string FileName;        // name without folder
    bool Listed;                 // the window lists it (name >= 5 chars, 5th char not '-', header recognised, time after 1985 and not in the future)
    std::string StandardName;    // the proposed name when Listed, else ""
    bool Written = true;         // false: an entry of that name existed and was left as it was
};
// Writes Count sample MPD files into Folder (created when missing): a spread
// of satellites, dates, slots and letters, a few already standard-named, a few
// the window must leave out (short names, times before 1985 or in the future,
// unrecognised headers); from the ninth file on, one in twelve is from 2024
// and listed. Returns them in writing order. A name already taken in Folder
// (a file, a link, anything) is never replaced nor followed: it is left as it
// is and returned with Written false.
std::vector<TDemoFile> WriteDemoFolder(const std::string& Folder, int Count = 24);

// What WriteArchiveTree wrote.
struct TArchiveTree {
    std::vector<std::string> Files;        // paths of every file written, in writing order
    std::vector<std::string> Unreadable;   // those no header reader can identify
    int MissingSlots = 0;                  // half-hour slots of MET-7 left out on purpose
    int Skipped = 0;                       // names already taken, left as they were
};
// Writes a small station archive of Days days from 2005-03-01 into Folder:
// year/month folders holding MET-7 MPD files every half hour (with runs of
// missing slots: day 2 from 10:00 to 12:59, day 4 from 00:00 to 01:59), MET-5
// MET files every three hours and GOES-E HRM files every six (none on days 11
// to 14), mostly named by
// counters, every tenth MET-7 file already standard-named; a few copies of
// files under other names, a different file proposing the name of an existing
// one, and two files no reader can identify. Days is 1 to 366. A name already
// taken is left as it is (counted in Skipped).
TArchiveTree WriteArchiveTree(const std::string& Folder, int Days);
