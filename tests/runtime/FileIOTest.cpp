// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/Exceptions.h"
#include "runtime/FileIO.h"

namespace fs = std::filesystem;

namespace {

struct ScratchFolder {
    fs::path path;
    ScratchFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "quillon-fileio-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~ScratchFolder() { fs::remove_all(path); }
};

std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteText(const fs::path& p, const std::string& text)
{
    std::ofstream(p, std::ios::binary) << text;
}

size_t EntryCount(const fs::path& folder)
{
    return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

} // namespace

TEST(AtomicOutputFile, TargetUntouchedUntilCommitThenReplaced)
{
    ScratchFolder d;
    const auto target = d.path / "out.png";
    WriteText(target, "old");
    {
        TAtomicOutputFile out(target.string());
        WriteText(out.TempPath(), "new");
        EXPECT_EQ(ReadAll(target), "old");
        out.Commit();
    }
    EXPECT_EQ(ReadAll(target), "new");
    EXPECT_EQ(EntryCount(d.path), 1u);
}

TEST(AtomicOutputFile, WriterThatFailsLeavesTargetAndNoTemporary)
{
    ScratchFolder d;
    const auto target = d.path / "out.png";
    WriteText(target, "old");
    try {
        TAtomicOutputFile out(target.string());
        WriteText(out.TempPath(), "half");
        throw EInvalidGraphic("broken input");
    } catch (const EInvalidGraphic&) {
    }
    EXPECT_EQ(ReadAll(target), "old");
    EXPECT_EQ(EntryCount(d.path), 1u);
}

TEST(AtomicOutputFile, CommitReplacesALinkNotItsTarget)
{
    ScratchFolder d;
    WriteText(d.path / "elsewhere.txt", "keep");
    fs::create_symlink(d.path / "elsewhere.txt", d.path / "out.bmp");
    TAtomicOutputFile out((d.path / "out.bmp").string());
    WriteText(out.TempPath(), "new");
    out.Commit();
    EXPECT_EQ(ReadAll(d.path / "elsewhere.txt"), "keep");
    EXPECT_FALSE(fs::is_symlink(d.path / "out.bmp"));
}

TEST(AtomicOutputFile, NewFileTakesTheUmaskModeAndAReplacedFileKeepsItsMode)
{
    ScratchFolder d;
    const mode_t old = ::umask(027);
    {
        TAtomicOutputFile out((d.path / "new.png").string());
        out.Commit();
    }
    ::umask(old);
    EXPECT_EQ(fs::status(d.path / "new.png").permissions(), fs::perms(0640));

    WriteText(d.path / "kept.png", "old");
    fs::permissions(d.path / "kept.png", fs::perms(0604));
    {
        TAtomicOutputFile out((d.path / "kept.png").string());
        out.Commit();
    }
    EXPECT_EQ(fs::status(d.path / "kept.png").permissions(), fs::perms(0604));
}

TEST(AtomicOutputFile, FolderThatCannotTakeAFileRaises)
{
    EXPECT_THROW(TAtomicOutputFile("/nonexistent-folder/out.png"), EFCreateError);
}

TEST(IsSameFile, NamesOfOneFile)
{
    ScratchFolder d;
    WriteText(d.path / "a", "x");
    WriteText(d.path / "b", "x");
    fs::create_hard_link(d.path / "a", d.path / "hard");
    EXPECT_TRUE(IsSameFile((d.path / "a").string(), (d.path / "hard").string()));
    EXPECT_TRUE(IsSameFile((d.path / "a").string(), (d.path / "." / "a").string()));
    EXPECT_FALSE(IsSameFile((d.path / "a").string(), (d.path / "b").string()));
    EXPECT_FALSE(IsSameFile((d.path / "a").string(), (d.path / "missing").string()));
}

TEST(IsPlainFileName, OnlyNamesThatStayInTheirFolder)
{
    using namespace std::string_literals;
    const std::pair<std::string, bool> cases[] = {
        {"a.mpd", true}, {"..a", true}, {"a\\b", true}, {"\xFF.mpd", true},
        {"", false}, {".", false}, {"..", false}, {"a/b", false}, {"../a", false}, {"/a", false}, {"a\0b"s, false},
    };
    for (const auto& [name, plain] : cases)
        EXPECT_EQ(IsPlainFileName(name), plain) << name;
}

TEST(ReadWholeFileTest, ReadsRegularFilesAndNamesWhatItCannotRead)
{
    ScratchFolder scratch;
    WriteText(scratch.path / "text", "abc\n");
    struct TCase {
        const char* name;
        size_t maxSize;
        int error;
    };
    const TCase cases[] = {
        {"text", SIZE_MAX, 0},
        {"text", 4, 0},
        {"text", 3, EFBIG},
        {"missing", SIZE_MAX, ENOENT},
        {".", SIZE_MAX, EISDIR},
    };
    for (const TCase& c : cases) {
        std::string text = "old";
        EXPECT_EQ(ReadWholeFile((scratch.path / c.name).string(), text, c.maxSize), c.error) << c.name << " " << c.maxSize;
        if (c.error == 0) {
            EXPECT_EQ(text, "abc\n");
        }
    }
}

TEST(KeepFileAside, KeepsTheFileUnderTheFirstFreeNameAndNeverReplaces)
{
    struct Case {
        TKeepAside how;
        bool originalStays;
    };
    for (const Case c : {Case{TKeepAside::Move, false}, Case{TKeepAside::Copy, true}}) {
        ScratchFolder d;
        const auto file = d.path / "store";
        const auto aside = d.path / "store.old";
        WriteText(file, "damaged");
        WriteText(aside, "taken");
        std::string keptAs;
        ASSERT_EQ(KeepFileAside(file.string(), aside.string(), c.how, keptAs), 0);
        EXPECT_EQ(keptAs, aside.string() + "-2");
        EXPECT_EQ(ReadAll(keptAs), "damaged");
        EXPECT_EQ(ReadAll(aside), "taken");
        EXPECT_EQ(fs::exists(file), c.originalStays);
        EXPECT_EQ(KeepFileAside((d.path / "missing").string(), aside.string(), c.how, keptAs), ENOENT);
    }
}

TEST(OpenRegularFile, OpensOnlyRegularFilesAndNeverWaitsOnAPipe)
{
    ScratchFolder d;
    WriteText(d.path / "file", "12345");
    ASSERT_EQ(::mkfifo((d.path / "pipe").c_str(), 0600), 0);
    fs::create_symlink(d.path / "file", d.path / "link");
    struct Case {
        const char* name;
        bool opens;
    };
    for (const Case c : {Case{"file", true}, Case{"link", true}, Case{"pipe", false}, Case{"missing", false},
                         Case{".", false}}) {
        int error = -1;
        int64_t size = -1;
        const int fd = OpenRegularFile((d.path / c.name).string(), size, error);
        EXPECT_EQ(fd >= 0, c.opens) << c.name;
        EXPECT_EQ(error, 0) << c.name;
        if (fd >= 0) {
            EXPECT_EQ(size, 5);
            ::close(fd);
        }
    }
}
