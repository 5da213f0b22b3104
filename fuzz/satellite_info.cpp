// Drives ReadSatelliteFileInfo with arbitrary file contents under every
// extension it tells apart. The bytes go to a file in a per-process temporary
// folder; for .hdf, whose contents are never read, the first bytes of the
// input become part of the file name instead.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "runtime/Classes.h"
#include "runtime/Exceptions.h"
#include "satellite/SatelliteInfo.h"

namespace {

// Created on first use and removed at exit; held on the heap so that it
// outlives the exit handler that removes it.
const std::filesystem::path& TempFolder()
{
    static const std::filesystem::path* folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillon-fuzz-satinfo-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        auto* path = new std::filesystem::path(pattern);
        std::atexit([] { std::error_code ec; std::filesystem::remove_all(TempFolder(), ec); });
        return path;
    }();
    return *folder;
}

void Identify(const std::string& file)
{
    uint8_t code = 0;
    TStringList report;
    TDateTime time = 0;
    std::string name, format;
    try {
        ReadSatelliteFileInfo(file, code, &report, time, name, format);
    } catch (const Exception&) {
        // Input/output and conversion errors are the documented way out.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const char* const extensions[] = {".mpd", ".hrm", ".rah", ".met", ".pdu", ".open_mtp", ".xyz", ""};
    const std::filesystem::path& folder = TempFolder();
    for (const char* ext : extensions) {
        const std::string file = (folder / (std::string("input") + ext)).string();
        {
            std::ofstream out(file, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        }
        Identify(file);
    }

    // HDF: the name carries the date; keep it a plain file name.
    std::string stem = "h";
    for (size_t i = 0; i < size && i < 32; ++i) {
        const char c = static_cast<char>(data[i]);
        stem += (c == '/' || c == 0) ? '_' : c;
    }
    const std::string hdf = (folder / (stem + ".hdf")).string();
    {
        std::ofstream out(hdf, std::ios::binary | std::ios::trunc);
    }
    Identify(hdf);
    std::error_code ec;
    std::filesystem::remove(hdf, ec);
    return 0;
}
