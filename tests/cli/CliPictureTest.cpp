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
