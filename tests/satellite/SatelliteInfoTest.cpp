// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <sys/stat.h>

#include "SatelliteTestFiles.h"
#include "runtime/SysUtils.h"

namespace {

const std::string WorkedText = "Meteosat sample image\r\nQuillon file builder\r\n";

TEST(ReadSatelliteFileInfo, WorkedExampleMpd)
{
    ScratchFolder dir;
    const std::string file = dir.Write("0001.mpd", BuildFramedFile(WorkedExampleHeader()));
    TInfo info = ReadInfo(file);
    EXPECT_EQ(info.Code, 6);
    EXPECT_EQ(info.Format, "AIVH");
    EXPECT_EQ(info.StandardName, "2005-03-15-25_AIVH");
    EXPECT_DOUBLE_EQ(info.Time, EncodeDate(2005, 3, 15) + EncodeTime(12, 30, 0, 0));
    const std::vector<std::string> expected = {
        "Data on: " + file,
        "Format is Timestep MPD",
        "Transmission format: AIVH",
        "Interpreted satellite ID: MET-7",
        "Image acquired: 2005-Mar-15 at 1230",
        "Standard name: 2005-03-15-25_AIVH",
        "IR calibration:  gain: 0.08000  space count: 5.0",
        "WV calibration:  gain: 0.01000  space count: 6.0",
        " ",
        WorkedText,
    };
    EXPECT_EQ(info.Lines(), expected);
}

struct NamingCase {
    uint16_t Word;
    const char* Letters;
    uint16_t Time;
    int Code;
    const char* Name;
    const char* Format;
};

class Naming : public ::testing::TestWithParam<NamingCase> {};

TEST_P(Naming, ProposesTheStandardName)
{
    const NamingCase& c = GetParam();
    TSampleHeader h = WorkedExampleHeader();
    SetFormatLetters(h, c.Letters);
    h.SatelliteWord = c.Word;
    h.Time = c.Time;
    ScratchFolder dir;
    TInfo info = ReadInfo(dir.Write("x.MpD", BuildFramedFile(h)));
    EXPECT_EQ(info.Code, c.Code);
    EXPECT_EQ(info.StandardName, c.Name);
    EXPECT_EQ(info.Format, c.Format);
}

INSTANTIATE_TEST_SUITE_P(Cases, Naming, ::testing::Values(
    NamingCase{0xD4F7, "AIVH", 1230, 6, "2005-03-15-25_AIVH", "AIVH"},
    NamingCase{0xD4F5, "AIVH", 1230, 4, "2005-03-15-25_IAIVH", "AIVH"},
    NamingCase{0x0000, "B", 1230, 7, "2005-03-15-25_E__B", "B"},
    NamingCase{0x0001, "AI", 1230, 8, "2005-03-15-25_W_AI", "AI"},
    NamingCase{0x1234, "XV", 0, 0, "2005-03-15-00_XV", "XV"},
    NamingCase{0x1234, "XVH", 2359, 0, "2005-03-15-47XVH", "XVH"},
    NamingCase{0x1234, "", 930, 0, "2005-03-15-19___", ""},
    NamingCase{0xD4F7, "BIWV", 1, 6, "2005-03-15-00_BIWV", "BIWV"},
    NamingCase{0xD4F7, "AIWV", 1, 6, "2005-03-15-00_AIWV", "AIWV"}));

TEST(ReadSatelliteFileInfo, FlagBytesGiveLetters)
{
    struct Row { uint8_t b12, b13, b14, b15, b16; const char* letters; };
    const Row rows[] = {
        {0x00, 0x01, 0x00, 0xFF, 0x00, "AIVH"}, {0x00, 0x00, 0x07, 0xFF, 0x00, "AIVH"},
        {0x0F, 0x01, 0x00, 0x00, 0x00, "XV"},   {0x0F, 0x00, 0xFF, 0x00, 0x00, "XVH"},
        {0xFF, 0x00, 0x00, 0x00, 0xFF, "BW"},   {0x42, 0x00, 0x00, 0x00, 0x00, ""},
        {0x42, 0x01, 0x00, 0xFF, 0x00, "IV"},   {0x00, 0xFF, 0x00, 0xFF, 0xFF, "AIWV"},
    };
    ScratchFolder dir;
    for (const Row& r : rows) {
        TSampleHeader h = WorkedExampleHeader();
        h.FirstLetter = r.b12; h.Visible1 = r.b13; h.Visible2 = r.b14; h.Infrared = r.b15; h.WaterVapour = r.b16;
        TInfo info = ReadInfo(dir.Write("f.met", BuildMetFile(h)));
        EXPECT_EQ(info.Format, r.letters) << int(r.b12) << " " << int(r.b13) << " " << int(r.b14);
    }
}

// hhmm words past 2359 or with minutes past 59 are no time of day: they would
// give slots past 47 and a time on another day than the name's.
TEST(ReadSatelliteFileInfo, HeaderTimeThatIsNoTimeOfDayGivesNoTime)
{
    const uint16_t times[] = {2400, 1260, 2360, 9999, 65535};
    ScratchFolder dir;
    for (uint16_t hhmm : times) {
        TSampleHeader h = WorkedExampleHeader();
        h.Time = hhmm;
        TInfo info = ReadInfo(dir.Write("a.mpd", BuildFramedFile(h)));
        EXPECT_EQ(info.StandardName, "yyyy-mm-dd-ss_AIVH") << hhmm;
        EXPECT_EQ(info.Time, 0.0) << hhmm;
        EXPECT_EQ(info.Lines()[4].rfind("Unknown acquisition date/time: the header time ", 0), 0u) << info.Lines()[4];
    }
    TSampleHeader last = WorkedExampleHeader();
    last.Time = 2359;
    EXPECT_EQ(ReadInfo(dir.Write("b.mpd", BuildFramedFile(last))).StandardName, "2005-03-15-47_AIVH");
}

TEST(ReadSatelliteFileInfo, MtsatBeforeSeptember2005IsGms)
{
    TSampleHeader h = WorkedExampleHeader();
    h.SatelliteWord = 2;
    ScratchFolder dir;
    TInfo before = ReadInfo(dir.Write("a.mpd", BuildFramedFile(h)));
    EXPECT_EQ(before.Code, 10);
    EXPECT_EQ(before.StandardName, "2005-03-15-25_JAIVH");
    EXPECT_EQ(before.Lines()[3], "Interpreted satellite ID: MTSAT-1R (Met-7)");
    h.DayOfYear = 257;   // 14 September
    TInfo after = ReadInfo(dir.Write("b.mpd", BuildFramedFile(h)));
    EXPECT_EQ(after.Code, 9);
}

TEST(ReadSatelliteFileInfo, ImpossibleDateGivesPlaceholderName)
{
    TSampleHeader h = WorkedExampleHeader();
    h.Year = 0;
    ScratchFolder dir;
    TInfo info = ReadInfo(dir.Write("a.mpd", BuildFramedFile(h)));
    EXPECT_EQ(info.StandardName, "yyyy-mm-dd-ss_AIVH");
    EXPECT_EQ(info.Time, 0.0);
    EXPECT_EQ(info.Lines()[4], "Unknown acquisition date/time");
    EXPECT_EQ(info.Lines()[5], "Standard name: yyyy-mm-dd-ss_AIVH");
}

TEST(ReadSatelliteFileInfo, DatesBeyondTheCalendarAreUnknownNotGarbage)
{
    // Year 9999 plus up to 65535 days, or day 0 of year 1, leave the calendar.
    const std::pair<uint16_t, uint16_t> cases[] = {{9999, 400}, {9999, 65535}, {1, 0}};
    ScratchFolder dir;
    for (auto [year, day] : cases) {
        TSampleHeader h = WorkedExampleHeader();
        h.Year = year;
        h.DayOfYear = day;
        TInfo info = ReadInfo(dir.Write("a.met", BuildMetFile(h)));
        EXPECT_EQ(info.StandardName, "yyyy-mm-dd-ss_AIVH") << year << " " << day;
        EXPECT_EQ(info.Time, 0.0);
    }
}

TEST(ReadSatelliteFileInfo, CalibrationDigits)
{
    struct Row { const char* ig; const char* is; const char* wg; const char* ws; const char* ir; const char* wv; };
    const Row rows[] = {
        {"08000", "050", "01000", "060", "gain: 0.08000  space count: 5.0", "gain: 0.01000  space count: 6.0"},
        {"13999", "079", "01499", "089", "gain: 0.13999  space count: 7.9", "gain: 0.01499  space count: 8.9"},
        {"04000", "050", "01000", "060", "gain: 0.00000  space count: 0.0", "gain: 0.00000  space count: 0.0"},
        {"08000", "080", "01000", "060", "gain: 0.00000  space count: 0.0", "gain: 0.00000  space count: 0.0"},
        {"08000", "050", "0100x", "060", "gain: 0.00000  space count: 0.0", "gain: 0.00000  space count: 0.0"},
        {"", "", "", "", "gain: 0.00000  space count: 0.0", "gain: 0.00000  space count: 0.0"},
    };
    ScratchFolder dir;
    for (const Row& r : rows) {
        TSampleHeader h = WorkedExampleHeader();
        h.IrGain = r.ig; h.IrSpace = r.is; h.WvGain = r.wg; h.WvSpace = r.ws;
        TInfo info = ReadInfo(dir.Write("a.mpd", BuildFramedFile(h)));
        ASSERT_EQ(info.Report.Count(), 10);
        EXPECT_EQ(info.Report[6], std::string("IR calibration:  ") + r.ir) << r.ig;
        EXPECT_EQ(info.Report[7], std::string("WV calibration:  ") + r.wv) << r.ig;
    }
}

TEST(ReadSatelliteFileInfo, DescriptiveTextIsBlankedAndTrimmed)
{
    TSampleHeader h = WorkedExampleHeader();
    h.Description = std::string("one\ttab\rtwo\n\nthree\xC3\xA9\r\n   \r\n \x01 \n");
    ScratchFolder dir;
    TInfo info = ReadInfo(dir.Write("a.mpd", BuildFramedFile(h)));
    EXPECT_EQ(info.Report[9], "one tab\r\ntwo\r\n\r\nthree  \r\n");
}

TEST(ReadSatelliteFileInfo, TextBlockCrossesFrameHeadersInEveryLayout)
{
    // A description that fills all 800 bytes runs over two frame boundaries.
    std::string text;
    for (int i = 0; i < 800; ++i)
        text += static_cast<char>('a' + i % 26);
    TSampleHeader h = WorkedExampleHeader();
    h.Description = text;
    ScratchFolder dir;
    for (const char* name : {"a.mpd", "a.hrm"}) {
        TInfo info = ReadInfo(dir.Write(name, BuildFramedFile(h)));
        EXPECT_EQ(info.Report[info.Report.Count() - 1], text + "\r\n") << name;
    }
    TInfo rah = ReadInfo(dir.Write("a.rah", BuildFramedFile(h, {}, LongFrameLayout)));
    EXPECT_EQ(rah.Report[rah.Report.Count() - 1], text + "\r\n");
    EXPECT_EQ(rah.Report[1], "Format is Tarnwick HRI");
    EXPECT_EQ(rah.StandardName, "2005-03-15-25_AIVH");
}

TEST(ReadSatelliteFileInfo, EveryFormatLine)
{
    ScratchFolder dir;
    struct Row { std::string name; TByteVector bytes; const char* line; };
    const Row rows[] = {
        {"a.hrm", BuildFramedFile(WorkedExampleHeader()), "Format is Orbit/SSB"},
        {"a.mpd", BuildFramedFile(WorkedExampleHeader()), "Format is Timestep MPD"},
        {"a.rah", BuildFramedFile(WorkedExampleHeader(), {}, LongFrameLayout), "Format is Tarnwick HRI"},
        {"a.met", BuildMetFile(WorkedExampleHeader()), "Format is Merrow MET"},
        {"a.pdu", BuildPdusFile({}), "Format is Dundee PDUS"},
        {"a.open_mtp", BuildOpenMtpFile({}), "Format is OPEN MTP"},
    };
    for (const Row& r : rows) {
        TInfo info = ReadInfo(dir.Write(r.name, r.bytes));
        EXPECT_EQ(info.Report[0], "Data on: " + dir.Path(r.name));
        EXPECT_EQ(info.Report[1], r.line) << r.name;
    }
}

TEST(ReadSatelliteFileInfo, MetAndUnknownExtensionsHaveNoDescriptiveText)
{
    ScratchFolder dir;
    TInfo met = ReadInfo(dir.Write("a.met", BuildMetFile(WorkedExampleHeader())));
    EXPECT_EQ(met.StandardName, "2005-03-15-25_AIVH");
    EXPECT_EQ(met.Report.Count(), 8);
    EXPECT_EQ(met.Report[7], "WV calibration:  gain: 0.01000  space count: 6.0");
    TInfo xyz = ReadInfo(dir.Write("a.xyz", BuildMetFile(WorkedExampleHeader())));
    EXPECT_EQ(xyz.StandardName, "2005-03-15-25_AIVH");
    ASSERT_EQ(xyz.Report.Count(), 7);
    EXPECT_EQ(xyz.Report[1], "Transmission format: AIVH");
    TInfo none = ReadInfo(dir.Write("noext", BuildMetFile(WorkedExampleHeader())));
    EXPECT_EQ(none.Format, "AIVH");
}

TEST(ReadSatelliteFileInfo, Pdus)
{
    ScratchFolder dir;
    TInfo info = ReadInfo(dir.Write("a.PDU", BuildPdusFile({})));
    EXPECT_EQ(info.Code, 6);
    EXPECT_EQ(info.Format, "IRB1");
    EXPECT_EQ(info.StandardName, "(untouched)");
    EXPECT_DOUBLE_EQ(info.Time, EncodeDate(2004, 3, 7) + EncodeTime(11, 30, 0, 0));
    const std::vector<std::string> expected = {
        "Data on: " + dir.Path("a.PDU"), "Format is Dundee PDUS", "Raw sat name: MET7",
        "Interpreted satellite ID: MET-7", "Image type: IR", "Transmission format: B1",
        "Image acquired: 2004-Mar-07 at 1130",
        "IR calibration:  gain: 0.08000  space count: 5.0",
        "WV calibration:  gain: 0.01000  space count: 6.0", " ", WorkedText};
    EXPECT_EQ(info.Lines(), expected);
}

TEST(ReadSatelliteFileInfo, PdusSatelliteNames)
{
    struct Row { const char* raw; int code; };
    const Row rows[] = {{"met5", 4}, {"MET51", 10}, {"MET50", 8}, {"MET0", 7}, {"MET7", 6}, {"GOES", 0}, {"MET777", 0}};
    ScratchFolder dir;
    for (const Row& r : rows) {
        TPdusFields f;
        f.SatelliteName = r.raw;   // MET51 in March 2004 is corrected to 10
        TInfo info = ReadInfo(dir.Write("a.pdu", BuildPdusFile(f)));
        EXPECT_EQ(info.Code, r.code) << r.raw;
    }
}

TEST(ReadSatelliteFileInfo, PdusFieldsStopAtSixCharacters)
{
    TPdusFields f;
    f.ImageType = "ABCDEFGH";
    f.TransmissionFormat = "XY";
    ScratchFolder dir;
    TInfo info = ReadInfo(dir.Write("a.pdu", BuildPdusFile(f)));
    EXPECT_EQ(info.Format, "ABCDEFXY");
}

TEST(ReadSatelliteFileInfo, OpenMtp)
{
    ScratchFolder dir;
    TInfo info = ReadInfo(dir.Write("a.OPEN_MTP", BuildOpenMtpFile({})));
    EXPECT_EQ(info.Code, 6);
    EXPECT_EQ(info.Format, "");
    EXPECT_EQ(info.StandardName, "(untouched)");
    EXPECT_DOUBLE_EQ(info.Time, EncodeDate(2006, 1, 5) + 27 / 48.0);
    const std::vector<std::string> expected = {
        "Data on: " + dir.Path("a.OPEN_MTP"), "Format is OPEN MTP", "Raw sat name: M7",
        "Interpreted satellite ID: MET-7", "Image acquired: 2006-Jan-05 at 13:30",
        "Calibration:  gain: 0.08000  space count: 5.0", "Image origin: LINE1 = 1, PIXEL1 = 1",
        "Image size: LINES = 2500, PIXELS = 2500"};
    EXPECT_EQ(info.Lines(), expected);
}

TEST(ReadSatelliteFileInfo, OpenMtpFailuresStayInside)
{
    ScratchFolder dir;
    TByteVector shortFile = BuildOpenMtpFile({});
    shortFile.resize(1400);
    TInfo cut = ReadInfo(dir.Write("a.open_mtp", shortFile));
    EXPECT_EQ(cut.Lines(), (std::vector<std::string>{"Data on: " + dir.Path("a.open_mtp"), "Format is OPEN MTP"}));

    TOpenMtpFields f;
    f.Year = 20000;
    f.Gain = "abcde";
    TInfo bad = ReadInfo(dir.Write("b.open_mtp", BuildOpenMtpFile(f)));
    EXPECT_EQ(bad.Time, 0.0);
    EXPECT_EQ(bad.Report[5], "Calibration:  gain: 0.00000  space count: 0.0");

    f = {};
    f.DayOfYear = 2000000000;   // far past the calendar: no time rather than garbage
    TInfo far = ReadInfo(dir.Write("c.open_mtp", BuildOpenMtpFile(f)));
    EXPECT_EQ(far.Time, 0.0);
    EXPECT_EQ(far.Report.Count(), 8);
}

TEST(ReadSatelliteFileInfo, Hdf)
{
    struct Row { const char* name; TDateTime time; };
    const Row rows[] = {
        {"FY2C_FDI_ALL_NOM_20051231_1230.hdf", EncodeDate(2005, 12, 31) + EncodeTime(12, 30, 0, 0)},
        {"x_20060102x0405.HDF", EncodeDate(2006, 1, 2) + EncodeTime(4, 5, 0, 0)},
        {"nodate.hdf", 0.0},
    };
    ScratchFolder dir;
    for (const Row& r : rows) {
        TInfo info = ReadInfo(dir.Write(r.name, {1, 2, 3}));
        EXPECT_EQ(info.Code, 13);
        EXPECT_EQ(info.StandardName, "FY2C-IVW");
        EXPECT_EQ(info.Format, "FY2C-IVW");
        EXPECT_DOUBLE_EQ(info.Time, r.time) << r.name;
        EXPECT_EQ(info.Report.Count(), 0);
    }
}

TEST(ReadSatelliteFileInfo, BadHdfNamesRaiseNamingTheFile)
{
    ScratchFolder dir;
    for (const char* name : {"a_20051331_1230.hdf", "a_2005.hdf", "a_20xx1231_1230.hdf", "a_20051231_2560.hdf"}) {
        const std::string file = dir.Write(name, {});
        TInfo info;
        info.Report.Add("keep");
        try {
            ReadSatelliteFileInfo(file, info.Code, &info.Report, info.Time, info.StandardName, info.Format);
            ADD_FAILURE() << name;
        } catch (const EConvertError& e) {
            EXPECT_NE(std::string(e.what()).find(file), std::string::npos);
        }
        EXPECT_EQ(info.Code, 13);   // results written before the failure stay
        EXPECT_EQ(info.Lines(), std::vector<std::string>{"keep"});
    }
}

TEST(ReadSatelliteFileInfo, MissingFileTouchesNothingButFormatAndTime)
{
    TInfo info;
    info.Report.Add("keep");
    info.Code = 7;
    ReadSatelliteFileInfo("/nonexistent/quillon/a.mpd", info.Code, &info.Report, info.Time, info.StandardName,
                          info.Format);
    EXPECT_EQ(info.Code, 7);
    EXPECT_EQ(info.Time, 0.0);
    EXPECT_EQ(info.Format, "");
    EXPECT_EQ(info.StandardName, "(untouched)");
    EXPECT_EQ(info.Lines(), std::vector<std::string>{"keep"});
}

// Failures that leave the routine: a typed exception naming the file, the
// report untouched, results written before the failure kept.
TEST(ReadSatelliteFileInfo, FailuresLeaveTheReportUntouched)
{
    ScratchFolder dir;
    TPdusFields badDate;
    badDate.Month = 13;
    TByteVector shortPdus = BuildPdusFile({});
    shortPdus.resize(200);
    TByteVector gapCut = BuildMetFile(WorkedExampleHeader());
    gapCut.resize(28);
    TFramedOptions cut;
    cut.TruncateAt = 364 * 9 - 1;   // the third copy is cut short
    struct Row { std::string name; TByteVector bytes; bool conversion; std::string format; };
    const Row rows[] = {
        {"a.pdu", BuildPdusFile(badDate), true, "IRB1"},
        {"b.pdu", shortPdus, false, ""},
        {"c.met", gapCut, false, "AIVH"},
        {"d.mpd", BuildFramedFile(WorkedExampleHeader(), cut), false, ""},
        {"e.mpd", TByteVector(5000, 0), false, ""},
        {"f.rah", TByteVector(20, 0), false, ""},
        {"g.mpd", {}, false, ""},
    };
    for (const Row& r : rows) {
        const std::string file = dir.Write(r.name, r.bytes);
        TInfo info;
        info.Report.Add("keep");
        bool raised = false;
        try {
            ReadSatelliteFileInfo(file, info.Code, &info.Report, info.Time, info.StandardName, info.Format);
        } catch (const EConvertError& e) {
            raised = true;
            EXPECT_TRUE(r.conversion) << r.name;
            EXPECT_NE(std::string(e.what()).find(file), std::string::npos) << e.what();
        } catch (const EInOutError& e) {
            raised = true;
            EXPECT_FALSE(r.conversion) << r.name;
            EXPECT_NE(std::string(e.what()).find(file), std::string::npos) << e.what();
        }
        EXPECT_TRUE(raised) << r.name;
        EXPECT_EQ(info.Lines(), std::vector<std::string>{"keep"}) << r.name;
        EXPECT_EQ(info.Format, r.format) << r.name;
    }
}

TEST(ReadSatelliteFileInfo, ShortBlocksEndQuietly)
{
    ScratchFolder dir;
    const TByteVector full = BuildMetFile(WorkedExampleHeader());
    struct Row { size_t size; std::string format; std::string name; int lines; };
    const Row rows[] = {
        {10, "", "(untouched)", 2},                   // format block short: only data/format lines
        {40, "AIVH", "AIVH", 3},                      // identification block short
        {500, "AIVH", "2005-03-15-25_AIVH", 6},       // text block short
    };
    for (const Row& r : rows) {
        TByteVector bytes(full.begin(), full.begin() + r.size);
        TInfo info = ReadInfo(dir.Write("a.met", bytes));
        EXPECT_EQ(info.Format, r.format) << r.size;
        EXPECT_EQ(info.StandardName, r.name) << r.size;
        EXPECT_EQ(info.Report.Count(), r.lines) << r.size;
    }
}

TEST(ReadSatelliteFileInfo, NullReportGivesTheSameResults)
{
    ScratchFolder dir;
    const std::string file = dir.Write("a.mpd", BuildFramedFile(WorkedExampleHeader()));
    TInfo with = ReadInfo(file);
    uint8_t code = 0;
    TDateTime time = 0;
    std::string name, format;
    ReadSatelliteFileInfo(file, code, nullptr, time, name, format);
    EXPECT_EQ(code, with.Code);
    EXPECT_EQ(time, with.Time);
    EXPECT_EQ(name, with.StandardName);
    EXPECT_EQ(format, with.Format);
}

TEST(ReadSatelliteFileInfo, DisagreeingCopies)
{
    ScratchFolder dir;
    // The first copy differs: the second try finds three agreeing copies.
    TFramedOptions oneOff;
    oneOff.AlteredCopies = {0};
    oneOff.Copies = 4;
    TInfo recovered = ReadInfo(dir.Write("a.mpd", BuildFramedFile(WorkedExampleHeader(), oneOff)));
    EXPECT_EQ(recovered.Report[1], "Format is Timestep MPD");
    EXPECT_EQ(recovered.StandardName, "2005-03-15-25_AIVH");

    for (char type : {'0', 'p'}) {
        TFramedOptions never;
        never.NeverAgree = true;
        never.FrameType = type;
        TInfo info = ReadInfo(dir.Write("b.mpd", BuildFramedFile(WorkedExampleHeader(), never)));
        EXPECT_EQ(info.Report[1], type == '0' ? "Bad header, no matches after 61 frames"
                                              : "Bad header, no matches after 31 frames");
        EXPECT_EQ(info.Report[2], "Format is Timestep MPD");
        EXPECT_EQ(info.StandardName, "2005-03-15-25_AIVH");   // the last copy read is used
    }
}

TEST(ReadSatelliteFileInfo, RandomTailsOfARealFileNeverCrash)
{
    // Every truncation point of a framed file either reads or raises.
    ScratchFolder dir;
    const TByteVector full = BuildFramedFile(WorkedExampleHeader());
    for (size_t size = 0; size <= full.size(); size += 97) {
        TByteVector bytes(full.begin(), full.begin() + size);
        const std::string file = dir.Write("t.mpd", bytes);
        TInfo info;
        try {
            ReadSatelliteFileInfo(file, info.Code, &info.Report, info.Time, info.StandardName, info.Format);
        } catch (const EInOutError&) {
            EXPECT_LT(size, 364u * 9) << size;
        }
    }
}

TEST(SatelliteSupport, CodeFromId)
{
    const std::pair<const char*, int> rows[] = {{"M2", 1}, {"P2", 2}, {"M3", 2}, {"M4", 3}, {"M5", 4},
                                                {"M6", 5}, {"M7", 6}, {"m7", 0}, {"M8", 0}, {"", 0}};
    for (auto [id, code] : rows)
        EXPECT_EQ(SatelliteCodeFromId(id), code) << id;
}

TEST(SatelliteSupport, ByteSwaps)
{
    EXPECT_EQ(ReverseBytes32(0x11223344u), 0x44332211u);
    uint8_t words[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    SwapSixWords(words);
    const uint8_t expected[12] = {2, 1, 4, 3, 6, 5, 8, 7, 10, 9, 12, 11};
    EXPECT_TRUE(std::equal(words, words + 12, expected));
}

TEST(SatelliteSupport, SatelliteNamesTable)
{
    EXPECT_EQ(SatelliteNames.size(), 17u);
    EXPECT_STREQ(SatelliteNames[0], "");
    EXPECT_STREQ(SatelliteNames[9], "MTSAT-1R (Met-7)");
    EXPECT_STREQ(SatelliteNames[16], "MTSAT-1R Wefax");
}

TEST(SatelliteSupport, OpenMtpChannels)
{
    struct Row { int32_t channel; int number; const char* letter; };
    const Row rows[] = {{1, 2, "V"}, {3, 2, "V"}, {4, 8, "I"}, {5, 8, "I"}, {6, 4, "W"}, {7, 4, "W"}, {0, -1, "-"}, {8, -1, "-"}};
    for (const Row& r : rows) {
        TOpenMtpFields f;
        f.Channel = r.channel;
        const TByteVector bytes = BuildOpenMtpFile(f);
        std::string rawId, letter = "-";
        uint8_t code = 0;
        int32_t number = -1, l1, p1, ls, ps;
        float gain, space;
        TDateTime time = 0;
        ReadOpenMtpHeader(bytes.data() + OpenMtpRecordOffset, rawId, code, number, letter, l1, p1, ls, ps, gain, space, time);
        EXPECT_EQ(number, r.number) << r.channel;
        EXPECT_EQ(letter, r.letter) << r.channel;
    }
}

} // namespace

namespace {

TEST(ReadSatelliteFileInfo, FoldersAndPipesAreNotFiles)
{
    ScratchFolder dir;
    const std::string pipe = dir.Path("pipe.mpd");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::filesystem::create_directory(dir.Path("folder.mpd"));
    for (const std::string& name : {pipe, dir.Path("folder.mpd"), dir.Path("pipe.mpd/x.mpd")}) {
        TInfo info;
        info.Code = 5;
        ReadSatelliteFileInfo(name, info.Code, &info.Report, info.Time, info.StandardName, info.Format);
        EXPECT_EQ(info.Code, 5) << name;   // returned as for a missing file, without waiting on the pipe
        EXPECT_EQ(info.Report.Count(), 0);
    }
}

TEST(ReadSatelliteFileInfo, HeaderFarIntoALargeFile)
{
    // The search runs through about 1.5 MB of image frames before the header.
    for (char type : {'0', 'p'}) {
        TFramedOptions options;
        options.FrameType = type;
        options.FirstHeaderFrame = 4001;
        options.ExtraFrames = 300;
        TSampleHeader h = WorkedExampleHeader();
        h.Time = 1745;
        ScratchFolder dir;
        TInfo info = ReadInfo(dir.Write("big.mpd", BuildFramedFile(h, options)));
        EXPECT_EQ(info.StandardName, "2005-03-15-35_AIVH");
        EXPECT_EQ(info.Report.Count(), 10);
    }
}

} // namespace

namespace {

// Date-times before 1899-12-30 are negative days whose time of day counts
// away from zero; the acquisition time must still decode to the header's
// date and time.
TEST(ReadSatelliteFileInfo, TimesBefore1900KeepTheirDayAndTime)
{
    struct Row { uint16_t year, day, hhmm; const char* iso; const char* line; };
    const Row rows[] = {
        {1899, 74, 1230, "1899-03-15T12:30:00", "Image acquired: 1899-Mar-15 at 1230"},
        {1899, 74, 2359, "1899-03-15T23:59:00", "Image acquired: 1899-Mar-15 at 2359"},
        {1, 1, 600, "0001-01-01T06:00:00", "Image acquired: 0001-Jan-01 at 0600"},
        {1899, 364, 1800, "1899-12-30T18:00:00", "Image acquired: 1899-Dec-30 at 1800"},
    };
    ScratchFolder dir;
    for (const Row& r : rows) {
        TSampleHeader h = WorkedExampleHeader();
        h.Year = r.year;
        h.DayOfYear = r.day;
        h.Time = r.hhmm;
        TInfo info = ReadInfo(dir.Write("a.met", BuildMetFile(h)));
        EXPECT_EQ(DateTimeToIso(info.Time), r.iso);
        EXPECT_EQ(info.Report[4], r.line);
    }
    TPdusFields pdus;
    pdus.Year = 1850;
    pdus.Month = 6;
    pdus.Day = 1;
    pdus.Hour = 6;
    pdus.Minute = 0;
    TInfo info = ReadInfo(dir.Write("a.pdu", BuildPdusFile(pdus)));
    EXPECT_EQ(DateTimeToIso(info.Time), "1850-06-01T06:00:00");
}

} // namespace
