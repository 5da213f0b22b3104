// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TExtBitmap: the runtime's bitmap with a more tolerant loader for Windows
// BMP files, registered for "BMP" in the place of TBitmap at start-up. It
// repairs three kinds of file that ordinary loaders reject or misread:
//   1. 8-bit files declaring 200 (or 224) colours used and important whose
//      full 256-entry colour table is nevertheless there (pixels at 1078):
//      the unused entries are cut out and the pixel offset moved with them;
//   2. 8-bit files 2080 pixels wide whose image-size field is wrong: the
//      field is corrected;
//   3. any file the loader fails on: one retry without its last two bytes.
#include <memory>

#include "graphics/Histogram.h"
#include "runtime/BmpCodec.h"
#include "runtime/Graphics.h"

enum TBmpRepair { brNone, brColourTable, brImageSize, brTrimmed };

class TExtBitmap : public TBitmap {
public:
    TExtBitmap();
    ~TExtBitmap() override;

    const char* ClassName() const override { return "TExtBitmap"; }
    void LoadFromStream(TStream& stream) override;
    // A 24-bit bitmap drops its palette first, then saves as any graphic.
    void SaveToFile(const std::string& fileName) override;

    TvkqHistogram* Histogram() const { return histogram_.get(); }
    // Which path of the loader produced the current pixels.
    TBmpRepair LastRepair() const { return lastRepair_; }
    // Header facts of the file as the loader read it.
    const TBmpFileInfo& FileInfo() const { return fileInfo_; }

private:
    void PlatformLoad(TStream& stream);

    std::unique_ptr<TvkqHistogram> histogram_;
    TBmpRepair lastRepair_ = brNone;
    TBmpFileInfo fileInfo_;
};

// "none", "colour-table", "image-size" or "trimmed".
const char* BmpRepairName(TBmpRepair repair);

// Start-up of the unit: TBitmap leaves the picture registry and TExtBitmap
// takes "BMP" ("Windows bitmap"). It stays registered until exit.
void InitializeBMPExtImage();
