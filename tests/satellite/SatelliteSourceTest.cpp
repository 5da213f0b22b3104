// SPDX-License-Identifier: GPL-3.0-or-later
// The header reader over its byte sources: the memory path gives what the
// file path gives for the same bytes, and a stop request ends a header
// search through a huge file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <typeinfo>

#include "SatelliteTestFiles.h"
#include "runtime/Application.h"

namespace {

// Everything one call delivers, or the exception it raised.
struct TOutcome {
    uint8_t Code = 99;
    std::vector<std::string> Lines{"keep"};
    TDateTime Time = -1;
    std::string StandardName = "(untouched)";
    std::string Format = "(untouched)";
    std::string Error;   // exception class and message

    bool operator==(const TOutcome&) const = default;
};

template <typename Source>
TOutcome Outcome(Source&& source)
{
    TOutcome o;
    TStringList report;
    report.Add("keep");
    try {
        ReadSatelliteFileInfo(source, o.Code, &report, o.Time, o.StandardName, o.Format);
    } catch (const Exception& e) {
        o.Error = std::string(typeid(e).name()) + ": " + e.what();
    }
    o.Lines.assign(report.begin(), report.end());
    return o;
}

std::ostream& operator<<(std::ostream& out, const TOutcome& o)
{
    out << "code " << int(o.Code) << ", time " << o.Time << ", name " << o.StandardName << ", format " << o.Format
        << ", error " << o.Error << ", lines:";
    for (const std::string& line : o.Lines)
        out << " [" << line << "]";
    return out;
}

TByteVector FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return TByteVector(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Inputs over the sample builder's range: every layout and frame type, header
// copies early, late, disagreeing and misaligned, odd dates and letters,
// files cut at many lengths, the unframed formats and a demo folder.
std::vector<TByteVector> SampleInputs(const ScratchFolder& dir)
{
    std::vector<TByteVector> inputs;
    TSampleHeader odd = WorkedExampleHeader();
    odd.Year = 0;
    TSampleHeader late = WorkedExampleHeader();
    late.Year = 9999;
    late.DayOfYear = 400;
    late.Time = 2400;
    TSampleHeader other = MakeSampleHeader(2, "XVH", EncodeDate(2004, 2, 29) + EncodeTime(23, 59, 0, 0));
    other.IrGain = "1x000";
    other.Description = std::string(900, '\t') + "x";
    for (const TFrameLayout* layout : {&ShortFrameLayout, &LongFrameLayout}) {
        for (char type : {'0', 'p'}) {
            for (const TSampleHeader& h : {WorkedExampleHeader(), odd, late, other}) {
                TFramedOptions options;
                options.FrameType = type;
                options.FirstHeaderFrame = type == '0' ? 3 : 0;
                inputs.push_back(BuildFramedFile(h, options, *layout));
            }
            TFramedOptions never;
            never.FrameType = type;
            never.NeverAgree = true;
            inputs.push_back(BuildFramedFile(WorkedExampleHeader(), never, *layout));
            TFramedOptions altered;
            altered.FrameType = type;
            altered.AlteredCopies = {0, 2};
            altered.Copies = 6;
            inputs.push_back(BuildFramedFile(WorkedExampleHeader(), altered, *layout));
            TFramedOptions misaligned;
            misaligned.FrameType = type;
            misaligned.MisalignBy = 5;
            inputs.push_back(BuildFramedFile(WorkedExampleHeader(), misaligned, *layout));
        }
        const TByteVector full = BuildFramedFile(WorkedExampleHeader(), {}, *layout);
        for (size_t size = 0; size < full.size(); size += 331)
            inputs.emplace_back(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
    }
    const TByteVector met = BuildMetFile(WorkedExampleHeader());
    for (size_t size = 0; size <= met.size(); size += 53)
        inputs.emplace_back(met.begin(), met.begin() + static_cast<std::ptrdiff_t>(size));
    TPdusFields badDate;
    badDate.Month = 13;
    TPdusFields names;
    names.SatelliteName = "met51x";
    names.ImageType = "VISIBLE";
    inputs.push_back(BuildPdusFile({}));
    inputs.push_back(BuildPdusFile(badDate));
    inputs.push_back(BuildPdusFile(names));
    TOpenMtpFields mtp;
    inputs.push_back(BuildOpenMtpFile(mtp));
    mtp.Year = 20000;
    mtp.Gain = "abcde";
    mtp.Channel = 6;
    inputs.push_back(BuildOpenMtpFile(mtp));
    TByteVector cutMtp = BuildOpenMtpFile({});
    cutMtp.resize(1400);
    inputs.push_back(cutMtp);
    const std::string demo = dir.Path("demo");
    for (const TDemoFile& f : WriteDemoFolder(demo, 36))
        inputs.push_back(FileBytes(demo + "/" + f.FileName));
    std::filesystem::remove_all(demo);
    return inputs;
}

std::vector<TByteVector> FuzzSeeds()
{
    std::vector<TByteVector> seeds;
    for (const auto& entry : std::filesystem::directory_iterator(QUILLON_SOURCE_DIR "/fuzz/corpus/satellite_info"))
        seeds.push_back(FileBytes(entry.path().string()));
    return seeds;
}

TEST(SatelliteSource, MemoryPathGivesWhatTheFilePathGives)
{
    ScratchFolder dir;
    std::vector<TByteVector> inputs = SampleInputs(dir);
    const std::vector<TByteVector> seeds = FuzzSeeds();
    ASSERT_FALSE(seeds.empty());
    inputs.insert(inputs.end(), seeds.begin(), seeds.end());
    int failures = 0;
    for (size_t i = 0; i < inputs.size(); ++i) {
        for (const char* ext : {".mpd", ".HRM", ".rah", ".met", ".pdu", ".open_mtp", ".xyz", ""}) {
            const std::string file = dir.Write(std::string("input") + ext, inputs[i]);
            const TOutcome fromFile = Outcome(file);
            const TOutcome fromMemory = Outcome(TSatelliteMemorySource(file, inputs[i].data(), inputs[i].size()));
            EXPECT_EQ(fromMemory, fromFile) << "input " << i << ext;
            failures += fromMemory == fromFile ? 0 : 1;
            ASSERT_LT(failures, 5);
        }
    }
}

TEST(SatelliteSource, HdfIsNamedFromTheNameOnEitherPath)
{
    ScratchFolder dir;
    for (const char* name : {"FY2C_FDI_ALL_NOM_20051231_1230.hdf", "x_20060102x0405.HDF", "nodate.hdf",
                             "a_20051331_1230.hdf", "a_2005.hdf", "a_20051231_2560.hdf"}) {
        const std::string file = dir.Write(name, {1, 2, 3});
        const uint8_t bytes[] = {9};
        EXPECT_EQ(Outcome(TSatelliteMemorySource(file, bytes, 1)), Outcome(file)) << name;
    }
}

TEST(SatelliteSource, UnreadableFileRaisesNamingIt)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop the superuser";
    ScratchFolder dir;
    const std::string file = dir.Write("locked.mpd", BuildFramedFile(WorkedExampleHeader()));
    ASSERT_EQ(::chmod(file.c_str(), 0), 0);
    const TOutcome o = Outcome(file);
    EXPECT_EQ(o.Code, 0);
    EXPECT_NE(o.Error.find("Cannot open file \"" + file + "\""), std::string::npos) << o.Error;
    EXPECT_EQ(o.Lines, std::vector<std::string>{"keep"});
}

// A stop request, set from another thread, ends the search for a header
// frame through a huge file that has none, with EAbort naming the file.
TEST(SatelliteSource, StopRequestEndsAHeaderSearch)
{
    ScratchFolder dir;
    for (const char* name : {"huge.mpd", "huge.rah"}) {
        const std::string file = dir.Path(name);
        const int fd = ::open(file.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        const bool sparse = ::ftruncate(fd, int64_t(1) << 40) == 0;   // 1 TiB of zeros, no frame
        ::close(fd);
        if (!sparse)
            GTEST_SKIP() << "file system without large sparse files";

        ClearStopRequest();
        std::thread stopper([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            RequestStop();
        });
        TInfo info;
        try {
            ReadSatelliteFileInfo(file, info.Code, &info.Report, info.Time, info.StandardName, info.Format);
            ADD_FAILURE() << "the search ended without the stop request";
        } catch (const EAbort& e) {
            EXPECT_NE(std::string(e.what()).find(file), std::string::npos) << e.what();
        }
        stopper.join();
        ClearStopRequest();
        EXPECT_EQ(info.Report.Count(), 0);
    }
}

} // namespace
