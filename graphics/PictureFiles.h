// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pictures as files: a picture of any registered format drawn onto a new
// 24-bit bitmap, a bitmap saved by its file name's extension without ever
// leaving a half-written file behind, and the two together.
#include <functional>
#include <string>

#include "runtime/Graphics.h"

// True when SaveBitmapByExtension can write this name: it ends in .bmp or
// .png, in any case.
bool CanSaveBitmapAs(const std::string& FileName);

// Writes Bitmap to FileName as BMP or PNG by its extension, through a
// temporary file in the same folder renamed into place when complete: on any
// failure FileName is as it was. Raises EInvalidOperation for another
// extension, and the writer's own exceptions on failure, naming FileName.
void SaveBitmapByExtension(TBitmap& Bitmap, const std::string& FileName);

// Loads FileName through the picture registry and draws it at its own size
// onto Bitmap, made a new black 24-bit bitmap of that size (a GIF through its
// palette, a PNG by its painting rules, a bitmap as it is; no transparency
// masking). Failures name FileName.
void LoadPictureAsBitmap(const std::string& FileName, TBitmap& Bitmap);

// LoadPictureAsBitmap(In), then Draw on that bitmap when given, then
// SaveBitmapByExtension(Out): a picture file redrawn as a BMP or PNG file.
void RedrawPictureFile(const std::string& In, const std::string& Out,
                       const std::function<void(TBitmap&)>& Draw = nullptr);
