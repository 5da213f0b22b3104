// SPDX-License-Identifier: GPL-3.0-or-later
// Picture decoding speed beside a reference on the same files in the same
// run, each pair measured back to back, and a table of ratios at the end
// (ours / reference; below 1 is faster):
//   GIF: TGIF::LoadFromStream vs giflib's DGifSlurp, both from memory;
//   PNG: TPngImage::ReadFromStream vs libpng driven directly with the same
//        transformations, both from memory;
//   PNG writing: a 24-bit bitmap written by TPngImage::WriteBitmapToStream
//        (row by row from the scan lines, as pictures are saved) and by
//        CopyFromBitmap + WriteToStream (a whole copy first, as they were
//        saved before) vs libpng driven directly over the same scan lines
//        with the same settings (compression level 3, filters none, sub and
//        up, blue and red swapped by libpng), all into memory;
//   BMP: TExtBitmap::LoadFromFile vs the floor of reading the file's bytes
//        into memory (open, size, read).
// The pictures: a photo-like image (smooth gradients with noise, all 256
// colours) and a flat one (a few colours in large areas), 2048 x 1536; GIF
// also interlaced and with a local colour table, PNG also as a palette image
// and with 16-bit samples; BMP 4096 x 4096 at 24 and at 8 bits.
//
//   build-bench/bench/bench_pictures --benchmark_repetitions=3
//       --benchmark_report_aggregates_only=true   (one command line)
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <gif_lib.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "graphics/ExtBitmap.h"
#include "graphics/PngImage.h"
#include "graphics/Gif.h"
#include "runtime/Streams.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int W = 2048, H = 1536;

// Index image: photo-like or flat.
Bytes MakeIndices(bool photo, int w = W, int h = H)
{
    Bytes px(size_t(w) * h);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(-6, 6);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int v;
            if (photo)
                v = int(128 + 60 * std::sin(x / 97.0) + 50 * std::cos(y / 71.0 + x / 300.0)) + noise(rng);
            else
                v = ((x / 256) + (y / 192) * 3) % 5 * 40 + ((x - 1000) * (x - 1000) + (y - 700) * (y - 700) < 90000 ? 7 : 0);
            px[size_t(y) * w + x] = uint8_t(std::clamp(v, 0, 255));
        }
    return px;
}

const Bytes& Indices(bool photo)
{
    static Bytes images[2];
    if (images[photo].empty())
        images[photo] = MakeIndices(photo);
    return images[photo];
}

// ---- GIF ---------------------------------------------------------------------------

int WriteToBytes(GifFileType* gif, const GifByteType* data, int n)
{
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}

// A GIF of the indices; interlaced rows are written in pass order, a local
// table replaces the global one.
Bytes MakeGif(const Bytes& indices, bool interlaced, bool localTable)
{
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, WriteToBytes, &error);
    GifColorType colours[256];
    for (int i = 0; i < 256; ++i)
        colours[i] = GifColorType{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)};
    ColorMapObject* map = GifMakeMapObject(256, colours);
    EGifPutScreenDesc(gif, W, H, 8, 0, localTable ? nullptr : map);
    EGifPutImageDesc(gif, 0, 0, W, H, interlaced, localTable ? map : nullptr);
    std::vector<int> rows;
    if (interlaced) {
        static const int passes[4][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
        for (const auto& p : passes)
            for (int y = p[0]; y < H; y += p[1])
                rows.push_back(y);
    } else {
        for (int y = 0; y < H; ++y)
            rows.push_back(y);
    }
    for (int y : rows)
        EGifPutLine(gif, const_cast<GifPixelType*>(indices.data() + size_t(y) * W), W);
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

struct MemoryInput {
    const Bytes* bytes;
    size_t pos;
};

int ReadFromBytes(GifFileType* gif, GifByteType* data, int n)
{
    auto* in = static_cast<MemoryInput*>(gif->UserData);
    size_t k = std::min<size_t>(size_t(n), in->bytes->size() - in->pos);
    std::memcpy(data, in->bytes->data() + in->pos, k);
    in->pos += k;
    return int(k);
}

void GifQuillon(benchmark::State& state, const Bytes& file)
{
    TMemoryStream s;
    s.WriteBuffer(file.data(), static_cast<int64_t>(file.size()));
    TGIF gif;
    for (auto _ : state) {
        s.SetPosition(0);
        gif.LoadFromStream(s);
        benchmark::DoNotOptimize(gif.Bitmap());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H);
}

void GifGiflib(benchmark::State& state, const Bytes& file)
{
    for (auto _ : state) {
        MemoryInput in{&file, 0};
        int error = 0;
        GifFileType* gif = DGifOpen(&in, ReadFromBytes, &error);
        if (DGifSlurp(gif) != GIF_OK)
            state.SkipWithError("giflib failed");
        benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits);
        DGifCloseFile(gif, &error);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H);
}

