// Picture decoding speed beside the reference libraries, on the same files
// in the same run:
//   GIF: TGIF::LoadFromStream vs giflib's DGifSlurp;
//   PNG: TPngImage::ReadFromStream vs libpng driven directly with the same
//        transformations.
// Two large images are generated here: a photo-like one (smooth gradients
// with noise, all 256 colours) and a flat one (a few colours in large areas).
#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <png.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "graphics/PngImage.h"
#include "graphics/vkqGIFimage.h"
#include "runtime/Streams.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int W = 2048, H = 1536;

// Index image: photo-like or flat.
Bytes MakeIndices(bool photo)
{
    Bytes px(size_t(W) * H);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(-6, 6);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            int v;
            if (photo)
                v = int(128 + 60 * std::sin(x / 97.0) + 50 * std::cos(y / 71.0 + x / 300.0)) + noise(rng);
            else
                v = ((x / 256) + (y / 192) * 3) % 5 * 40 + ((x - 1000) * (x - 1000) + (y - 700) * (y - 700) < 90000 ? 7 : 0);
            px[size_t(y) * W + x] = uint8_t(std::clamp(v, 0, 255));
        }
    return px;
}

int WriteToBytes(GifFileType* gif, const GifByteType* data, int n)
{
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}

Bytes MakeGif(const Bytes& indices)
{
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, WriteToBytes, &error);
    GifColorType colours[256];
    for (int i = 0; i < 256; ++i)
        colours[i] = GifColorType{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)};
    ColorMapObject* map = GifMakeMapObject(256, colours);
    EGifPutScreenDesc(gif, W, H, 8, 0, map);
    EGifPutImageDesc(gif, 0, 0, W, H, false, nullptr);
    for (int y = 0; y < H; ++y)
        EGifPutLine(gif, const_cast<GifPixelType*>(indices.data() + size_t(y) * W), W);
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

void WritePngBytes(png_structp png, png_bytep data, size_t n)
{
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
void NoFlush(png_structp) {}

Bytes MakePng(const Bytes& indices)
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Bytes rgb(size_t(W) * H * 3);
    for (size_t i = 0; i < indices.size(); ++i) {
        rgb[3 * i] = indices[i];
        rgb[3 * i + 1] = uint8_t(255 - indices[i]);
        rgb[3 * i + 2] = uint8_t(indices[i] * 3);
    }
    std::vector<png_bytep> rows(H);
    for (int y = 0; y < H; ++y)
        rows[y] = rgb.data() + size_t(y) * W * 3;
    if (setjmp(png_jmpbuf(png)))
        abort();
    png_set_write_fn(png, &out, WritePngBytes, NoFlush);
    png_set_IHDR(png, info, W, H, 8, PNG_COLOR_TYPE_RGB, 0, 0, 0);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

const Bytes& GifFile(bool photo)
{
    static Bytes files[2] = {MakeGif(MakeIndices(false)), MakeGif(MakeIndices(true))};
    return files[photo];
}

const Bytes& PngFile(bool photo)
{
    static Bytes files[2] = {MakePng(MakeIndices(false)), MakePng(MakeIndices(true))};
    return files[photo];
}

TMemoryStream StreamOf(const Bytes& b)
{
    TMemoryStream s;
    s.WriteBuffer(b.data(), static_cast<int64_t>(b.size()));
    return s;
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

void BM_GifQuillon(benchmark::State& state)
{
    const Bytes& file = GifFile(state.range(0));
    TMemoryStream s = StreamOf(file);
    TGIF gif;
    for (auto _ : state) {
        s.SetPosition(0);
        gif.LoadFromStream(s);
        benchmark::DoNotOptimize(gif.Bitmap());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H);
    state.SetLabel(state.range(0) ? "photo" : "flat");
}

void BM_GifGiflib(benchmark::State& state)
{
    const Bytes& file = GifFile(state.range(0));
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
    state.SetLabel(state.range(0) ? "photo" : "flat");
}

void BM_PngQuillon(benchmark::State& state)
{
    const Bytes& file = PngFile(state.range(0));
    TMemoryStream s = StreamOf(file);
    TPngImage image;
    for (auto _ : state) {
        s.SetPosition(0);
        image.ReadFromStream(s);
        benchmark::DoNotOptimize(image.ImageData.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H * 3);
    state.SetLabel(state.range(0) ? "photo" : "flat");
}

void ReadBytes(png_structp png, png_bytep data, size_t n)
{
    auto* in = static_cast<MemoryInput*>(png_get_io_ptr(png));
    std::memcpy(data, in->bytes->data() + in->pos, n);
    in->pos += n;
}

// libpng alone, with the reader's transformations, into a buffer allocated
// per read as the reader does.
void BM_PngLibpng(benchmark::State& state)
{
    const Bytes& file = PngFile(state.range(0));
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
        png_set_gamma(png, 2.2, 0.45455);
        png_set_invert_alpha(png);
        png_read_update_info(png, info);
        size_t rowBytes = png_get_rowbytes(png, info);
        image.assign(rowBytes * H, 0);
        rows.resize(H);
        for (int y = 0; y < H; ++y)
            rows[y] = image.data() + y * rowBytes;
        png_read_image(png, rows.data());
        png_read_end(png, info);
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H * 3);
    state.SetLabel(state.range(0) ? "photo" : "flat");
}

} // namespace

BENCHMARK(BM_GifQuillon)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifGiflib)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngQuillon)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngLibpng)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
