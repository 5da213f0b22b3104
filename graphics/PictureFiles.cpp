// SPDX-License-Identifier: GPL-3.0-or-later
#include "graphics/PictureFiles.h"

#include "graphics/PngImage.h"
#include "runtime/Exceptions.h"
#include "runtime/FileIO.h"
#include "runtime/Streams.h"
#include "runtime/SysUtils.h"

bool CanSaveBitmapAs(const std::string& FileName)
{
    const std::string ext = LowerCase(ExtractFileExt(FileName));
    return ext == ".bmp" || ext == ".png";
}

void SaveBitmapByExtension(TBitmap& Bitmap, const std::string& FileName)
{
    const std::string ext = LowerCase(ExtractFileExt(FileName));
    if (ext != ".bmp" && ext != ".png")
        throw EInvalidOperation("Cannot write \"" + FileName + "\": the name must end in .bmp or .png");
    // Failures name FileName, not the temporary file that stands for it.
    NamingFileInErrors("Cannot write", FileName, [&] {
        TAtomicOutputFile out(FileName);
        {
            TFileStream stream(out.TempPath(), fmCreate);
            stream.SetShownName(FileName);
            if (ext == ".bmp") {
                Bitmap.SaveToStream(stream);
            } else {
                // Row by row from the bitmap: the picture is not copied.
                TPngImage png;
                png.WriteBitmapToStream(Bitmap, stream);
            }
        }
        out.Commit();
    });
}

void LoadPictureAsBitmap(const std::string& FileName, TBitmap& Bitmap)
{
    NamingFileInErrors("Cannot read", FileName, [&] {
        TPicture picture;
        picture.LoadFromFile(FileName);
        TGraphic* g = picture.Graphic();
        // The readers hold their pictures to the size policy; the 24-bit
        // bitmap is held to it too, before it is allocated.
        if (!BitmapSizeAllowed(g->Width(), g->Height(), 24))
            throw EOutOfMemory(PictureSizeRefusal(g->Width(), g->Height(), 24));
        Bitmap.SetPixelFormat(pf24bit);
        Bitmap.SetSize(g->Width(), g->Height());
        Bitmap.Canvas()->StretchDraw(Rect(0, 0, g->Width(), g->Height()), g);
    });
}

void RedrawPictureFile(const std::string& In, const std::string& Out, const std::function<void(TBitmap&)>& Draw)
{
    TBitmap bitmap;
    LoadPictureAsBitmap(In, bitmap);
    if (Draw)
        Draw(bitmap);
    SaveBitmapByExtension(bitmap, Out);
}