// ---- PNG ---------------------------------------------------------------------------

void WritePngBytes(png_structp png, png_bytep data, size_t n)
{
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
void NoFlush(png_structp) {}

enum PngKind { RGB8, Palette8, RGB16 };

// A PNG of the indices as RGB colours (8 or 16 bits a sample) or as a
// palette image.
Bytes MakePng(const Bytes& indices, PngKind kind)
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    const int samples = kind == Palette8 ? 1 : 3, bytesPerSample = kind == RGB16 ? 2 : 1;
    const size_t rowBytes = size_t(W) * samples * bytesPerSample;
    Bytes data(rowBytes * H);
    for (size_t i = 0; i < indices.size(); ++i) {
        const uint8_t v = indices[i];
        if (kind == Palette8) {
            data[i] = v;
            continue;
        }
        const uint8_t rgb[3] = {v, uint8_t(255 - v), uint8_t(v * 3)};
        for (int c = 0; c < 3; ++c) {
            if (kind == RGB16) {
                data[6 * i + 2 * c] = rgb[c];
                data[6 * i + 2 * c + 1] = uint8_t(rgb[c] ^ (i & 0xFF));
            } else {
                data[3 * i + c] = rgb[c];
            }
        }
    }
    std::vector<png_bytep> rows(H);
    for (int y = 0; y < H; ++y)
        rows[y] = data.data() + size_t(y) * rowBytes;
    if (setjmp(png_jmpbuf(png)))
        abort();
    png_set_write_fn(png, &out, WritePngBytes, NoFlush);
    png_set_IHDR(png, info, W, H, kind == RGB16 ? 16 : 8, kind == Palette8 ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB,
                 0, 0, 0);
    if (kind == Palette8) {
        png_color palette[256];
        for (int i = 0; i < 256; ++i)
            palette[i] = png_color{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)};
        png_set_PLTE(png, info, palette, 256);
    }
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

void PngQuillon(benchmark::State& state, const Bytes& file)
{
    TMemoryStream s;
    s.WriteBuffer(file.data(), static_cast<int64_t>(file.size()));
    TPngImage image;
    for (auto _ : state) {
        s.SetPosition(0);
        image.ReadFromStream(s);
        benchmark::DoNotOptimize(image.ImageData.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.ImageData.size()));
}

void ReadBytes(png_structp png, png_bytep data, size_t n)
{
    auto* in = static_cast<MemoryInput*>(png_get_io_ptr(png));
    std::memcpy(data, in->bytes->data() + in->pos, n);
    in->pos += n;
}

