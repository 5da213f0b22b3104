// SPDX-License-Identifier: GPL-3.0-or-later
#include "satellite/SampleFiles.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include <fcntl.h>
#include <unistd.h>

#include "runtime/ByteOrder.h"
#include "runtime/Exceptions.h"
#include "runtime/FileIO.h"
#include "runtime/FileOps.h"

namespace {

void PutBigEndian32(uint8_t* p, int32_t value) { PutBE32(p, static_cast<uint32_t>(value)); }

// Text written into a fixed-size field: cut to size, padded with Pad.
void PutText(uint8_t* p, size_t size, std::string_view text, uint8_t pad)
{
    const size_t n = std::min(size, text.size());
    std::memcpy(p, text.data(), n);
    std::memset(p + n, pad, size - n);
}

// The letters a format block with these flag bytes decodes to.
std::string LettersOf(const TSampleHeader& h)
{
    std::string letters;
    if (h.FirstLetter == 0x00) letters = "A";
    else if (h.FirstLetter == 0x0F) letters = "X";
    else if (h.FirstLetter == 0xFF) letters = "B";
    if (h.Infrared == 0xFF) letters += "I";
    if (h.WaterVapour == 0xFF) letters += "W";
    if (h.Visible1 != 0 || h.Visible2 != 0) {
        letters += "V";
        if (letters == "AIV" || (letters == "XV" && (h.Visible1 == 0xFF || h.Visible2 == 0xFF)))
            letters += "H";
    }
    return letters;
}

void PutFrameHeader(uint8_t* frame, const TFrameLayout& layout, uint8_t type)
{
    std::memcpy(frame + layout.SyncOffset, FrameSync, sizeof FrameSync);
    frame[layout.TypeOffset] = type;
}

// Satellite prefix and padding of a standard name, as the reader builds them.
std::string PrefixedLetters(uint16_t word, const std::string& letters)
{
    int code = 0;
    switch (word) {
    case 0xD4F5: code = 4; break;
    case 0xD4F7: code = 6; break;
    case 0: code = 7; break;
    case 1: code = 8; break;
    case 2: code = 9; break;
    default: break;
    }
    std::string name = letters;
    const size_t width = code == 6 ? 5 : 3;
    if (name.size() < width)
        name.insert(0, width - name.size(), '_');
    if (code == 4) name.insert(0, "_I");
    if (code == 7) name.insert(0, "_E");
    if (code == 8) name.insert(0, "_W");
    if (code == 9) name.insert(0, "_J");
    return name;
}

} // namespace

TSampleHeader WorkedExampleHeader()
{
    return TSampleHeader{};
}

void SetFormatLetters(TSampleHeader& Header, std::string_view Letters)
{
    TSampleHeader h = Header;
    std::string_view rest = Letters;
    h.FirstLetter = 0x01;   // no first letter
    if (!rest.empty() && (rest[0] == 'A' || rest[0] == 'X' || rest[0] == 'B')) {
        h.FirstLetter = rest[0] == 'A' ? 0x00 : rest[0] == 'X' ? 0x0F : 0xFF;
        rest.remove_prefix(1);
    }
    const auto take = [&](char c) {
        if (!rest.empty() && rest[0] == c) {
            rest.remove_prefix(1);
            return true;
        }
        return false;
    };
    h.Infrared = take('I') ? 0xFF : 0x00;
    h.WaterVapour = take('W') ? 0xFF : 0x00;
    const bool visible = take('V');
    const bool high = take('H');
    // A visible flag of 0xFF is what turns XV into XVH; 0x01 leaves it alone.
    h.Visible1 = visible ? (high ? 0xFF : 0x01) : 0x00;
    h.Visible2 = 0x00;
    if (!rest.empty() || LettersOf(h) != Letters)
        throw EConvertError("\"" + std::string(Letters) + "\" is not a set of transmission-format letters a header can carry");
    Header = h;
}

TSampleHeader MakeSampleHeader(uint16_t SatelliteWord, std::string_view Letters, TDateTime When)
{
    TSampleHeader h;
    SetFormatLetters(h, Letters);
    h.SatelliteWord = SatelliteWord;
    int year, month, day, hour, minute, second, msec;
    DecodeDate(When, year, month, day);
    DecodeTime(When, hour, minute, second, msec);
    h.Year = static_cast<uint16_t>(year);
    h.DayOfYear = static_cast<uint16_t>(std::floor(When) - EncodeDate(year, 1, 1) + 1);
    h.Time = static_cast<uint16_t>(hour * 100 + minute);
    return h;
}

