// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli picture: info, convert and dump through the real program.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "graphics/PngImage.h"
#include "runtime/Graphics.h"
#include "runtime/Streams.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct Result {
    int status;
    std::string out;
};

Result RunPictureCli(const std::string& args)
{
    std::string command = std::string("QT_QPA_PLATFORM=offscreen '") + QUILLON_CLI + "' picture " + args + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    Result r{-1, ""};
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.out.append(buffer, n);
    int status = ::pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

void WriteFile(const fs::path& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A 2 x 2 GIF: colours red, green, blue, white; index 3 transparent.
Bytes SmallGif()
{
    return {'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x81, 0, 0,
            255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255,
            0x21, 0xF9, 4, 1, 0, 0, 3, 0,
            0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0,
            2, 3, 0x44, 0x34, 0x05, 0, 0x3B};
}

class CliPicture : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("quillon-clipicture-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string P(const char* name) const { return (dir / name).string(); }
    fs::path dir;
};

} // namespace

TEST_F(CliPicture, InfoDescribesEachFileAndGoesOnAfterAFailure)
{
    WriteFile(P("a.GIF"), SmallGif());
    WriteFile(P("bad.gif"), {'G', 'I', 'F', '8', '9', 'x', 0, 0});
    WriteFile(P("b.xyz"), {1, 2, 3});
    TBitmap bitmap;
    bitmap.SetSize(3, 2);
    TPngImage png;
    png.CopyFromBitmap(bitmap);
    png.Title = "Overlay";
    png.WriteToFile(P("c.png"));

    Result r = RunPictureCli("info --json " + P("a.GIF") + " " + P("bad.gif") + " " + P("b.xyz") + " " + P("c.png"));
    EXPECT_EQ(r.status, 1);
    nlohmann::json list = nlohmann::json::parse(r.out);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0]["class"], "TGIF");
    EXPECT_EQ(list[0]["ok"], true);
    EXPECT_EQ(list[0]["error"], nullptr);
    EXPECT_EQ(list[0]["width"], 2);
    EXPECT_EQ(list[0]["transparent"], true);
    EXPECT_EQ(list[0]["transparent_index"], 3);
    EXPECT_EQ(list[0]["bits_per_pixel"], 2);
    EXPECT_EQ(list[1]["ok"], false);
    EXPECT_EQ(list[1]["error"], "Not a GIF file (bad version in header)");
    EXPECT_EQ(list[1]["class"], "TGIF");
    EXPECT_EQ(list[2]["error"], "Unknown picture file extension (.xyz)");
    EXPECT_EQ(list[3]["class"], "TPngGraphic");
    EXPECT_EQ(list[3]["title"], "Overlay");
    EXPECT_EQ(list[3]["author"], "");
    EXPECT_EQ(list[3]["channels"], 3);
    EXPECT_EQ(list[3]["row_bytes"], 9);
    EXPECT_TRUE(list[3]["last_modified_iso"].is_string());
    EXPECT_EQ(list[3]["file_gamma"], 0.0);
}

// A backslash in a PNG text value or a file name is one backslash after JSON
// decoding, with no "_bytes" field: the text is exact.
TEST_F(CliPicture, JsonTextDecodesToTheTextItself)
{
    TBitmap bitmap;
    bitmap.SetSize(1, 1);
    TPngImage png;
    png.CopyFromBitmap(bitmap);
    png.Title = "C:\\maps\\europe";
    png.Description = "a\\nb";
    png.WriteToFile(P("back\\slash.png"));

    nlohmann::json list = nlohmann::json::parse(RunPictureCli("info --json '" + P("back\\slash.png") + "'").out);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]["file"], P("back\\slash.png"));
    EXPECT_EQ(list[0]["title"], "C:\\maps\\europe");
    EXPECT_EQ(list[0]["description"], "a\\nb");
    for (const char* key : {"file_bytes", "title_bytes", "description_bytes", "text_bytes"})
        EXPECT_FALSE(list[0].contains(key)) << key;
}

