// SPDX-License-Identifier: GPL-3.0-or-later
// The folder scanner: event order, masks, hidden and linked folders, sizes.
#include <fcntl.h>
#include <unistd.h>

#include "ScanTestSupport.h"
#include "components/TreeScan.h"
#include "runtime/Application.h"
#include "runtime/SysUtils.h"

namespace {

class TreeScanTest : public TScanScratch {
protected:
    // Records every event as "<event> <path below root>" (sizes for files).
    std::vector<std::string> Run(TTreeScanner& scanner)
    {
        std::vector<std::string> events;
        auto rel = [&](const std::string& path) {
            return path.rfind(folder, 0) == 0 ? path.substr(folder.size()) : path;
        };
        scanner.OnDirectoryFound = [&](TObject* sender) {
            EXPECT_EQ(sender, &scanner);
            EXPECT_EQ(scanner.FileSize(), 0);
            events.push_back("dir " + rel(scanner.FileFound()));
        };
        scanner.OnFileFound = [&](TObject*) {
            events.push_back("file " + rel(scanner.FileFound()) + " " + std::to_string(scanner.FileSize()));
        };
        scanner.OnDirectoryDone = [&](TObject*) { events.push_back("done " + rel(scanner.FileFound())); };
        scanner.OnSearchDone = [&](TObject*) {
            EXPECT_FALSE(scanner.SearchInProgress());
            events.push_back("search-done " + rel(scanner.FileFound()));
        };
        scanner.InitialDirectory = folder;
        scanner.Search();
        return events;
    }
};

TEST_F(TreeScanTest, EventOrderFilesBeforeSubFolders)
{
    std::filesystem::create_directories(InFolder("s/t"));
    std::filesystem::create_directories(InFolder("B"));
    WriteText(InFolder("f2.mpd"), "22");
    WriteText(InFolder("F1.mpd"), "1");
    WriteText(InFolder("s/g.mpd"), "333");
    WriteText(InFolder("s/t/h.MPD"), "4444");
    WriteText(InFolder("other.txt"), "x");
    TTreeScanner scanner;
    scanner.SetFileMask("*.mpd");
    EXPECT_EQ(Run(scanner), (std::vector<std::string>{
                                "dir /", "file /F1.mpd 1", "file /f2.mpd 2",
                                "dir /B/", "done /B/",
                                "dir /s/", "file /s/g.mpd 3",
                                "dir /s/t/", "file /s/t/h.MPD 4", "done /s/t/",
                                "done /s/", "done /", "search-done /"}));
}

TEST_F(TreeScanTest, NotRecursiveLeavesSubFoldersAlone)
{
    std::filesystem::create_directories(InFolder("sub"));
    WriteText(InFolder("sub/a.mpd"), "x");
    WriteText(InFolder("b.mpd"), "x");
    TTreeScanner scanner;
    scanner.SetFileMask("*.mpd");
    scanner.Recursive = false;
    EXPECT_EQ(Run(scanner), (std::vector<std::string>{"dir /", "file /b.mpd 1", "done /", "search-done /"}));
}

TEST_F(TreeScanTest, TurningRecursiveOffReportsRemainingFoldersUnentered)
{
    std::filesystem::create_directories(InFolder("a"));
    std::filesystem::create_directories(InFolder("b"));
    WriteText(InFolder("a/x.mpd"), "x");
    WriteText(InFolder("b/y.mpd"), "x");
    TTreeScanner scanner;
    scanner.SetFileMask("*.mpd");
    auto events = [&] {
        std::vector<std::string> out;
        scanner.OnFileFound = [&](TObject*) {
            out.push_back("file " + scanner.FileFound().substr(folder.size()));
            scanner.Recursive = false;
        };
        scanner.OnDirectoryFound = [&](TObject*) { out.push_back("dir " + scanner.FileFound().substr(folder.size())); };
        scanner.InitialDirectory = folder;
        scanner.Search();
        return out;
    }();
    EXPECT_EQ(events, (std::vector<std::string>{"dir /", "dir /a/", "file /a/x.mpd", "dir /b/"}));
}

TEST_F(TreeScanTest, MasksAreSortedAndCaseInsensitiveDuplicatesDropped)
{
    TTreeScanner scanner;
    scanner.SetFileMaskCommaText("*.mpd,*.MPD,*.hrm");
    EXPECT_EQ(scanner.Masks().Count(), 2);
    EXPECT_EQ(scanner.FileMask(), "*.hrm");
    EXPECT_EQ(scanner.FileMaskCommaText(), "*.hrm,*.mpd");

    scanner.SetFileMaskCommaText("\"my files*.mpd\",x?.raw");
    EXPECT_EQ(scanner.FileMaskCommaText(), "\"my files*.mpd\",x?.raw");

    scanner.SetFileMaskCommaText("");
    EXPECT_EQ(scanner.Masks().Count(), 0);
    EXPECT_EQ(scanner.FileMask(), "");

    scanner.SetFileMask("");
    EXPECT_EQ(scanner.Masks().Count(), 1);   // one empty mask, matching nothing
}

TEST_F(TreeScanTest, FileMatchingSeveralMasksIsReportedOnce)
{
    WriteText(InFolder("a.mpd"), "x");
    WriteText(InFolder("b.hrm"), "x");
    TTreeScanner scanner;
    scanner.SetFileMaskCommaText("*.mpd,a*,*.hrm");
    EXPECT_EQ(Run(scanner), (std::vector<std::string>{"dir /", "file /a.mpd 1", "file /b.hrm 1", "done /",
                                                      "search-done /"}));
}

TEST_F(TreeScanTest, EmptyMaskOrNoMaskFindsNothing)
{
    WriteText(InFolder("a.mpd"), "x");
    for (bool emptyMask : {true, false}) {
        TTreeScanner scanner;
        if (emptyMask)
            scanner.SetFileMask("");
        EXPECT_EQ(Run(scanner), (std::vector<std::string>{"dir /", "done /", "search-done /"}));
    }
}

TEST_F(TreeScanTest, MaskChangesDuringSearchAreIgnored)
{
    WriteText(InFolder("a.mpd"), "x");
    WriteText(InFolder("b.mpd"), "x");
    TTreeScanner scanner;
    scanner.SetFileMask("*.mpd");
    int files = 0;
    scanner.OnFileFound = [&](TObject*) {
        EXPECT_TRUE(scanner.SearchInProgress());
        scanner.SetFileMask("*.none");
        scanner.SetFileMaskCommaText("*.none");
        ++files;
    };
    scanner.InitialDirectory = folder;
    scanner.Search();
    EXPECT_EQ(files, 2);
    EXPECT_EQ(scanner.FileMask(), "*.mpd");
}

TEST_F(TreeScanTest, HiddenFilesAndFolders)
{
    std::filesystem::create_directories(InFolder(".h"));
    WriteText(InFolder(".h/x.mpd"), "x");
    WriteText(InFolder(".a.mpd"), "x");
    WriteText(InFolder("b.mpd"), "x");
    struct Case {
        bool hiddenFiles, hiddenFolders;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {false, false, {"dir /", "file /b.mpd 1", "done /", "search-done /"}},
        {true, false, {"dir /", "file /.a.mpd 1", "file /b.mpd 1", "done /", "search-done /"}},
        {false, true, {"dir /", "file /b.mpd 1", "dir /.h/", "file /.h/x.mpd 1", "done /.h/", "done /", "search-done /"}},
        {true, true, {"dir /", "file /.a.mpd 1", "file /b.mpd 1", "dir /.h/", "file /.h/x.mpd 1", "done /.h/", "done /",
                      "search-done /"}},
    };
    for (const Case& c : cases) {
        TTreeScanner scanner;
        scanner.SetFileMask("*.mpd");
        scanner.FindHiddenFiles = c.hiddenFiles;
        scanner.FindHiddenFolders = c.hiddenFolders;
        EXPECT_EQ(Run(scanner), c.events) << c.hiddenFiles << c.hiddenFolders;
    }
}

TEST_F(TreeScanTest, LinkedFolderIsNeverEnteredSoNoCycle)
{
    std::filesystem::create_directories(InFolder("real"));
    WriteText(InFolder("real/a.mpd"), "x");
    std::filesystem::create_directory_symlink(folder, InFolder("real/loop"));
    std::filesystem::create_directory_symlink(InFolder("real"), InFolder("alias"));
    TTreeScanner scanner;
    scanner.SetFileMask("*");
    scanner.FindHiddenFolders = true;
    EXPECT_EQ(Run(scanner), (std::vector<std::string>{"dir /", "dir /real/", "file /real/a.mpd 1", "done /real/",
                                                      "done /", "search-done /"}));
}

TEST_F(TreeScanTest, FolderNamedLikeAFileAndSpecialFilesAreNotReported)
{
    std::filesystem::create_directories(InFolder("x.mpd"));
    ASSERT_EQ(mkfifo(InFolder("pipe.mpd").c_str(), 0600), 0);
    TTreeScanner scanner;
    scanner.SetFileMask("*.mpd");
    scanner.Recursive = false;
    EXPECT_EQ(Run(scanner), (std::vector<std::string>{"dir /", "done /", "search-done /"}));
}

TEST_F(TreeScanTest, NamesDifferingOnlyInCaseAreBothReportedInFixedOrder)
{
    WriteText(InFolder("a.mpd"), "x");
    WriteText(InFolder("A.mpd"), "xx");
    WriteText(InFolder("B.mpd"), "x");
    TTreeScanner scanner;
    scanner.SetFileMask("*.mpd");
    EXPECT_EQ(Run(scanner), (std::vector<std::string>{"dir /", "file /A.mpd 2", "file /a.mpd 1", "file /B.mpd 1",
                                                      "done /", "search-done /"}));
}

TEST_F(TreeScanTest, SizeIsLowThirtyTwoBits)
{
    // A sparse file of 4 GiB + 5 bytes takes no disk space.
    const std::string path = InFolder("big.mpd");
    int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    if (ftruncate(fd, (int64_t{1} << 32) + 5) != 0) {
        close(fd);
        GTEST_SKIP() << "file system without large sparse files";
    }
    close(fd);
    fd = open(InFolder("half.mpd").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_EQ(ftruncate(fd, int64_t{3} << 30), 0);   // 3 GiB wraps to a negative value
    close(fd);
    TTreeScanner scanner;
    scanner.SetFileMask("*.mpd");
    EXPECT_EQ(Run(scanner), (std::vector<std::string>{"dir /", "file /big.mpd 5", "file /half.mpd -1073741824",
                                                      "done /", "search-done /"}));
}

TEST_F(TreeScanTest, MissingFolderStillFiresFolderEvents)
{
    TTreeScanner scanner;
    scanner.SetFileMask("*");
    scanner.InitialDirectory = folder + "/missing";
    std::vector<std::string> events;
    scanner.OnDirectoryFound = [&](TObject*) { events.push_back("dir " + scanner.FileFound()); };
    scanner.OnDirectoryDone = [&](TObject*) { events.push_back("done " + scanner.FileFound()); };
    scanner.OnSearchDone = [&](TObject*) { events.push_back("search-done"); };
    scanner.Search();
    const std::string dir = folder + "/missing/";
    EXPECT_EQ(events, (std::vector<std::string>{"dir " + dir, "done " + dir, "search-done"}));
}

// A folder that cannot be listed is an error naming it, never an empty
// folder (a rename of it would rename nothing and report success).
TEST_F(TreeScanTest, FolderThatCannotBeListedIsAnError)
{
    WriteText(InFolder("plain.mpd"), "not a folder");
    TTreeScanner scanner;
    scanner.SetFileMask("*.mpd");
    scanner.InitialDirectory = folder + "/plain.mpd";
    try {
        scanner.Search();
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot read folder \"" + folder + "/plain.mpd/\": "), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(scanner.SearchInProgress());
}

TEST_F(TreeScanTest, InitialDirectoryIsNormalised)
{
    struct Case {
        std::string given, expected;
    };
    const Case cases[] = {{folder, folder + "/"}, {folder + "/", folder + "/"}, {"/", "/"}};
    for (const Case& c : cases) {
        TTreeScanner scanner;
        scanner.Recursive = false;
        scanner.InitialDirectory = c.given;
        scanner.Search();
        EXPECT_EQ(scanner.InitialDirectory, c.expected);
        EXPECT_EQ(scanner.FileFound(), c.expected);
    }
}

TEST_F(TreeScanTest, EmptyInitialDirectoryMeansCurrentFolder)
{
    std::filesystem::path old = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    WriteText(InFolder("here.mpd"), "x");
    TTreeScanner scanner;
    scanner.SetFileMask("*.mpd");
    std::vector<std::string> files;
    scanner.OnFileFound = [&](TObject*) { files.push_back(scanner.FileFound()); };
    scanner.Search();
    std::filesystem::current_path(old);
    const std::string canonical = std::filesystem::canonical(folder).string();
    EXPECT_EQ(scanner.InitialDirectory, canonical + "/");
    EXPECT_EQ(files, std::vector<std::string>{canonical + "/here.mpd"});
}

TEST_F(TreeScanTest, HandlerExceptionEndsSearchAndReachesCaller)
{
    WriteText(InFolder("a.mpd"), "x");
    WriteText(InFolder("b.mpd"), "x");
    TTreeScanner scanner;
    scanner.SetFileMask("*.mpd");
    scanner.InitialDirectory = folder;
    int files = 0;
    bool searchDone = false;
    scanner.OnFileFound = [&](TObject*) {
        ++files;
        throw Exception("stop");
    };
    scanner.OnSearchDone = [&](TObject*) { searchDone = true; };
    EXPECT_THROW(scanner.Search(), Exception);
    EXPECT_EQ(files, 1);
    EXPECT_FALSE(searchDone);
}

TEST_F(TreeScanTest, HandlerMayRenameTheReportedFile)
{
    for (const char* name : {"a.mpd", "b.mpd", "c.mpd"})
        WriteText(InFolder(name), "x");
    TTreeScanner scanner;
    scanner.SetFileMask("*.mpd");
    scanner.InitialDirectory = folder;
    std::vector<std::string> seen;
    scanner.OnFileFound = [&](TObject*) {
        seen.push_back(ExtractFileName(scanner.FileFound()));
        std::filesystem::rename(scanner.FileFound(), scanner.FileFound() + ".done.mpd");
    };
    scanner.Search();
    EXPECT_EQ(seen, (std::vector<std::string>{"a.mpd", "b.mpd", "c.mpd"}));
}

TEST_F(TreeScanTest, MessagesAreProcessedOncePerFolder)
{
    std::filesystem::create_directories(InFolder("a/b"));
    int calls = 0;
    Application().SetProcessMessagesHook([&] { ++calls; });
    TTreeScanner scanner;
    scanner.InitialDirectory = folder;
    scanner.Search();
    Application().SetProcessMessagesHook(nullptr);
    EXPECT_EQ(calls, 3);
}

// A stop request ends the search before the next file's event; the
// lookahead of the folder under way hears its names first and its end last.
TEST_F(TreeScanTest, StopRequestEndsTheSearchAndTheLookahead)
{
    for (const char* name : {"a.mpd", "b.mpd", "c.mpd"})
        WriteText(InFolder(name), "x");
    struct TRecorder : TScanLookahead {
        std::vector<std::string> Calls;
        void Begin(const std::string&, const std::vector<std::string>& Names) override
        {
            Calls.push_back("begin " + std::to_string(Names.size()) + " " + Names.front());
        }
        void End() noexcept override { Calls.push_back("end"); }
    } lookahead;
    TTreeScanner unstopped;
    unstopped.SetFileMask("*.mpd");
    unstopped.Lookahead = &lookahead;
    EXPECT_EQ(Run(unstopped).size(), 6u);
    EXPECT_EQ(lookahead.Calls, (std::vector<std::string>{"begin 3 a.mpd", "end"}));

    lookahead.Calls.clear();
    TTreeScanner scanner;
    scanner.SetFileMask("*.mpd");
    scanner.InitialDirectory = folder;
    scanner.Lookahead = &lookahead;
    std::vector<std::string> seen;
    scanner.OnFileFound = [&](TObject*) {
        seen.push_back(ExtractFileName(scanner.FileFound()));
        RequestStop();
    };
    EXPECT_THROW(scanner.Search(), EAbort);
    ClearStopRequest();
    EXPECT_EQ(seen, std::vector<std::string>{"a.mpd"});
    EXPECT_EQ(lookahead.Calls, (std::vector<std::string>{"begin 3 a.mpd", "end"}));
}

} // namespace
