// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "graphics/ExtBitmap.h"
#include "graphics/PngImage.h"
#include "graphics/Gif.h"

// Every picture kind loads through a file stream, which takes only regular
// files: a FIFO under a picture's name is refused at once instead of blocking.
TEST(Pictures, FifoUnderAPictureNameIsRefused)
{
    InitializeGIFImage();
    InitializePngImage();
    InitializeBMPExtImage();
    std::string pattern = (std::filesystem::temp_directory_path() / "quillon-fifo-XXXXXX").string();
    const std::filesystem::path dir = ::mkdtemp(pattern.data());
    for (const char* name : {"a.gif", "a.png", "a.bmp"}) {
        SCOPED_TRACE(name);
        const std::filesystem::path fifo = dir / name;
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        const int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK); // an open that accepted it returns
        TPicture picture;
        EXPECT_THROW(picture.LoadFromFile(fifo.string()), EFOpenError);
        ::close(writer);
    }
    std::filesystem::remove_all(dir);
    FinalizeGIFImage();
    FinalizePngImage();
}