TEST_F(CliPicture, ConvertDrawsThroughThePaletteAndDumpWritesIndices)
{
    WriteFile(P("a.gif"), SmallGif());
    EXPECT_EQ(RunPictureCli("convert " + P("a.gif") + " " + P("a.bmp")).status, 0);
    TBitmap b;
    b.LoadFromFile(P("a.bmp"));
    EXPECT_EQ(b.PixelFormat(), pf24bit);
    EXPECT_EQ(b.GetPixelColor(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(b.GetPixelColor(1, 0), RGB(0, 255, 0));
    EXPECT_EQ(b.GetPixelColor(0, 1), RGB(0, 0, 255));
    EXPECT_EQ(b.GetPixelColor(1, 1), ColorToRGB(clBtnFace)); // transparent index, no main form

    EXPECT_EQ(RunPictureCli("convert " + P("a.bmp") + " " + P("a.png")).status, 0);
    TPngImage png;
    png.ReadFromFile(P("a.png"));
    EXPECT_EQ(png.Width, 2u);
    EXPECT_EQ(png.ImageData[0], 255);

    EXPECT_EQ(RunPictureCli("dump " + P("a.gif") + " " + P("a.idx")).status, 0);
    EXPECT_EQ(ReadFile(P("a.idx")), (Bytes{0, 1, 2, 3}));
    EXPECT_EQ(RunPictureCli("dump " + P("a.bmp") + " " + P("b.idx")).status, 1);
    EXPECT_EQ(RunPictureCli("dump " + P("missing.gif") + " " + P("c.idx")).status, 1);
}

TEST_F(CliPicture, Usage)
{
    EXPECT_EQ(RunPictureCli("").status, 2);
    EXPECT_EQ(RunPictureCli("info").status, 2);
    EXPECT_EQ(RunPictureCli("--help").status, 0);
    EXPECT_EQ(RunPictureCli("convert a.gif b.tif").status, 2);
}

namespace {

// A 24-bit BMP of width x 1 pixels, all black.
Bytes WideBmp(uint32_t width)
{
    const uint32_t row = (width * 3 + 3) / 4 * 4;
    Bytes b(54 + row, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k)
            b[at + k] = uint8_t(v >> (8 * k));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, uint32_t(b.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, width);
    put32(22, 1);
    b[26] = 1;  // planes
    b[28] = 24; // bits per pixel
    put32(34, row);
    return b;
}

} // namespace

// A failed convert or dump leaves OUT as it was (the output goes through a
// temporary file renamed into place when complete), and OUT naming IN itself
// is refused.
TEST_F(CliPicture, OutputIsReplacedOnlyWhenCompleteAndNeverWhenItIsTheInput)
{
    WriteFile(P("a.gif"), SmallGif());
    Bytes broken = SmallGif();
    broken.resize(20);
    WriteFile(P("broken.gif"), broken);
    WriteFile(P("wide.bmp"), WideBmp(1000001)); // wider than libpng writes
    ASSERT_EQ(RunPictureCli("convert " + P("a.gif") + " " + P("a.bmp")).status, 0);
    const mode_t mask = ::umask(022);
    ::umask(mask);
    // A new output file gets the mode any new file gets, not the temporary's 0600.
    EXPECT_EQ(static_cast<mode_t>(fs::status(P("a.bmp")).permissions()) & 0777, 0666 & ~mask);
    fs::create_hard_link(P("a.bmp"), P("link.bmp"));
    const struct {
        std::string args;
        int status;
        const char* kept; // a file that must be as it was
    } cases[] = {
        {"convert " + P("wide.bmp") + " " + P("k.png"), 1, "k.png"},
        {"convert " + P("broken.gif") + " " + P("k.bmp"), 1, "k.bmp"},
        {"dump " + P("broken.gif") + " " + P("k.idx"), 1, "k.idx"},
        {"convert " + P("a.bmp") + " " + P("a.bmp"), 2, "a.bmp"},
        {"convert " + P("a.bmp") + " " + P("link.bmp"), 2, "a.bmp"},
        {"dump " + P("a.gif") + " " + (dir / "." / "a.gif").string(), 2, "a.gif"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        if (!fs::exists(P(c.kept)))
            WriteFile(P(c.kept), Bytes{'o', 'l', 'd'});
        const Bytes before = ReadFile(P(c.kept));
        EXPECT_EQ(RunPictureCli(c.args).status, c.status);
        EXPECT_EQ(ReadFile(P(c.kept)), before);
    }
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
}
