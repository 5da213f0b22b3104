// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli picture: the picture formats through the picture registry.
//   picture info [--json] FILE...   load each file by its extension and describe it
//   picture convert IN OUT          draw IN onto a new 24-bit bitmap, write OUT (.bmp or .png)
//   picture dump IN OUT             write the decoder's own pixel buffer (GIF, PNG)
// OUT is replaced only by a complete file, and never when it is IN itself.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "graphics/ExtBitmap.h"
#include "graphics/PictureFiles.h"
#include "graphics/PngImage.h"
#include "graphics/Gif.h"
#include "runtime/FileIO.h"
#include "runtime/Graphics.h"
#include "runtime/Streams.h"
#include "runtime/SysUtils.h"

namespace {

using nlohmann::json;

// The class the registry would use for a file, for reporting a failed load.
std::string ClassFor(const std::string& fileName)
{
    const TFileFormat* format = TPicture::FindFileFormat(ExtractFileExt(fileName));
    if (!format)
        return "";
    return format->GraphicClass.Create()->ClassName();
}

json Describe(const std::string& fileName, const TPicture* picture, const std::string* error)
{
    json o;
    PutJsonText(o, "file", fileName);
    o["ok"] = error == nullptr;
    PutJsonText(o, "error", error);
    if (error) {
        std::string cls = ClassFor(fileName);
        o["class"] = cls.empty() ? json(nullptr) : json(cls);
        o["width"] = nullptr;
        o["height"] = nullptr;
        o["empty"] = nullptr;
        return o;
    }
    TGraphic* g = picture->Graphic();
    o["class"] = g->ClassName();
    o["width"] = g->Width();
    o["height"] = g->Height();
    o["empty"] = g->Empty();
    if (auto* gif = dynamic_cast<TGIF*>(g)) {
        o["bits_per_pixel"] = gif->BitsPerPixel();
        o["interlaced"] = gif->Interlaced();
        o["transparent"] = gif->TransparentFlag();
        o["transparent_index"] = gif->TransparentIndex();
    } else if (auto* png = dynamic_cast<TPngGraphic*>(g)) {
        const TPngImage& im = *png->Image();
        o["bit_depth"] = im.BitDepth;
        o["color_type"] = im.ColorType;
        o["channels"] = im.Channels;
        o["row_bytes"] = im.RowBytes;
        o["interlace_type"] = im.InterlaceType;
        o["passes"] = im.Passes;
        o["background_color"] = im.BackgroundColor;
        o["transparent"] = im.Transparent;
        o["file_gamma"] = im.FileGamma;
        o["palette_count"] = im.PaletteCount;
        PutJsonTexts(o, "text", im.TextList);
        PutJsonText(o, "title", im.Title);
        PutJsonText(o, "author", im.Author);
        PutJsonText(o, "description", im.Description);
        o["last_modified_iso"] = im.LastModified != 0 ? json(DateTimeToIso(im.LastModified)) : json(nullptr);
    } else if (auto* bmp = dynamic_cast<TExtBitmap*>(g)) {
        o["bits_per_pixel"] = bmp->FileInfo().BitsPerPixel;
        o["palette_count"] = bmp->GetPalette().size();
        o["repair"] = BmpRepairName(bmp->LastRepair());
    }
    return o;
}

std::string DescribeLine(const std::string& fileName, const TPicture* picture, const std::string* error)
{
    std::string line = EscapeText(fileName) + "\t";
    if (error)
        return line + "error: " + EscapeText(*error);
    TGraphic* g = picture->Graphic();
    line += std::string(g->ClassName()) + "\t" + std::to_string(g->Width()) + "x" + std::to_string(g->Height());
    if (auto* gif = dynamic_cast<TGIF*>(g))
        line += "\t" + std::to_string(gif->BitsPerPixel()) + " bpp" + (gif->Interlaced() ? "\tinterlaced" : "") +
                (gif->TransparentFlag() ? "\ttransparent " + std::to_string(gif->TransparentIndex()) : "");
    else if (auto* png = dynamic_cast<TPngGraphic*>(g))
        line += "\tdepth " + std::to_string(png->Image()->BitDepth) + "\tcolour type " +
                std::to_string(png->Image()->ColorType) + (png->Image()->InterlaceType ? "\tinterlaced" : "");
    else if (auto* bmp = dynamic_cast<TExtBitmap*>(g))
        line += "\t" + std::to_string(bmp->FileInfo().BitsPerPixel) + " bpp\trepair " + BmpRepairName(bmp->LastRepair());
    return line;
}

int Info(const std::vector<std::string>& files, bool asJson)
{
    int status = ExitSuccess;
    json list = json::array();
    for (const std::string& file : files) {
        TPicture picture;
        std::string error;
        bool ok = true;
        try {
            picture.LoadFromFile(file);
        } catch (const std::exception& e) {
            error = e.what();
            ok = false;
            status = ExitItemFailed;
        }
        if (asJson)
            list.push_back(Describe(file, &picture, ok ? nullptr : &error));
        else
            std::printf("%s\n", DescribeLine(file, &picture, ok ? nullptr : &error).c_str());
    }
    if (asJson)
        PrintJson(list);
    return status;
}

// OUT naming the very file IN names would lose the picture being read.
bool RefusedAsSameFile(const char* command, const std::string& in, const std::string& out)
{
    if (!IsSameFile(in, out))
        return false;
    UsageError(command, EscapeText(in) + " and " + EscapeText(out) +
                            " are the same file: refusing to write over the input");
    return true;
}

// OUT is written whole to a temporary file beside it and renamed into place
// only when complete: a failure leaves OUT as it was.
int Convert(const std::string& in, const std::string& out)
{
    if (!CanSaveBitmapAs(out))
        return UsageError("picture convert", "cannot write '" + EscapeText(out) + "': the output must end in .bmp or .png");
    if (RefusedAsSameFile("picture convert", in, out))
        return ExitUsage;
    // A new, black 24-bit bitmap of the picture's own size; the picture
    // draws itself on it (a GIF through its palette, a PNG by its painting
    // rules, a bitmap as it is), without masking by Transparent.
    RedrawPictureFile(in, out);
    return ExitSuccess;
}

int Dump(const std::string& in, const std::string& out)
{
    if (RefusedAsSameFile("picture dump", in, out))
        return ExitUsage;
    TPicture picture;
    picture.LoadFromFile(in);
    TGraphic* g = picture.Graphic();
    std::vector<uint8_t> bytes;
    if (auto* gif = dynamic_cast<TGIF*>(g)) {
        // Width x height colour indices, rows top-down.
        if (const TBitmap* b = gif->Bitmap())
            for (int y = 0; y < b->Height(); ++y)
                bytes.insert(bytes.end(), b->ScanLine(y), b->ScanLine(y) + b->Width());
    } else if (auto* png = dynamic_cast<TPngGraphic*>(g)) {
        const TPngImage& im = *png->Image();
        bytes.assign(im.ImageData.begin(), im.ImageData.begin() + size_t(im.Height) * im.RowBytes);
    } else {
        std::fprintf(stderr, "quillon-cli picture: %s: dump writes GIF and PNG pixel buffers only\n",
                     EscapeText(in).c_str());
        return ExitItemFailed;
    }
    TAtomicOutputFile file(out);
    {
        TFileStream stream(file.TempPath(), fmCreate);
        stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    }
    file.Commit();
    return ExitSuccess;
}

} // namespace

