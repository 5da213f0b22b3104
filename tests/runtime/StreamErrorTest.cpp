// SPDX-License-Identifier: GPL-3.0-or-later
// A file stream that cannot read or write what it must says which file and why.
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "runtime/Exceptions.h"
#include "runtime/Streams.h"

TEST(StreamErrors, NameTheFileAndTheReason)
{
    const std::string shortFile = (std::filesystem::temp_directory_path() / "quillon-stream-short.bin").string();
    { std::ofstream(shortFile) << "abc"; }
    struct Case {
        const char* what;
        std::string file;
        std::function<void(TFileStream&)> act;
        std::string message;
    };
    char buffer[16] = {};
    const Case cases[] = {
        {"a write to a full device", "/dev/full", [&](TFileStream& s) { s.WriteBuffer(buffer, 8); },
         "Stream write error: \"/dev/full\": No space left on device"},
        {"a read past the end", shortFile, [&](TFileStream& s) { s.ReadBuffer(buffer, 8); },
         "Stream read error: \"" + shortFile + "\": the file ends early"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TFileStream stream(c.file, c.file == "/dev/full" ? fmCreate : fmOpenRead);
        try {
            c.act(stream);
            ADD_FAILURE() << "no error";
        } catch (const Exception& error) {
            EXPECT_EQ(error.Message(), c.message);
        }
    }
    std::filesystem::remove(shortFile);
}