// libpng alone with the reader's transformations for these pictures (a
// palette expanded to RGB, 16-bit samples swapped to little-endian, the
// default gamma, inverted alpha), into a buffer allocated per read.
void PngLibpng(benchmark::State& state, const Bytes& file)
{
    size_t bytes = 0;
    for (auto _ : state) {
        MemoryInput in{&file, 0};
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        Bytes image;
        std::vector<png_bytep> rows;
        if (setjmp(png_jmpbuf(png)))
            abort();
        png_set_read_fn(png, &in, ReadBytes);
        png_read_info(png, info);
        if (png_get_color_type(png, info) == PNG_COLOR_TYPE_PALETTE)
            png_set_palette_to_rgb(png);
        png_set_gamma(png, 2.2, 0.45455);
        png_set_invert_alpha(png);
        if (png_get_bit_depth(png, info) == 16)
            png_set_swap(png);
        png_read_update_info(png, info);
        const size_t rowBytes = png_get_rowbytes(png, info);
        const uint32_t height = png_get_image_height(png, info);
        image.assign(rowBytes * height, 0);
        rows.resize(height);
        for (uint32_t y = 0; y < height; ++y)
            rows[y] = image.data() + y * rowBytes;
        png_read_image(png, rows.data());
        png_read_end(png, info);
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(image.data());
        bytes = image.size();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

// A 24-bit bitmap of the indices as colours, for the writers.
void FillBitmap(TBitmap& bitmap, const Bytes& indices)
{
    bitmap.SetPixelFormat(pf24bit);
    bitmap.SetSize(W, H);
    for (int y = 0; y < H; ++y) {
        uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < W; ++x) {
            const uint8_t v = indices[size_t(y) * W + x];
            row[3 * x] = uint8_t(v * 3);
            row[3 * x + 1] = uint8_t(255 - v);
            row[3 * x + 2] = v;
        }
    }
}

const TBitmap& BitmapOf(bool photo)
{
    static TBitmap bitmaps[2];
    if (bitmaps[photo].Empty())
        FillBitmap(bitmaps[photo], Indices(photo));
    return bitmaps[photo];
}

void PngWriteRows(benchmark::State& state, const bool& photo)
{
    const TBitmap& bitmap = BitmapOf(photo);
    TMemoryStream s;
    for (auto _ : state) {
        s.SetPosition(0);
        TPngImage image;
        image.WriteBitmapToStream(bitmap, s);
        benchmark::DoNotOptimize(s.Memory());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H * 3);
}

void PngWriteCopy(benchmark::State& state, const bool& photo)
{
    const TBitmap& bitmap = BitmapOf(photo);
    TMemoryStream s;
    for (auto _ : state) {
        s.SetPosition(0);
        TPngImage image;
        image.CopyFromBitmap(bitmap);
        image.WriteToStream(s);
        benchmark::DoNotOptimize(s.Memory());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H * 3);
}

// libpng alone: the bitmap's scan lines written row by row.
void PngWriteLibpng(benchmark::State& state, const bool& photo)
{
    const TBitmap& bitmap = BitmapOf(photo);
    Bytes out;
    for (auto _ : state) {
        out.clear();
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png)))
            abort();
        png_set_write_fn(png, &out, WritePngBytes, NoFlush);
        png_set_compression_level(png, 3);
        png_set_IHDR(png, info, W, H, 8, PNG_COLOR_TYPE_RGB, 0, 0, 0);
        png_write_info(png, info);
        png_set_filter(png, 0, PNG_FILTER_NONE | PNG_FILTER_SUB | PNG_FILTER_UP);
        png_set_bgr(png);
        for (int y = 0; y < H; ++y)
            png_write_row(png, bitmap.ScanLine(y));
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H * 3);
}

// ---- BMP ---------------------------------------------------------------------------

constexpr int BmpSide = 4096;

// A 4096 x 4096 BMP file of the given depth in the temporary folder.
std::string MakeBmpFile(int bpp)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(bpp == 8 ? pf8bit : pf24bit);
    bitmap.SetSize(BmpSide, BmpSide);
    if (bpp == 8) {
        TPalette palette(256);
        for (int i = 0; i < 256; ++i)
            palette[i] = TPaletteEntry{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3), 0};
        bitmap.SetPalette(palette);
    }
    const Bytes image = MakeIndices(true, BmpSide, BmpSide);
    for (int y = 0; y < BmpSide; ++y) {
        uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < BmpSide * (bpp / 8); ++x)
            row[x] = uint8_t(image[size_t(y) * BmpSide + x / (bpp / 8)] + x % 3);
    }
    const std::string path =
        (std::filesystem::temp_directory_path() / ("quillon-bench-" + std::to_string(::getpid()) + "-" +
                                                   std::to_string(bpp) + ".bmp")).string();
    bitmap.SaveToFile(path);
    return path;
}

struct BmpFiles {
    std::string path24 = MakeBmpFile(24), path8 = MakeBmpFile(8);
    ~BmpFiles()
    {
        std::remove(path24.c_str());
        std::remove(path8.c_str());
    }
};

const std::string& BmpFile(int bpp)
{
    static BmpFiles files;
    return bpp == 8 ? files.path8 : files.path24;
}