TByteVector BuildLogicalHeader(const TSampleHeader& Header)
{
    TByteVector bytes(LogicalHeaderSize, 0);
    uint8_t* format = bytes.data();
    format[0] = Header.Spare;
    format[12] = Header.FirstLetter;
    format[13] = Header.Visible1;
    format[14] = Header.Visible2;
    format[15] = Header.Infrared;
    format[16] = Header.WaterVapour;
    uint8_t* ident = bytes.data() + 32;
    PutBE16(ident + 0, Header.SatelliteWord);
    PutBE16(ident + 2, Header.Year);
    PutBE16(ident + 4, Header.DayOfYear);
    PutBE16(ident + 6, Header.Time);
    uint8_t* text = bytes.data() + HeaderTextOffset;
    PutText(text + 51, 5, Header.IrGain, ' ');
    PutText(text + 56, 3, Header.IrSpace, ' ');
    PutText(text + 64, 5, Header.WvGain, ' ');
    PutText(text + 69, 3, Header.WvSpace, ' ');
    PutText(text + 560, 800, Header.Description, 0);
    return bytes;
}

TByteVector BuildFramedFile(const TSampleHeader& Header, const TFramedOptions& Options, const TFrameLayout& Layout)
{
    const bool everyEighth = Options.FrameType == 'p';
    const int stride = everyEighth ? 8 : 4;
    int copies = std::max(Options.Copies, 0);
    if (Options.NeverAgree)
        copies = std::max(copies, everyEighth ? 33 : 63);
    const int first = std::max(Options.FirstHeaderFrame, 0);
    const int lastHeaderFrame = copies > 0 ? first + (copies - 1) * stride + 3 : first - 1;
    const int frames = std::max(lastHeaderFrame + 1, first) + std::max(Options.ExtraFrames, 0);

    const size_t start = static_cast<size_t>(Layout.SearchStart + std::max(Options.MisalignBy, 0));
    const size_t frameSize = static_cast<size_t>(Layout.FrameSize);
    TByteVector bytes(start + frameSize * frames, 0);
    // A recognisable preamble (the long layout's file header area).
    for (size_t i = 0; i < start; ++i)
        bytes[i] = static_cast<uint8_t>('Q' + i % 7);

    // Image frames everywhere first, header blocks written over them.
    for (int f = 0; f < frames; ++f) {
        uint8_t* frame = bytes.data() + start + f * frameSize;
        PutFrameHeader(frame, Layout, '1');
        for (int i = 0; i < FramePayloadSize; ++i)
            frame[Layout.HeaderLength + i] = static_cast<uint8_t>((f * 31 + i * 7) & 0xFF);
    }
    for (int k = 0; k < copies; ++k) {
        TSampleHeader copy = Header;
        if (Options.NeverAgree)
            copy.Spare = static_cast<uint8_t>(Header.Spare + k + 1);
        if (std::find(Options.AlteredCopies.begin(), Options.AlteredCopies.end(), k) != Options.AlteredCopies.end())
            copy.Spare = static_cast<uint8_t>(copy.Spare ^ 0xA5);
        const TByteVector logical = BuildLogicalHeader(copy);
        for (int part = 0; part < 4; ++part) {
            uint8_t* frame = bytes.data() + start + (first + k * stride + part) * frameSize;
            PutFrameHeader(frame, Layout, part == 0 ? static_cast<uint8_t>(Options.FrameType) : static_cast<uint8_t>('1' + part));
            std::memcpy(frame + Layout.HeaderLength, logical.data() + part * FramePayloadSize, FramePayloadSize);
        }
    }
    if (Options.TruncateAt >= 0 && static_cast<size_t>(Options.TruncateAt) < bytes.size())
        bytes.resize(static_cast<size_t>(Options.TruncateAt));
    return bytes;
}

TByteVector BuildMetFile(const TSampleHeader& Header)
{
    return BuildLogicalHeader(Header);
}

TByteVector BuildPdusFile(const TPdusFields& Fields)
{
    TByteVector bytes(336 + HeaderTextSize, 0);
    PutText(bytes.data() + 14, 6, Fields.SatelliteName, 0);
    PutText(bytes.data() + 20, 6, Fields.ImageType, 0);
    PutText(bytes.data() + 26, 6, Fields.TransmissionFormat, 0);
    const uint16_t words[6] = {Fields.Year, Fields.Month, Fields.Day, Fields.Hour, Fields.Minute, Fields.Second};
    for (int i = 0; i < 6; ++i)
        PutBE16(bytes.data() + 44 + 2 * i, words[i]);
    const TByteVector logical = BuildLogicalHeader(Fields.Text);
    std::memcpy(bytes.data() + 336, logical.data() + HeaderTextOffset, HeaderTextSize);
    return bytes;
}

