// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scratch folder per test, removed afterwards, and a shorthand for one call
// of ReadSatelliteFileInfo with all its results.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "runtime/Classes.h"
#include "satellite/SampleFiles.h"
#include "satellite/SatelliteInfo.h"

class ScratchFolder {
public:
    ScratchFolder()
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("quillon-sat-") + info->test_suite_name() + "-" + info->name();
        for (char& c : name)
            if (c == '/')
                c = '_';
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_); }
    std::string Path(const std::string& fileName) const { return (path_ / fileName).string(); }
    std::string Write(const std::string& fileName, const TByteVector& bytes) const
    {
        const std::string p = Path(fileName);
        WriteFileBytes(p, bytes);
        return p;
    }
    std::string Folder() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

struct TInfo {
    uint8_t Code = 99;
    TStringList Report;
    TDateTime Time = -1;
    std::string StandardName = "(untouched)";
    std::string Format = "(untouched)";
    std::vector<std::string> Lines() const { return std::vector<std::string>(Report.begin(), Report.end()); }
};

inline TInfo ReadInfo(const std::string& fileName)
{
    TInfo info;
    ReadSatelliteFileInfo(fileName, info.Code, &info.Report, info.Time, info.StandardName, info.Format);
    return info;
}