void BmpQuillon(benchmark::State& state, const std::string& path)
{
    for (auto _ : state) {
        TExtBitmap bitmap;
        bitmap.LoadFromFile(path);
        benchmark::DoNotOptimize(bitmap.ScanLine(0));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(std::filesystem::file_size(path)));
}

// The floor: the file's bytes read into memory.
void BmpReadBytes(benchmark::State& state, const std::string& path)
{
    for (auto _ : state) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        ::fstat(fd, &st);
        Bytes bytes(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                break;
            done += size_t(n);
        }
        ::close(fd);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(std::filesystem::file_size(path)));
}

// ---- the pairs and the table of ratios -----------------------------------------------

struct Pair {
    std::string name, reference;
};
std::vector<Pair> pairs;

// Registers ours and the reference on the same input, made on first use.
template <class Input>
void AddPair(const std::string& name, const char* reference, void (*ours)(benchmark::State&, const Input&),
             void (*theirs)(benchmark::State&, const Input&), std::type_identity_t<std::function<Input()>> make)
{
    pairs.push_back({name, reference});
    auto made = std::make_shared<std::optional<Input>>();
    auto input = [=]() -> const Input& {
        if (!*made)
            *made = make();
        return **made;
    };
    benchmark::RegisterBenchmark((name + "/quillon").c_str(), [=](benchmark::State& s) { ours(s, input()); })
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((name + "/" + reference).c_str(), [=](benchmark::State& s) { theirs(s, input()); })
        ->Unit(benchmark::kMillisecond);
}

// Prints the usual console output, then each pair's CPU times (the medians
// when the runs are repeated) and their ratio. CPU time rather than wall
// time: on a shared machine the wall time counts other programs' turns.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (single || run.aggregate_name == "median")
                times_[run.run_name.function_name] = run.GetAdjustedCPUTime();
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%-22s %12s %12s %-10s %7s\n", "picture", "quillon cpu", "reference cpu", "reference", "ratio");
        for (const Pair& p : pairs) {
            auto ours = times_.find(p.name + "/quillon"), theirs = times_.find(p.name + "/" + p.reference);
            if (ours == times_.end() || theirs == times_.end())
                continue;
            std::printf("%-22s %12.2f %12.2f %-10s %6.2fx\n", p.name.c_str(), ours->second, theirs->second,
                        p.reference.c_str(), ours->second / theirs->second);
        }
    }

private:
    std::map<std::string, double> times_;
};

} // namespace

int main(int argc, char** argv)
{
    AddPair("gif/photo", "giflib", GifQuillon, GifGiflib, [] { return MakeGif(Indices(true), false, false); });
    AddPair("gif/flat", "giflib", GifQuillon, GifGiflib, [] { return MakeGif(Indices(false), false, false); });
    AddPair("gif/photo-interlaced", "giflib", GifQuillon, GifGiflib, [] { return MakeGif(Indices(true), true, false); });
    AddPair("gif/flat-local-table", "giflib", GifQuillon, GifGiflib, [] { return MakeGif(Indices(false), false, true); });
    AddPair("png/photo", "libpng", PngQuillon, PngLibpng, [] { return MakePng(Indices(true), RGB8); });
    AddPair("png/flat", "libpng", PngQuillon, PngLibpng, [] { return MakePng(Indices(false), RGB8); });
    AddPair("png/palette", "libpng", PngQuillon, PngLibpng, [] { return MakePng(Indices(true), Palette8); });
    AddPair("png/photo-16-bit", "libpng", PngQuillon, PngLibpng, [] { return MakePng(Indices(true), RGB16); });
    AddPair("png-write/photo", "libpng", PngWriteRows, PngWriteLibpng, [] { return true; });
    AddPair("png-write/flat", "libpng", PngWriteRows, PngWriteLibpng, [] { return false; });
    AddPair("png-write-copy/photo", "libpng", PngWriteCopy, PngWriteLibpng, [] { return true; });
    AddPair("png-write-copy/flat", "libpng", PngWriteCopy, PngWriteLibpng, [] { return false; });
    AddPair("bmp/4096-24-bit", "read-bytes", BmpQuillon, BmpReadBytes, [] { return BmpFile(24); });
    AddPair("bmp/4096-8-bit", "read-bytes", BmpQuillon, BmpReadBytes, [] { return BmpFile(8); });

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
