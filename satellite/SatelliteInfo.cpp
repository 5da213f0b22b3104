// SPDX-License-Identifier: GPL-3.0-or-later
#include "satellite/SatelliteInfo.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "satellite/FrameLocate.h"

const std::array<const char*, 17> SatelliteNames = {
    "",
    "MET-2",
    "MET-3",
    "MET-4",
    "MET-5",
    "MET-6",
    "MET-7",
    "GOES-E (Met7)",
    "GOES-W (Met7)",
    "MTSAT-1R (Met-7)",
    "GMS (Met7)",
    "GMS (FSD)",
    "GOES (linear)",
    "GOES (mode A)",
    "GOES (192-320K)",
    "MET-8 LRIT",
    "MTSAT-1R Wefax",
};

namespace {

constexpr size_t FormatBlockSize = 24;
constexpr size_t FormatGapSize = 8;
constexpr size_t IdentBlockSize = 32;
constexpr size_t IdentGapSize = 16;
constexpr size_t TextBlockSize = 1360;
constexpr size_t PdusHeaderSize = 256;
constexpr int64_t PdusTextOffset = 336;
constexpr size_t DescriptionOffset = 560;
constexpr size_t DescriptionSize = 800;

const char* const MonthAbbreviations[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A 32-bit big-endian field as a signed number.
int32_t BigEndian32(const uint8_t* p) { return static_cast<int32_t>(GetBE32(p)); }

// Text of a fixed-size field up to its first NUL.
std::string FieldText(const uint8_t* p, size_t size)
{
    size_t n = 0;
    while (n < size && p[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

// Decimal digits of a fixed-size field of a block; false when they do not
// convert (or the block is too short to hold them).
bool DigitsAt(std::string_view block, size_t offset, size_t size, int& value)
{
    if (offset + size > block.size())
        return false;
    return TryStrToInt(block.substr(offset, size), value);
}

// Dates the runtime can represent: 0001-01-01 up to the end of 9999-12-31.
constexpr TDateTime FirstDate = -693593.0;      // 0001-01-01
constexpr TDateTime EndOfLastDate = 2958466.0;  // 10000-01-01

// Day (a whole number) plus an offset in days that may exceed one day or be
// negative, in the runtime's convention for date-times: the whole part is the
// day and, before 1899-12-30 where days are negative, the time of day counts
// away from zero (-1.25 is 1899-12-29 06:00). Plain addition would put such
// times on the wrong day with the time mirrored. False when the day falls
// outside 0001-01-01..9999-12-31.
bool ComposeDateTime(double day, double offset, TDateTime& result)
{
    const double whole = std::floor(offset);
    const double fraction = offset - whole;
    const double date = day + whole;
    if (!(date >= FirstDate && date < EndOfLastDate))
        return false;
    result = date >= 0 ? date + fraction : date - fraction;
    return true;
}

// Transmission-format letters of a 24-byte format block.
std::string FormatLetters(const uint8_t* block)
{
    std::string letters;
    switch (block[12]) {
    case 0x00: letters = "A"; break;
    case 0x0F: letters = "X"; break;
    case 0xFF: letters = "B"; break;
    default: break;
    }
    if (block[15] == 0xFF)
        letters += "I";
    if (block[16] == 0xFF)
        letters += "W";
    if (block[13] != 0 || block[14] != 0) {
        letters += "V";
        if (letters == "AIV" || (letters == "XV" && (block[13] == 0xFF || block[14] == 0xFF)))
            letters += "H";
    }
    return letters;
}

uint8_t CodeFromSatelliteWord(uint16_t word)
{
    switch (word) {
    case 0xD4F5: return 4;
    case 0xD4F7: return 6;
    case 0: return 7;
    case 1: return 8;
    case 2: return 9;
    default: return 0;
    }
}

// Code 9 (MTSAT-1R relayed) before 14 September 2005 was GMS.
void CorrectSatelliteCode(uint8_t& code, TDateTime time)
{
    constexpr TDateTime mtsatStart = 38609.0;   // 2005-09-14
    if (code == 9 && time != 0.0 && time < mtsatStart)
        code = 10;
}

} // namespace

std::string_view SatelliteName(uint8_t code)
{
    return code < SatelliteNames.size() ? SatelliteNames[code] : "";
}

namespace {

// The calibration fields of a header text block as their digits: gains in
// units of 0.00001, space counts in units of 0.1; all four 0 unless every
// field converts and lies in its plausible range.
struct TCalibrationDigits {
    int IrGain = 0, IrSpace = 0, WvGain = 0, WvSpace = 0;
};

void ParseCalibrationDigits(std::string_view Block, TCalibrationDigits& Digits)
{
    Digits = {};
    int irGain, irSpace, wvGain, wvSpace;
    if (!DigitsAt(Block, 51, 5, irGain) || !DigitsAt(Block, 56, 3, irSpace) || !DigitsAt(Block, 64, 5, wvGain) ||
        !DigitsAt(Block, 69, 3, wvSpace))
        return;
    const float ig = static_cast<float>(irGain / 100000.0);
    const float is = static_cast<float>(irSpace / 10.0);
    const float wg = static_cast<float>(wvGain / 100000.0);
    const float ws = static_cast<float>(wvSpace / 10.0);
    if (ig > 0.04 && ig < 0.14 && is > 2 && is < 8 && wg > 0.005 && wg < 0.015 && ws > 3 && ws < 9)
        Digits = {irGain, irSpace, wvGain, wvSpace};
}

// The formats the extension of a file name chooses.
enum class TFormatKind { Other, Met, Hrm, Mpd, Rah, Pdu, OpenMtp, Hdf };

// The extension of the file name's last component, compared without regard to
// case (the same extension ExtractFileExt gives for ExtractFileName).
TFormatKind FormatKindOf(std::string_view fileName)
{
    const size_t slash = fileName.rfind(PathDelim);
    const std::string_view name = slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return TFormatKind::Other;
    const std::string_view ext = name.substr(dot);
    const auto is = [ext](std::string_view upper) {
        if (ext.size() != upper.size())
            return false;
        for (size_t i = 0; i < ext.size(); ++i) {
            const char c = ext[i] >= 'a' && ext[i] <= 'z' ? static_cast<char>(ext[i] - 'a' + 'A') : ext[i];
            if (c != upper[i])
                return false;
        }
        return true;
    };
    if (is(".MPD")) return TFormatKind::Mpd;
    if (is(".HRM")) return TFormatKind::Hrm;
    if (is(".RAH")) return TFormatKind::Rah;
    if (is(".MET")) return TFormatKind::Met;
    if (is(".PDU")) return TFormatKind::Pdu;
    if (is(".OPEN_MTP")) return TFormatKind::OpenMtp;
    if (is(".HDF")) return TFormatKind::Hdf;
    return TFormatKind::Other;
}

// Value as decimal digits, zero-padded to at least Width (value >= 0).
void AppendDigits(std::string& out, long long value, int width)
{
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    for (; n < width; --width)
        out += '0';
    while (n > 0)
        out += digits[--n];
}

// The descriptive text of a header text block as one report entry: bytes
// outside printable ASCII blanked, the text split into lines at CR LF, CR or
// LF, trailing lines that are blank dropped, every remaining line followed by
// CR LF. Done in one pass: the kept text ends with the line holding the last
// byte that is neither a blank nor a line break.
void DescriptiveText(const uint8_t* text, std::string& entry)
{
    const auto printable = [](uint8_t c) { return c > 32 && c <= 126; };
    // The text is usually short and filled out with zeros or blanks: skip
    // those eight bytes at a time from the end.
    size_t scan = DescriptionSize;
    while (scan >= 8) {
        uint64_t word;
        std::memcpy(&word, text + scan - 8, sizeof word);
        if ((word & ~0x2020202020202020ull) != 0)
            break;
        scan -= 8;
    }
    size_t last = DescriptionSize;
    for (size_t i = scan; i-- > 0;) {
        if (printable(text[i])) {
            last = i;
            break;
        }
    }
    if (last == DescriptionSize)
        return;   // no line survives
    size_t end = last + 1;
    while (end < DescriptionSize && text[end] != '\r' && text[end] != '\n')
        ++end;
    entry.reserve(end + end / 8 + 2);
    for (size_t i = 0; i < end; ++i) {
        const uint8_t c = text[i];
        if (c == '\r' || c == '\n') {
            entry += "\r\n";
            if (c == '\r' && i + 1 < end && text[i + 1] == '\n')
                ++i;
        } else {
            entry += (c >= 32 && c <= 126) ? static_cast<char>(c) : ' ';
        }
    }
    entry += "\r\n";
}

void ReadHdfName(const std::string& FileName, uint8_t& SatelliteCode, TDateTime& AcquisitionTime,
                 std::string& StandardName, std::string& ImageFormat)
{
    SatelliteCode = 13;
    StandardName = "FY2C-IVW";
    ImageFormat = "FY2C-IVW";
    const std::string name = ExtractFileName(FileName);
    const size_t at = name.find("_20");
    if (at == std::string::npos)
        return;
    // Fields after the underscore: yyyymmdd, one unexamined character, hhnn.
    const auto field = [&](size_t offset, size_t size, const char* what) {
        const size_t from = std::min(at + offset, name.size());
        int value;
        if (!TryStrToInt(std::string_view(name).substr(from, size), value))
            throw EConvertError(FileName + ": the " + what + " in the file name is not a number");
        return value;
    };
    const int year = field(1, 4, "year");
    const int month = field(5, 2, "month");
    const int day = field(7, 2, "day");
    const int hour = field(10, 2, "hour");
    const int minute = field(12, 2, "minute");
    TDateTime date, time;
    if (!TryEncodeDate(year, month, day, date) || !TryEncodeTime(hour, minute, 0, 0, time))
        throw EConvertError(FileName + ": the date or time in the file name is impossible");
    ComposeDateTime(date, time, AcquisitionTime);
}

// The report lines of one call, gathered before they replace the caller's
// report (which a failure leaves untouched). Their strings are a thread's,
// reused from call to call, so composing a line costs no allocation. Report
// lines are only formatted when a report was asked for: the readers get a
// null pointer otherwise.
class TReportLines {
public:
    TReportLines() : lines_(std::move(spareLines)) {}
    ~TReportLines()
    {
        if (lines_.capacity() > spareLines.capacity())
            spareLines = std::move(lines_);
    }
    TReportLines(const TReportLines&) = delete;
    TReportLines& operator=(const TReportLines&) = delete;

    // A new, empty last line to compose in place.
    std::string& Line()
    {
        if (count_ == lines_.size())
            lines_.emplace_back();
        std::string& line = lines_[count_++];
        line.clear();
        return line;
    }
    void Add(std::initializer_list<std::string_view> Pieces)
    {
        std::string& line = Line();
        for (std::string_view piece : Pieces)
            line += piece;
    }
    void Add(const TStringList& Lines)
    {
        for (const std::string& line : Lines)
            Add({line});
    }
    // Replaces Report's contents by the lines, as one update.
    void MoveTo(TStringList& Report) const
    {
        Report.BeginUpdate();
        Report.Clear();
        for (size_t i = 0; i < count_; ++i)
            Report.Add(lines_[i]);
        Report.EndUpdate();
    }

private:
    static thread_local std::vector<std::string> spareLines;
    std::vector<std::string> lines_;
    size_t count_ = 0;
};
thread_local std::vector<std::string> TReportLines::spareLines;

// OPEN MTP (step runs under a guard: any failure ends it quietly).
void ReadOpenMtp(TSatelliteSource& source, TReportLines* report, uint8_t& SatelliteCode, TDateTime& AcquisitionTime)
{
    try {
        if (report)
            report->Add({"Format is OPEN MTP"});
        source.Seek(OpenMtpRecordOffset);
        const uint8_t* record = source.ReadExact(OpenMtpRecordSize, "the OPEN MTP header record");
        std::string rawId, channelLetter;
        int32_t channel = 0, line1 = 0, pixel1 = 0, lines = 0, pixels = 0;
        float gain = 0, spaceCount = 0;
        ReadOpenMtpHeader(record, rawId, SatelliteCode, channel, channelLetter, line1, pixel1, lines, pixels, gain,
                          spaceCount, AcquisitionTime);
        if (!report)
            return;
        report->Add({"Raw sat name: ", rawId});
        report->Add({"Interpreted satellite ID: ", SatelliteName(SatelliteCode)});
        report->Add({"Image acquired: ", FormatDateTime("yyyy-mmm-dd \"at\" hh:nn", AcquisitionTime)});
        report->Add({Format("Calibration:  gain: %.5f  space count: %.1f", {gain, spaceCount})});
        report->Add({Format("Image origin: LINE1 = %d, PIXEL1 = %d", {line1, pixel1})});
        report->Add({Format("Image size: LINES = %d, PIXELS = %d", {lines, pixels})});
    } catch (const EAbort&) {
        throw;
    } catch (const Exception&) {
        // A damaged OPEN MTP record ends its lines here; the call still succeeds.
    }
}

// The satellite code a PDUS satellite name gives; 0 for any other.
uint8_t PdusSatelliteCode(std::string_view rawName)
{
    if (rawName == "MET5")
        return 4;
    if (rawName == "MET51")
        return 9;
    if (rawName == "MET50")
        return 8;
    if (rawName == "MET0")
        return 7;
    if (rawName == "MET7")
        return 6;
    return 0;
}

void ReadPdus(TSatelliteSource& source, TReportLines* report, uint8_t& SatelliteCode, TDateTime& AcquisitionTime,
              std::string& ImageFormat)
{
    if (report)
        report->Add({"Format is Dundee PDUS"});
    const uint8_t* header = source.ReadExact(PdusHeaderSize, "the PDUS header");

    const std::string rawName = UpperCase(FieldText(header + 14, 6));
    if (report)
        report->Add({"Raw sat name: ", rawName});
    if (const uint8_t code = PdusSatelliteCode(rawName))
        SatelliteCode = code;
    if (report)
        report->Add({"Interpreted satellite ID: ", SatelliteName(SatelliteCode)});

    const std::string imageType = FieldText(header + 20, 6);
    const std::string transmission = FieldText(header + 26, 6);
    ImageFormat = imageType + transmission;
    if (report) {
        report->Add({"Image type: ", imageType});
        report->Add({"Transmission format: ", transmission});
    }

    uint8_t words[12];
    std::memcpy(words, header + 44, sizeof words);
    if constexpr (std::endian::native == std::endian::little)
        SwapSixWords(words);
    uint16_t value[6];
    std::memcpy(value, words, sizeof value);
    TDateTime date, time;
    if (!TryEncodeDate(value[0], value[1], value[2], date) || !TryEncodeTime(value[3], value[4], value[5], 0, time))
        throw EConvertError(source.FileName() + ": impossible acquisition date or time in the PDUS header (" +
                            Format("%d-%d-%d %d:%d:%d", {value[0], value[1], value[2], value[3], value[4], value[5]}) +
                            ")");
    ComposeDateTime(date, time, AcquisitionTime);
    if (report)
        report->Add({"Image acquired: ", Format("%.4d-%s-%.2d at %.2d%.2d", {value[0], MonthAbbreviations[value[1] - 1],
                                                                             value[2], value[3], value[4]})});
    CorrectSatelliteCode(SatelliteCode, AcquisitionTime);
    source.Seek(PdusTextOffset);
}

// The standard name's satellite prefix and padded letters.
void PrefixLetters(std::string& name, const std::string& letters, uint8_t code)
{
    const size_t width = code == 6 ? 5 : 3;
    switch (code) {
    case 4: name += "_I"; break;
    case 7: name += "_E"; break;
    case 8: name += "_W"; break;
    case 9: name += "_J"; break;
    default: break;
    }
    if (letters.size() < width)
        name.append(width - letters.size(), '_');
    name += letters;
}

void ReadMeteosat(TSatelliteSource& source, TReportLines* report, uint8_t& SatelliteCode, TDateTime& AcquisitionTime,
                  std::string& StandardName, std::string& ImageFormat)
{
    size_t got = 0;
    const uint8_t* format = source.Read(FormatBlockSize, got);
    if (got < FormatBlockSize)
        return;   // the text block read will come up short as well

    const std::string letters = FormatLetters(format);
    ImageFormat = letters;
    if (report)
        report->Add({"Transmission format: ", letters});
    StandardName = letters;

    source.ReadExact(FormatGapSize, "the header gap after the format block");
    const uint8_t* ident = source.Read(IdentBlockSize, got);
    if (got == IdentBlockSize) {
        SatelliteCode = CodeFromSatelliteWord(GetBE16(ident));
        if (report)
            report->Add({"Interpreted satellite ID: ", SatelliteName(SatelliteCode)});

        const int year = GetBE16(ident + 2);
        const int dayOfYear = GetBE16(ident + 4);
        const int hhmm = GetBE16(ident + 6);
        const int minutes = (hhmm / 100) * 60 + hhmm % 100;
        const int slot = minutes / 30;

        // The day of year and the hhmm word are not range-checked in the
        // files, so the resulting day and time must still be representable.
        // An hhmm that is no time of day (2400, 1275, 65535) would give a slot
        // past 47 and a time on another day than the name's: such a header
        // has no acquisition time, as an impossible date has none.
        const bool timeOfDay = hhmm / 100 < 24 && hhmm % 100 < 60;
        TDateTime january1 = 0, day = 0, time = 0;
        const bool known = timeOfDay && TryEncodeDate(year, 1, 1, january1) &&
                           ComposeDateTime(january1, dayOfYear - 1, day) &&
                           ComposeDateTime(day, (hhmm / 100) / 24.0 + (hhmm % 100) / 1440.0, time);
        // yyyy-mm-dd-ss (date and half-hour slot), then the prefixed letters;
        // built in the caller's string, which keeps its capacity.
        StandardName.clear();
        if (known) {
            int y, m, d;
            DecodeDate(day, y, m, d);
            AppendDigits(StandardName, y, 4);
            StandardName += '-';
            AppendDigits(StandardName, m, 2);
            StandardName += '-';
            AppendDigits(StandardName, d, 2);
            StandardName += '-';
            AppendDigits(StandardName, slot, 2);
            AcquisitionTime = time;
        } else {
            StandardName = "yyyy-mm-dd-ss";
        }
        PrefixLetters(StandardName, letters, SatelliteCode);
        if (report) {
            if (known) {
                // "yyyy-mmm-dd at hhmm" of the acquisition time's own day.
                int y, m, d;
                DecodeDate(time, y, m, d);
                std::string& line = report->Line();
                line += "Image acquired: ";
                AppendDigits(line, y, 4);
                line += '-';
                line += MonthAbbreviations[m - 1];
                line += '-';
                AppendDigits(line, d, 2);
                line += " at ";
                AppendDigits(line, hhmm, 4);
            } else if (!timeOfDay) {
                std::string& line = report->Line();
                line += "Unknown acquisition date/time: the header time ";
                AppendDigits(line, hhmm, 4);
                line += " is not a time of day (0000 to 2359)";
            } else
                report->Add({"Unknown acquisition date/time"});
            report->Add({"Standard name: ", StandardName});
        }
        CorrectSatelliteCode(SatelliteCode, AcquisitionTime);
    }
    source.Seek(source.FilePos() + IdentGapSize);
}

// "<Lead>0.ggggg  space count: s.s" from the digits of a plausible gain and
// space count (or zeros): what "%.5f" and "%.1f" print for their values.
void AddCalibrationLine(TReportLines& report, const char* Lead, int Gain, int Space)
{
    std::string& line = report.Line();
    line += Lead;
    line += "0.";
    AppendDigits(line, Gain, 5);
    line += "  space count: ";
    AppendDigits(line, Space / 10, 1);
    line += '.';
    AppendDigits(line, Space % 10, 1);
}

void ReadHeaderText(TSatelliteSource& source, TReportLines* report, TFormatKind kind)
{
    size_t length = TextBlockSize;
    int frameHeader = 0;
    if (kind == TFormatKind::Hrm || kind == TFormatKind::Mpd)
        frameHeader = ShortFrameLayout.HeaderLength;
    else if (kind == TFormatKind::Rah)
        frameHeader = LongFrameLayout.HeaderLength;
    length += 3 * frameHeader;

    size_t got = 0;
    const uint8_t* bytes = source.Read(length, got);
    if (got < length || !report)
        return;

    TCalibrationDigits digits;
    ParseCalibrationDigits(std::string_view(reinterpret_cast<const char*>(bytes), length), digits);
    AddCalibrationLine(*report, "IR calibration:  gain: ", digits.IrGain, digits.IrSpace);
    AddCalibrationLine(*report, "WV calibration:  gain: ", digits.WvGain, digits.WvSpace);

    if (kind == TFormatKind::Hrm || kind == TFormatKind::Mpd || kind == TFormatKind::Pdu || kind == TFormatKind::Rah) {
        uint8_t block[TextBlockSize + 3 * 11];
        std::memcpy(block, bytes, length);
        if (frameHeader > 0)
            RemoveFrameHeaders(block, frameHeader);
        report->Add({" "});
        DescriptiveText(block + DescriptionOffset, report->Line());
    }
}

// Everything after the open: the source stands at its start.
void ReadOpenedSource(TSatelliteSource& source, TFormatKind kind, uint8_t& SatelliteCode, TStringList* Report,
                      TDateTime& AcquisitionTime, std::string& StandardName, std::string& ImageFormat)
{
    TReportLines lines;
    TReportLines* const report = Report ? &lines : nullptr;
    SatelliteCode = 0;
    if (report)
        report->Add({"Data on: ", source.FileName()});
    if (kind == TFormatKind::Met && report)
        report->Add({"Format is Merrow MET"});

    // Framed formats: the header frame is searched for first; the search's
    // own line, when it has one, comes before the format line.
    const TFrameLayout* layout = nullptr;
    const char* formatLine = nullptr;
    switch (kind) {
    case TFormatKind::Hrm: layout = &ShortFrameLayout; formatLine = "Format is Orbit/SSB"; break;
    case TFormatKind::Mpd: layout = &ShortFrameLayout; formatLine = "Format is Timestep MPD"; break;
    case TFormatKind::Rah: layout = &LongFrameLayout; formatLine = "Format is Tarnwick HRI"; break;
    default: break;
    }
    if (layout) {
        TStringList located;
        LocateHeaderFrame(source, *layout, report ? &located : nullptr);
        if (report) {
            report->Add(located);
            report->Add({formatLine});
        }
    }

    if (kind == TFormatKind::OpenMtp) {
        ReadOpenMtp(source, report, SatelliteCode, AcquisitionTime);
    } else {
        if (kind == TFormatKind::Pdu)
            ReadPdus(source, report, SatelliteCode, AcquisitionTime, ImageFormat);
        else
            ReadMeteosat(source, report, SatelliteCode, AcquisitionTime, StandardName, ImageFormat);
        ReadHeaderText(source, report, kind);
    }

    if (Report)
        lines.MoveTo(*Report);
}

} // namespace

uint8_t SatelliteCodeFromId(std::string_view Id)
{
    if (Id == "M2") return 1;
    if (Id == "P2" || Id == "M3") return 2;
    if (Id == "M4") return 3;
    if (Id == "M5") return 4;
    if (Id == "M6") return 5;
    if (Id == "M7") return 6;
    return 0;
}

void ParseCalibrationText(std::string_view Block, float& IrGain, float& IrSpace, float& WvGain, float& WvSpace)
{
    TCalibrationDigits digits;
    ParseCalibrationDigits(Block, digits);
    IrGain = static_cast<float>(digits.IrGain / 100000.0);
    IrSpace = static_cast<float>(digits.IrSpace / 10.0);
    WvGain = static_cast<float>(digits.WvGain / 100000.0);
    WvSpace = static_cast<float>(digits.WvSpace / 10.0);
}

void ReadOpenMtpHeader(const uint8_t* Record, std::string& RawId, uint8_t& SatelliteCode, int32_t& ChannelNumber,
                       std::string& ChannelLetter, int32_t& Line1, int32_t& Pixel1, int32_t& Lines, int32_t& Pixels,
                       float& Gain, float& SpaceCount, TDateTime& AcquisitionTime)
{
    RawId.assign(reinterpret_cast<const char*>(Record + 32), 2);
    SatelliteCode = SatelliteCodeFromId(RawId);
    Line1 = BigEndian32(Record + 123);
    Pixel1 = BigEndian32(Record + 127);
    Lines = BigEndian32(Record + 131);
    Pixels = BigEndian32(Record + 135);

    const int32_t channel = BigEndian32(Record + 40);
    if (channel >= 1 && channel <= 3) {
        ChannelLetter.assign(1, 'V');
        ChannelNumber = 2;
    } else if (channel >= 4 && channel <= 5) {
        ChannelLetter.assign(1, 'I');
        ChannelNumber = 8;
    } else if (channel >= 6 && channel <= 7) {
        ChannelLetter.assign(1, 'W');
        ChannelNumber = 4;
    }

    const std::string_view record(reinterpret_cast<const char*>(Record), OpenMtpRecordSize);
    int gain, space;
    if (DigitsAt(record, 44, 5, gain) && DigitsAt(record, 49, 3, space)) {
        Gain = static_cast<float>(gain / 100000.0);
        SpaceCount = static_cast<float>(space / 10.0);
    } else {
        Gain = 0;
        SpaceCount = 0;
    }

    const int32_t year = BigEndian32(Record + 8);
    const int32_t dayOfYear = BigEndian32(Record + 12);
    const int32_t slot = BigEndian32(Record + 16);
    TDateTime january1;
    // Computed in double: day and slot are arbitrary 32-bit values.
    TDateTime time;
    if (TryEncodeDate(year, 1, 1, january1) &&
        ComposeDateTime(january1, (static_cast<double>(dayOfYear) - 1.0) + (static_cast<double>(slot) - 1.0) / 48.0, time))
        AcquisitionTime = time;
}

void SwapSixWords(uint8_t* Words)
{
    for (int i = 0; i < 6; ++i)
        std::swap(Words[2 * i], Words[2 * i + 1]);
}

void ReadSatelliteFileInfo(const std::string& FileName, const std::atomic<bool>* Cancel, uint8_t& SatelliteCode,
                           TStringList* Report, TDateTime& AcquisitionTime, std::string& StandardName,
                           std::string& ImageFormat)
{
    ImageFormat.clear();
    AcquisitionTime = 0.0;
    const TFormatKind kind = FormatKindOf(FileName);
    if (kind == TFormatKind::Hdf) {
        if (FileExists(FileName))
            ReadHdfName(FileName, SatelliteCode, AcquisitionTime, StandardName, ImageFormat);
        return;
    }

    // The existence test and the open in one lookup; a missing file (or a
    // folder, pipe or device) returns with the code, name and report untouched.
    TSatelliteFileSource source;   // closed by its destructor on every path
    source.Cancel = Cancel;
    bool exists;
    try {
        exists = source.OpenExisting(FileName);
    } catch (const EInOutError&) {
        SatelliteCode = 0;
        throw;
    }
    if (exists)
        ReadOpenedSource(source, kind, SatelliteCode, Report, AcquisitionTime, StandardName, ImageFormat);
}

void ReadSatelliteFileInfo(const std::string& FileName, uint8_t& SatelliteCode, TStringList* Report,
                           TDateTime& AcquisitionTime, std::string& StandardName, std::string& ImageFormat)
{
    ReadSatelliteFileInfo(FileName, nullptr, SatelliteCode, Report, AcquisitionTime, StandardName, ImageFormat);
}

void ReadSatelliteFileInfo(TSatelliteSource& Source, uint8_t& SatelliteCode, TStringList* Report, TDateTime& AcquisitionTime,
                           std::string& StandardName, std::string& ImageFormat)
{
    ImageFormat.clear();
    AcquisitionTime = 0.0;
    const TFormatKind kind = FormatKindOf(Source.FileName());
    if (kind == TFormatKind::Hdf) {
        ReadHdfName(Source.FileName(), SatelliteCode, AcquisitionTime, StandardName, ImageFormat);
        return;
    }
    Source.Seek(0);
    ReadOpenedSource(Source, kind, SatelliteCode, Report, AcquisitionTime, StandardName, ImageFormat);
}
