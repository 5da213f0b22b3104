// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <numeric>

#include "SatelliteTestFiles.h"
#include "runtime/BinaryFile.h"
#include "satellite/FrameLocate.h"

namespace {

int64_t Locate(const std::string& file, const TFrameLayout& layout, TStringList& report)
{
    TBinaryFile f(file);
    LocateHeaderFrame(f, layout, report);
    return f.FilePos();
}

struct LocateCase {
    const char* Label;
    char Type;
    int First;
    bool Long;
    int64_t Expected;   // file offset of the chosen header payload
};

class Locating : public ::testing::TestWithParam<LocateCase> {};

TEST_P(Locating, ChoosesTheThirdAgreeingCopy)
{
    const LocateCase& c = GetParam();
    TFramedOptions options;
    options.FrameType = c.Type;
    options.FirstHeaderFrame = c.First;
    const TFrameLayout& layout = c.Long ? LongFrameLayout : ShortFrameLayout;
    ScratchFolder dir;
    const std::string file = dir.Write("a.bin", BuildFramedFile(WorkedExampleHeader(), options, layout));
    TStringList report;
    EXPECT_EQ(Locate(file, layout, report), c.Expected) << c.Label;
    EXPECT_EQ(report.Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, Locating, ::testing::Values(
    LocateCase{"first frame, type 0", '0', 0, false, 8 * 364 + 4},
    LocateCase{"third frame, type 0", '0', 2, false, 10 * 364 + 4},
    LocateCase{"type p", 'p', 1, false, 17 * 364 + 4},
    LocateCase{"long layout", '0', 0, true, 34 + 8 * 371 + 11},
    LocateCase{"long layout, type p", 'p', 3, true, 34 + 19 * 371 + 11}));

TEST(LocateHeaderFrame, MisalignedHeaderIsNeverFound)
{
    TFramedOptions options;
    options.MisalignBy = 5;
    ScratchFolder dir;
    const std::string file = dir.Write("a.bin", BuildFramedFile(WorkedExampleHeader(), options));
    TStringList report;
    EXPECT_THROW(Locate(file, ShortFrameLayout, report), EInOutError);
    EXPECT_EQ(report.Count(), 0);
}

TEST(LocateHeaderFrame, LongLayoutComparesTheFirstSevenBytes)
{
    // Changing a byte the header test ignores still breaks the agreement.
    TByteVector bytes = BuildFramedFile(WorkedExampleHeader(), {}, LongFrameLayout);
    bytes[34 + 4 * 371 + 2] ^= 0xFF;   // second copy, frame byte 2
    TFramedOptions more;
    more.Copies = 5;
    TByteVector longer = BuildFramedFile(WorkedExampleHeader(), more, LongFrameLayout);
    longer[34 + 4 * 371 + 2] ^= 0xFF;
    ScratchFolder dir;
    TStringList report;
    EXPECT_EQ(Locate(dir.Write("b.bin", longer), LongFrameLayout, report), 34 + 16 * 371 + 11);
    EXPECT_EQ(report.Count(), 0);
    EXPECT_THROW(Locate(dir.Write("a.bin", bytes), LongFrameLayout, report), EInOutError);
}

TEST(LocateHeaderFrame, NoAgreementReportsTriesAndUsesTheLastCopy)
{
    struct Row { char type; const char* line; int64_t position; };
    const Row rows[] = {{'0', "Bad header, no matches after 61 frames", 62 * 4 * 364 + 4},
                        {'p', "Bad header, no matches after 31 frames", 32 * 8 * 364 + 4}};
    ScratchFolder dir;
    for (const Row& r : rows) {
        TFramedOptions options;
        options.FrameType = r.type;
        options.NeverAgree = true;
        const std::string file = dir.Write("a.bin", BuildFramedFile(WorkedExampleHeader(), options));
        TStringList report;
        EXPECT_EQ(Locate(file, ShortFrameLayout, report), r.position);
        ASSERT_EQ(report.Count(), 1);
        EXPECT_EQ(report[0], r.line);
    }
}

TEST(LocateHeaderFrame, FileEndingBeforeTheLastTryRaisesWithoutTheLine)
{
    TFramedOptions options;
    options.NeverAgree = true;
    TByteVector bytes = BuildFramedFile(WorkedExampleHeader(), options);
    bytes.resize(bytes.size() - 4 * 364);   // the last copy is gone
    ScratchFolder dir;
    TStringList report;
    EXPECT_THROW(Locate(dir.Write("a.bin", bytes), ShortFrameLayout, report), EInOutError);
    EXPECT_EQ(report.Count(), 0);
}

TEST(LocateHeaderFrame, OtherFrameTypesAreSkipped)
{
    // Frames typed other than '0'/'p' and frames without sync are passed over.
    TFramedOptions options;
    options.FirstHeaderFrame = 3;
    TByteVector bytes = BuildFramedFile(WorkedExampleHeader(), options);
    bytes[0] = 0;          // frame 0 loses its sync
    bytes[364 + 3] = 'P';  // frame 1 has a near-miss type
    ScratchFolder dir;
    TStringList report;
    EXPECT_EQ(Locate(dir.Write("a.bin", bytes), ShortFrameLayout, report), 11 * 364 + 4);
}

TEST(RemoveFrameHeaders, JoinsThePayloads)
{
    for (int h : {4, 11}) {
        // Payload bytes numbered 0..1359, frame headers filled with 0xEE.
        std::vector<uint8_t> block;
        int n = 0;
        for (int part = 0; part < 4; ++part) {
            if (part > 0)
                block.insert(block.end(), h, 0xEE);
            for (int i = 0; i < (part == 0 ? 280 : 360); ++i)
                block.push_back(static_cast<uint8_t>(n++ % 251));
        }
        ASSERT_EQ(block.size(), 1360u + 3 * h);
        RemoveFrameHeaders(block.data(), h);
        for (int i = 0; i < 1360; ++i)
            ASSERT_EQ(block[i], i % 251) << "h " << h << " at " << i;
    }
}

} // namespace