TByteVector BuildOpenMtpFile(const TOpenMtpFields& Fields)
{
    TByteVector bytes(1345 + 139, 0);
    uint8_t* r = bytes.data() + 1345;
    PutBigEndian32(r + 8, Fields.Year);
    PutBigEndian32(r + 12, Fields.DayOfYear);
    PutBigEndian32(r + 16, Fields.Slot);
    PutText(r + 32, 2, Fields.SatelliteId, ' ');
    PutBigEndian32(r + 40, Fields.Channel);
    PutText(r + 44, 5, Fields.Gain, ' ');
    PutText(r + 49, 3, Fields.SpaceCount, ' ');
    PutBigEndian32(r + 123, Fields.Line1);
    PutBigEndian32(r + 127, Fields.Pixel1);
    PutBigEndian32(r + 131, Fields.Lines);
    PutBigEndian32(r + 135, Fields.Pixels);
    return bytes;
}

void WriteFileBytes(const std::string& FileName, const TByteVector& Bytes)
{
    std::ofstream out(FileName, std::ios::binary | std::ios::trunc);
    if (out)
        out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
    if (!out)
        throw EInOutError(FileName + ": cannot write the file", errno ? errno : 5);
}

bool WriteNewFileBytes(const std::string& FileName, const TByteVector& Bytes)
{
    const int fd = ::open(FileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int error = errno;
        if (error == EEXIST)
            return false;
        throw EInOutError(FileName + ": cannot create the file: " + FileErrorText(error), error);
    }
    if (!WriteAll(fd, Bytes.data(), Bytes.size())) {
        const int error = errno;
        ::close(fd);
        ::unlink(FileName.c_str()); // ours: created above
        throw EInOutError(FileName + ": cannot write the file: " + FileErrorText(error), error);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(FileName.c_str());
        throw EInOutError(FileName + ": cannot write the file: " + FileErrorText(error), error);
    }
    return true;
}

void WriteSampleMpd(const std::string& FileName, uint16_t SatelliteWord, std::string_view Letters, TDateTime When,
                    const TFramedOptions& Options)
{
    WriteFileBytes(FileName, BuildFramedFile(MakeSampleHeader(SatelliteWord, Letters, When), Options));
}

std::vector<TDemoFile> WriteDemoFolder(const std::string& Folder, int Count)
{
    std::error_code ec;
    std::filesystem::create_directories(Folder, ec);
    if (!DirectoryExists(Folder))
        throw EInOutError(Folder + ": cannot create the folder", ec.value() ? ec.value() : 5);
    const std::string dir = IncludeTrailingPathDelimiter(Folder);

    static const uint16_t words[] = {0xD4F7, 0xD4F5, 0, 1, 2, 0xD4F7, 0x1234};
    static const char* const letters[] = {"AIVH", "AIW", "BIV", "XVH", "AI", "XV", "B", "AIWV"};
    static const int slotMinutes[] = {0, 30, 745, 750, 1110, 1439, 600, 95};

    std::vector<TDemoFile> files;
    std::set<std::string> written;
    for (int i = 0; i < Count; ++i) {
        const uint16_t word = words[i % 7];
        std::string letterSet = letters[i % 8];
        int year = 1995 + (i * 5) % 24;                 // 1995..2018
        int dayOfYear = 1 + (i * 47) % 365;
        int minutes = slotMinutes[i % 8];
        std::string name = Format("img%.5d.mpd", {10000 + i * 37});
        bool listed = true;
        TFramedOptions options;
        options.FrameType = i % 3 == 2 ? 'p' : '0';
        options.FirstHeaderFrame = i % 5;
        options.ExtraFrames = 2 + i % 3;
        if (i % 11 == 4) {                               // one early copy disagrees
            options.AlteredCopies = {0};
            options.Copies = 4;
        }

        switch (i % 12) {
        case 5:   // a file already standard-named is left out by its name
        case 10:
            listed = false;
            break;
        case 6:   // acquired before 1985
            year = 1984;
            listed = false;
            break;
        case 7:   // acquired in the future
            year = 2099;
            listed = false;
            break;
        case 8:   // acquired recently
            year = 2024;
            break;
        case 9:   // a header the window does not recognise: no format letters
            letterSet.clear();
            listed = false;
            break;
        case 11:  // a name shorter than 5 characters
            if (i == 11) {
                name = ".mpd";
                listed = false;
            }
            break;
        default: break;
        }

        TSampleHeader header;
        SetFormatLetters(header, letterSet);
        header.SatelliteWord = word;
        header.Year = static_cast<uint16_t>(year);
        header.DayOfYear = static_cast<uint16_t>(dayOfYear);
        header.Time = static_cast<uint16_t>((minutes / 60) * 100 + minutes % 60);
        header.Description = Format("Quillon demo file %d\r\nSatellite word %d, letters %s\r\n", {i, word, letterSet});

        const TDateTime day = EncodeDate(year, 1, 1) + (dayOfYear - 1);
        const std::string standard =
            FormatDateTime("yyyy-mm-dd-", day) + Format("%.2d", {minutes / 30}) + PrefixedLetters(word, letterSet);
        if (i % 12 == 5 || i % 12 == 10)
            name = standard + ".mpd";
        if (written.count(name) != 0) {
            // Two demo files with the same standard name: keep the counter name.
            name = Format("img%.5d.mpd", {10000 + i * 37});
            listed = true;
        }

        const bool created = WriteNewFileBytes(dir + name, BuildFramedFile(header, options));
        written.insert(name);
        files.push_back({name, listed, listed ? standard : std::string(), created});
    }
    return files;
}

