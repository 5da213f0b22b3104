// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers shared by the picture tests: byte builders and corpus access.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/Streams.h"

using Bytes = std::vector<uint8_t>;

inline TMemoryStream StreamOf(const Bytes& bytes)
{
    TMemoryStream s;
    if (!bytes.empty())
        s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    return s;
}

inline Bytes BytesOf(TMemoryStream& s) { return Bytes(s.Memory(), s.Memory() + s.Size()); }

inline void Put16(Bytes& b, uint32_t v) { b.push_back(v & 0xFF); b.push_back((v >> 8) & 0xFF); }
inline void Put32(Bytes& b, uint32_t v) { Put16(b, v & 0xFFFF); Put16(b, v >> 16); }

// A folder of the picture corpora in tests/data/pictures. The corpora are
// part of the checkout: a missing folder fails the test that asked for it.
inline std::filesystem::path PictureCorpus(const char* sub)
{
    std::filesystem::path p = std::filesystem::path(QUILLON_CORPUS_DIR) / "pictures" / sub;
    EXPECT_TRUE(std::filesystem::is_directory(p)) << "picture corpus missing: " << p;
    return p;
}

inline std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& dir, const std::string& ext)
{
    std::vector<std::filesystem::path> files;
    if (!std::filesystem::is_directory(dir))
        return files;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.is_regular_file() && e.path().extension() == ext)
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

// Packs LZW codes least significant bit first, with the code size growing
// as a decoder's would; `sizes` gives each code's width.
inline Bytes PackCodes(const std::vector<std::pair<int, int>>& codesAndSizes)
{
    Bytes out;
    uint32_t acc = 0;
    int bits = 0;
    for (auto [code, size] : codesAndSizes) {
        acc |= uint32_t(code) << bits;
        bits += size;
        while (bits >= 8) {
            out.push_back(acc & 0xFF);
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0)
        out.push_back(acc & 0xFF);
    return out;
}

// A GIF file around raw LZW data: header, screen (with an optional global
// table of 2^bpp entries), optional extensions, one image descriptor.
struct GifSpec {
    int screenWidth = 0, screenHeight = 0;
    int width = 4, height = 1;
    int bpp = 2;                  // global colour table size field + 1
    bool globalTable = true;
    bool interlaced = false;
    int localBpp = 0;             // 0: no local table
    std::vector<uint32_t> global; // RGB triples as 0xRRGGBB, padded with 0
    std::vector<uint32_t> local;
    Bytes extensions;             // raw extension blocks before the image
    int minCodeSize = 2;
    Bytes data;                   // the LZW bytes (split into sub-blocks)
    bool terminator = true;
    Bytes trailer = {0x3B};
};

inline Bytes BuildGif(const GifSpec& g)
{
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    Put16(b, g.screenWidth ? g.screenWidth : g.width);
    Put16(b, g.screenHeight ? g.screenHeight : g.height);
    b.push_back(static_cast<uint8_t>((g.globalTable ? 0x80 : 0) | (g.bpp - 1)));
    b.push_back(0);
    b.push_back(0);
    auto table = [&](const std::vector<uint32_t>& colours, int bpp) {
        for (int i = 0; i < (1 << bpp); ++i) {
            uint32_t c = i < int(colours.size()) ? colours[i] : 0;
            b.push_back((c >> 16) & 0xFF);
            b.push_back((c >> 8) & 0xFF);
            b.push_back(c & 0xFF);
        }
    };
    if (g.globalTable)
        table(g.global, g.bpp);
    b.insert(b.end(), g.extensions.begin(), g.extensions.end());
    b.push_back(0x2C);
    Put16(b, 0);
    Put16(b, 0);
    Put16(b, g.width);
    Put16(b, g.height);
    b.push_back(static_cast<uint8_t>((g.interlaced ? 0x40 : 0) | (g.localBpp ? 0x80 | (g.localBpp - 1) : 0)));
    if (g.localBpp)
        table(g.local, g.localBpp);
    b.push_back(static_cast<uint8_t>(g.minCodeSize));
    for (size_t i = 0; i < g.data.size(); i += 255) {
        size_t n = std::min<size_t>(255, g.data.size() - i);
        b.push_back(static_cast<uint8_t>(n));
        b.insert(b.end(), g.data.begin() + i, g.data.begin() + i + n);
    }
    if (g.terminator)
        b.push_back(0);
    b.insert(b.end(), g.trailer.begin(), g.trailer.end());
    return b;
}

// A graphic control extension.
inline Bytes Gce(bool transparent, uint8_t index)
{
    return {0x21, 0xF9, 4, static_cast<uint8_t>(transparent ? 1 : 0), 0, 0, index, 0};
}

// Codes of an uncompressed stream: a clear, the pixels as literals with a
// clear often enough that the code size never grows, an end code.
inline Bytes LiteralCodes(const std::vector<int>& pixels, int minCodeSize)
{
    std::vector<std::pair<int, int>> codes;
    int clear = 1 << minCodeSize, size = minCodeSize + 1;
    int room = (1 << size) - clear - 2 - 1;
    codes.push_back({clear, size});
    int run = 0;
    for (int p : pixels) {
        if (run == room) {
            codes.push_back({clear, size});
            run = 0;
        }
        codes.push_back({p, size});
        ++run;
    }
    codes.push_back({clear + 1, size});
    return PackCodes(codes);
}