int RunPicture(int argc, char** argv)
{
    CLI::App app{"Load pictures through the picture registry (GIF, PNG, BMP by extension): describe, "
                 "convert or dump them.",
                 "quillon-cli picture"};
    app.require_subcommand(1);
    app.footer("Exit status: 0 success, 1 some file failed, 2 usage error.");

    bool asJson = false;
    std::vector<std::string> files;
    auto* info = app.add_subcommand("info", "describe each file; with --json one JSON array, one object per file");
    info->add_flag("--json", asJson, "print JSON");
    info->add_option("FILE", files, "picture files")->required();

    std::string in, out;
    auto* convert = app.add_subcommand("convert", "draw IN onto a new 24-bit bitmap and write OUT by its extension (.bmp, .png)");
    convert->add_option("IN", in, "picture to read")->required();
    convert->add_option("OUT", out, "file to write (.bmp or .png)")->required();
    auto* dump = app.add_subcommand("dump", "write the decoder's pixel buffer of a GIF or PNG file to OUT");
    dump->add_option("IN", in, "GIF or PNG file")->required();
    dump->add_option("OUT", out, "file to write")->required();

    if (std::optional<int> status = ParseCommandLine(app, argc, argv, "picture"))
        return *status;

    if (info->parsed())
        return Info(files, asJson);
    try {
        return convert->parsed() ? Convert(in, out) : Dump(in, out);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillon-cli picture: %s\n", e.what());
        return ExitItemFailed;
    }
}