TArchiveTree WriteArchiveTree(const std::string& Folder, int Days)
{
    if (Days < 1 || Days > 366)
        throw EConvertError("the archive tree spans 1 to 366 days, not " + std::to_string(Days));
    TArchiveTree tree;
    const TDateTime start = EncodeDate(2005, 3, 1);
    int counter = 0;
    const auto folderOf = [&](TDateTime when) {
        const std::string dir = IncludeTrailingPathDelimiter(Folder) + FormatDateTime("yyyy/mm", when);
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        if (!DirectoryExists(dir))
            throw EInOutError(dir + ": cannot create the folder", ec.value() ? ec.value() : 5);
        return dir + "/";
    };
    const auto write = [&](const std::string& path, const TByteVector& bytes) {
        if (WriteNewFileBytes(path, bytes))
            tree.Files.push_back(path);
        else
            ++tree.Skipped;
    };
    struct TStream {
        uint16_t Word;
        const char* Letters;
        const char* Ext;
        int Step;   // slots between files
    };
    static const TStream streams[] = {{0xD4F7, "AIVH", ".mpd", 1}, {0xD4F5, "XIV", ".met", 6}, {0, "BIV", ".hrm", 12}};
    for (int day = 0; day < Days; ++day) {
        for (const TStream& s : streams) {
            for (int slot = 0; slot < 48; slot += s.Step) {
                const bool met7 = s.Word == 0xD4F7;
                if (s.Word == 0 && day >= 10 && day < 14)
                    continue;   // a receiver out of service for four days
                if (met7 && ((day == 1 && slot >= 20 && slot < 26) || (day == 3 && slot < 4))) {
                    ++tree.MissingSlots;
                    continue;
                }
                const TDateTime when = start + day + slot / 48.0;
                const std::string dir = folderOf(when);
                TSampleHeader header = MakeSampleHeader(s.Word, s.Letters, when);
                header.Description = Format("Quillon archive sample %d\r\n", {counter});
                ++counter;
                std::string name = Format("img%.6d", {counter}) + s.Ext;
                if (met7 && counter % 10 == 0)
                    name = FormatDateTime("yyyy-mm-dd-", when) + Format("%.2d", {slot}) +
                           PrefixedLetters(s.Word, s.Letters) + s.Ext;
                const std::string path = dir + name;
                if (std::string(s.Ext) == ".met") {
                    write(path, BuildMetFile(header));
                } else {
                    TFramedOptions options;
                    options.ExtraFrames = counter % 3;
                    write(path, BuildFramedFile(header, options));
                }
                // A few copies under other names, and a different file
                // proposing the same name.
                if (met7 && slot == 12 && day % 7 == 0) {
                    TByteVector bytes;
                    TFramedOptions options;
                    options.ExtraFrames = counter % 3;
                    write(dir + "copy-of-" + name, BuildFramedFile(header, options));
                    options.ExtraFrames += 1;
                    write(dir + "again-" + name, BuildFramedFile(header, options));
                }
            }
        }
    }
    // Two files no reader can identify: a cut MPD file and a PDUS file of a
    // few bytes.
    const std::string dir = folderOf(start);
    TFramedOptions cut;
    cut.TruncateAt = 1000;
    write(dir + "damaged.mpd", BuildFramedFile(MakeSampleHeader(0xD4F7, "AIVH", start), cut));
    tree.Unreadable.push_back(dir + "damaged.mpd");
    write(dir + "short.pdu", TByteVector(40, 0x20));
    tree.Unreadable.push_back(dir + "short.pdu");
    return tree;
}
