// SPDX-License-Identifier: GPL-3.0-or-later
#include "graphics/PictureFiles.h"

#include "graphics/PngImage.h"
#include "runtime/Exceptions.h"
#include "runtime/FileIO.h"
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
    TAtomicOutputFile out(FileName);
    if (ext == ".bmp") {
        Bitmap.SaveToFile(out.TempPath());
    } else {
        TPngImage png;
        png.CopyFromBitmap(Bitmap);
        png.WriteToFile(out.TempPath());
    }
    out.Commit();
}

void LoadPictureAsBitmap(const std::string& FileName, TBitmap& Bitmap)
{
    TPicture picture;
    picture.LoadFromFile(FileName);
    TGraphic* g = picture.Graphic();
    Bitmap.SetPixelFormat(pf24bit);
    Bitmap.SetSize(g->Width(), g->Height());
    Bitmap.Canvas()->StretchDraw(Rect(0, 0, g->Width(), g->Height()), g);
}

void RedrawPictureFile(const std::string& In, const std::string& Out, const std::function<void(TBitmap&)>& Draw)
{
    TBitmap bitmap;
    LoadPictureAsBitmap(In, bitmap);
    if (Draw)
        Draw(bitmap);
    SaveBitmapByExtension(bitmap, Out);
}
