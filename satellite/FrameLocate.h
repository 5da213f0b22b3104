// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Framed satellite files (MPD, HRM, RAH) are a sequence of fixed-size frames:
// a short frame header with sync bytes, then 360 payload bytes. The image
// header rides in header frames repeated every 4 or 8 frames and its text
// block runs over four frames. LocateHeaderFrame finds a trustworthy copy of
// the header frame; RemoveFrameHeaders cuts the embedded frame headers out of
// the text block.
#include <cstdint>

#include "runtime/BinaryFile.h"
#include "runtime/Classes.h"
#include "satellite/SatelliteSource.h"

struct TFrameLayout {
    int FrameSize;     // 364 short, 371 long
    int HeaderLength;  // 4 short, 11 long
    int SyncOffset;    // first of the three sync bytes 05 0C DF: 0 short, 7 long
    int TypeOffset;    // frame type byte: 3 short, 10 long
    int SearchStart;   // file offset of the first frame: 0 short, 34 long
};
constexpr TFrameLayout ShortFrameLayout{364, 4, 0, 3, 0};   // MPD, HRM
constexpr TFrameLayout LongFrameLayout{371, 11, 7, 10, 34}; // RAH (HRI)

constexpr int FramePayloadSize = 360;
constexpr int FrameCompareSize = 200;   // bytes compared between header copies
constexpr uint8_t FrameSync[3] = {0x05, 0x0C, 0xDF};

// Positions File at the first payload byte of the chosen header frame: the
// third of three consecutive copies (at the stride of the first header frame's
// type, '0' every 4 frames, 'p' every 8) whose first 200 bytes agree, or the
// last copy read when none agreed after 60/30 tries; in that case adds
// "Bad header, no matches after N frames" to Report. A file that ends before
// a header frame or before a copy raises EInOutError naming the file. The
// search for the first header frame runs to the end of the file, however
// large; a stop request (or the source's cancel flag) ends it with EAbort
// within about a megabyte of reading.
void LocateHeaderFrame(TSatelliteSource& Source, const TFrameLayout& Layout, TStringList& Report);
// Report may be null when no report line is wanted.
void LocateHeaderFrame(TSatelliteSource& Source, const TFrameLayout& Layout, TStringList* Report);
void LocateHeaderFrame(TBinaryFile& File, const TFrameLayout& Layout, TStringList& Report);

// Block holds 1360 + 3 * HeaderLength bytes read from offset 80 of the header
// frame's payload; afterwards its first 1360 bytes are the text block without
// the three frame headers.
void RemoveFrameHeaders(uint8_t* Block, int HeaderLength);
