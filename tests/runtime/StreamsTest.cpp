// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "runtime/Streams.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

TMemoryStream StreamOf(const Bytes& bytes)
{
    TMemoryStream s;
    if (!bytes.empty())
        s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    return s;
}

Bytes BytesOf(TMemoryStream& s) { return Bytes(s.Memory(), s.Memory() + s.Size()); }

struct ScratchFolder {
    fs::path path;
    ScratchFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "quillon-streams-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~ScratchFolder() { fs::remove_all(path); }
};

} // namespace

// Opening anything but a regular file fails at once with a clear error. The
// FIFO has a writer, so an open that accepted it would return rather than
// hang: the test fails, it does not block.
TEST(FileStream, OpensOnlyRegularFiles)
{
    ScratchFolder dir;
    const fs::path fifo = dir.path / "picture.png";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    std::ofstream(dir.path / "plain.bin") << "bytes";

    const struct {
        fs::path path;
        const char* reason;
    } cases[] = {
        {fifo, "It is not a regular file"},
        {"/dev/null", "It is not a regular file"},
        {dir.path, "Is a directory"},
    };
    for (const auto& c : cases)
        for (uint16_t mode : {fmOpenRead, fmOpenReadWrite}) {
            SCOPED_TRACE(c.path.string() + " mode " + std::to_string(mode));
            try {
                TFileStream stream(c.path.string(), mode | fmShareDenyWrite);
                ADD_FAILURE() << "opened";
            } catch (const EFOpenError& e) {
                EXPECT_EQ(e.Message(), "Cannot open file \"" + c.path.string() + "\". " + c.reason);
            }
        }
    ::close(writer);

    TFileStream plain((dir.path / "plain.bin").string(), fmOpenRead);
    char bytes[5];
    plain.ReadBuffer(bytes, 5);
    EXPECT_EQ(std::string(bytes, 5), "bytes");
}

TEST(Streams, ReadErrorsAndCopies)
{
    TMemoryStream m = StreamOf({1, 2, 3});
    uint8_t buf[4];
    EXPECT_THROW(m.ReadBuffer(buf, 4), EReadError);
    m.SetPosition(1);
    TMemoryStream copy;
    EXPECT_EQ(copy.CopyFrom(m, 2), 2);
    EXPECT_EQ(BytesOf(copy), (Bytes{2, 3}));
    EXPECT_EQ(copy.CopyFrom(m, 0), 3); // 0: the whole source from its start
    EXPECT_EQ(BytesOf(copy), (Bytes{2, 3, 1, 2, 3}));
    copy.SetSize(1);
    EXPECT_EQ(copy.Position(), 1);

    std::string path = std::filesystem::temp_directory_path() / "quillon-stream-test.bin";
    {
        TFileStream f(path, fmCreate);
        Bytes data(40000);
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = uint8_t(i * 7);
        f.WriteBuffer(data.data(), 40000);
    }
    TFileStream f(path, fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(f.Size(), 40000);
    f.SetPosition(39999);
    f.ReadBuffer(buf, 1);
    EXPECT_EQ(buf[0], uint8_t(39999 * 7));
    f.SetPosition(3);
    f.ReadBuffer(buf, 2);
    EXPECT_EQ(buf[1], uint8_t(4 * 7));
    f.SetPosition(39998);
    EXPECT_THROW(f.ReadBuffer(buf, 4), EReadError);
    std::filesystem::remove(path);
}

// A file stream's failures say which file and why, in the system's words.
TEST(FileStream, FailuresNameTheFileAndTheReason)
{
    ScratchFolder dir;
    const std::string shortFile = (dir.path / "short.bin").string();
    std::ofstream(shortFile, std::ios::binary) << "abc";
    uint8_t buf[8] = {};
    struct Case {
        std::string name, shown;
        bool writing;
        std::string want;
    } cases[] = {
        {"/dev/full", "", true, "Stream write error: cannot write \"/dev/full\": No space left on device"},
        {"/dev/full", "out.bmp", true, "Stream write error: cannot write \"out.bmp\": No space left on device"},
        {shortFile, "", false, "Stream read error: cannot read \"" + shortFile + "\": the file ends at byte 3, 5 bytes short"},
    };
    for (const Case& c : cases) {
        TFileStream s(c.name, c.writing ? fmCreate : fmOpenRead);
        if (!c.shown.empty())
            s.SetShownName(c.shown);
        try {
            c.writing ? s.WriteBuffer(buf, 8) : s.ReadBuffer(buf, 8);
            ADD_FAILURE() << c.want;
        } catch (const EStreamError& e) {
            EXPECT_EQ(e.Message(), c.want);
        }
    }
}
