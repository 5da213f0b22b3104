#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/Streams.h"

namespace fs = std::filesystem;

namespace {

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
