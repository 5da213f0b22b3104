// SPDX-License-Identifier: GPL-3.0-or-later
// Directory enumeration attributes, the wildcard matcher and the rename that
// never replaces.
#include <cerrno>
#include <map>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "tests/components/ScanTestSupport.h"
#include "runtime/FileOps.h"

namespace {

struct MaskCase {
    const char* name;
    const char* mask;
    bool matches;
};

class MaskTest : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskTest, Matches)
{
    const MaskCase& c = GetParam();
    EXPECT_EQ(MatchesMask(c.name, c.mask), c.matches) << c.name << " ~ " << c.mask;
}

INSTANTIATE_TEST_SUITE_P(Wildcards, MaskTest,
    ::testing::Values(MaskCase{"00001234.mpd", "*.mpd", true},
                      MaskCase{"00001234.MPD", "*.mpd", true},
                      MaskCase{"00001234.Mpd", "*.MPD", true},
                      MaskCase{"00001234.mpdx", "*.mpd", false},
                      MaskCase{"00001234.mp", "*.mpd", false},
                      MaskCase{".mpd", "*.mpd", true},
                      MaskCase{"a.b.mpd", "*.mpd", true},
                      MaskCase{"abc", "a?c", true},
                      MaskCase{"ac", "a?c", false},
                      MaskCase{"abbc", "a?c", false},
                      MaskCase{"noext", "*.*", true},
                      MaskCase{"x.y", "*.*", true},
                      MaskCase{"", "*", true},
                      MaskCase{"", "", true},
                      MaskCase{"a", "", false},
                      MaskCase{"aaab", "*a*b", true},
                      MaskCase{"abcabd", "*ab?", true},
                      MaskCase{"abcabe", "*abd", false},
                      MaskCase{"x\xE9y.mpd", "x?y.mpd", true},
                      MaskCase{"\xC9T\xC9.MPD", "\xE9t\xE9.mpd", false})); // only ASCII folds

TEST(MaskTest, LongPatternsStayFast)
{
    // A backtracking matcher without bounds would take exponential time here.
    std::string name(5000, 'a');
    std::string mask;
    for (int i = 0; i < 200; ++i)
        mask += "*a";
    mask += "b";
    EXPECT_FALSE(MatchesMask(name, mask));
}

class FindTest : public TScanScratch {
protected:
    // name -> attributes of everything FindFirst/FindNext return for mask with attr.
    std::map<std::string, int> Find(const std::string& mask, int attr)
    {
        std::map<std::string, int> found;
        TSearchRec rec;
        for (int r = FindFirst(folder + "/" + mask, attr, rec); r == 0; r = FindNext(rec))
            found[rec.Name] = rec.Attr;
        FindClose(rec);
        return found;
    }
};

TEST_F(FindTest, AttributesOfEntryKinds)
{
    WriteText(InFolder("plain.mpd"), "x");
    WriteText(InFolder(".hidden.mpd"), "x");
    std::filesystem::create_directory(InFolder("sub"));
    std::filesystem::create_directory(InFolder(".hiddensub"));
    std::filesystem::create_directory_symlink(InFolder("sub"), InFolder("linked"));
    std::filesystem::create_symlink(InFolder("plain.mpd"), InFolder("filelink.mpd"));
    std::filesystem::create_symlink(InFolder("nowhere"), InFolder("dangling.mpd"));
    ASSERT_EQ(mkfifo(InFolder("fifo.mpd").c_str(), 0600), 0);

    auto all = Find("*", faAnyFile);
    EXPECT_EQ(all.count("fifo.mpd"), 0u);
    EXPECT_EQ(all.count("dangling.mpd"), 0u);
    EXPECT_EQ(all["plain.mpd"], faArchive);
    EXPECT_EQ(all["filelink.mpd"], faArchive);
    EXPECT_EQ(all[".hidden.mpd"], faArchive | faHidden);
    EXPECT_EQ(all["sub"], faDirectory);
    EXPECT_EQ(all[".hiddensub"], faDirectory | faHidden);
    EXPECT_EQ(all["linked"], faDirectory | faSysFile);

    // Not asking for hidden, system or folders leaves only plain files.
    auto plain = Find("*", 0);
    std::set<std::string> names;
    for (auto& [name, attr] : plain)
        names.insert(name);
    EXPECT_EQ(names, (std::set<std::string>{"filelink.mpd", "plain.mpd"}));

    auto folders = Find("*.*", faDirectory);
    EXPECT_EQ(folders.count("sub"), 1u);
    EXPECT_EQ(folders.count("linked"), 0u);
    EXPECT_EQ(folders.count(".hiddensub"), 0u);
}

TEST_F(FindTest, SocketIsNeverReturned)
{
    std::string path = InFolder("sock.mpd");
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    auto found = Find("*", faAnyFile);
    found.erase(".");
    found.erase("..");
    EXPECT_TRUE(found.empty());
    close(fd);
}

TEST_F(FindTest, MissingFolderAndNoMatchReportErrors)
{
    TSearchRec rec;
    EXPECT_EQ(FindFirst(folder + "/missing/*", faAnyFile, rec), ENOENT);
    EXPECT_EQ(FindFirst(folder + "/*.mpd", faAnyFile, rec), ENOENT);
    EXPECT_EQ(rec.FindHandle, nullptr);
}

TEST_F(FindTest, ReadOnlyAttribute)
{
    WriteText(InFolder("ro.mpd"), "x");
    chmod(InFolder("ro.mpd").c_str(), 0444);
    EXPECT_EQ(Find("ro.mpd", 0)["ro.mpd"], faArchive | faReadOnly);
}

class RenameTest : public TScanScratch,
                   public ::testing::WithParamInterface<bool> {
protected:
    bool Rename(const std::string& from, const std::string& to, int* error)
    {
        return GetParam() ? RenameFileByLink(from, to, error) : RenameFile(from, to, error);
    }
};

TEST_P(RenameTest, RenamesWhenTargetIsFree)
{
    WriteText(InFolder("a.mpd"), "content of a");
    int error = 0;
    EXPECT_TRUE(Rename(InFolder("a.mpd"), InFolder("b.mpd"), &error));
    EXPECT_EQ(Listing(), std::vector<std::string>{"b.mpd"});
    EXPECT_EQ(ReadText(InFolder("b.mpd")), "content of a");
}

TEST_P(RenameTest, NeverReplacesAnExistingFile)
{
    WriteText(InFolder("a.mpd"), "content of a");
    WriteText(InFolder("b.mpd"), "content of b");
    int error = 0;
    EXPECT_FALSE(Rename(InFolder("a.mpd"), InFolder("b.mpd"), &error));
    EXPECT_EQ(error, EEXIST);
    EXPECT_EQ(ReadText(InFolder("a.mpd")), "content of a");
    EXPECT_EQ(ReadText(InFolder("b.mpd")), "content of b");
}

TEST_P(RenameTest, MissingSourceFails)
{
    int error = 0;
    EXPECT_FALSE(Rename(InFolder("none.mpd"), InFolder("b.mpd"), &error));
    EXPECT_EQ(error, ENOENT);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, RenameTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "LinkAndUnlink" : "NoReplaceFlag"; });

} // namespace
