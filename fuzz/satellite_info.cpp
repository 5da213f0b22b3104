// SPDX-License-Identifier: GPL-3.0-or-later
// Drives ReadSatelliteFileInfo over the input bytes held in memory, under
// every extension it tells apart; for .hdf, whose contents are never read,
// the first bytes of the input become the file name instead.
#include <cstdint>
#include <string>

#include "runtime/Classes.h"
#include "runtime/Exceptions.h"
#include "runtime/SysUtils.h"
#include "satellite/SatelliteSource.h"
#include "satellite/SatelliteInfo.h"

namespace {

void Identify(const std::string& name, const uint8_t* data, size_t size)
{
    TSatelliteMemorySource source(name, data, size);
    uint8_t code = 0;
    TStringList report;
    TDateTime time = 0;
    std::string standardName, format;
    try {
        ReadSatelliteFileInfo(source, code, &report, time, standardName, format);
    } catch (const Exception&) {
        // Input/output and conversion errors are the documented way out.
        return;
    }
    // A proposed name "yyyy-mm-dd-ss_..." has a half-hour slot of the day
    // (00 to 47) and the date of the acquisition time.
    const bool dated = standardName.size() >= 13 && standardName[4] == '-' && standardName[7] == '-' &&
                       standardName[10] == '-' && standardName[0] != 'y';
    if (dated && (standardName.compare(11, 2, "48") >= 0 || time == 0 ||
                  DateTimeToIso(time).compare(0, 10, standardName, 0, 10) != 0))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const char* const extensions[] = {".mpd", ".hrm", ".rah", ".met", ".pdu", ".open_mtp", ".xyz", ""};
    for (const char* ext : extensions)
        Identify(std::string("/fuzz/input") + ext, data, size);

    // HDF: the name carries the date.
    std::string name = "/fuzz/h";
    for (size_t i = 0; i < size && i < 32; ++i) {
        const char c = static_cast<char>(data[i]);
        name += (c == '/' || c == 0) ? '_' : c;
    }
    Identify(name + ".hdf", data, size);
    return 0;
}
