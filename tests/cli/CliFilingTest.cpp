// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli rename --into / --to, --recursive, and undo of a filing batch.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CliJournalSupport.h"

namespace fs = std::filesystem;

namespace {

class TCliFilingTest : public TCliScratch {
protected:
    std::string Archive()
    {
        const std::string archive = root + "/archive";
        fs::create_directories(archive);
        return archive;
    }
};

TEST_F(TCliFilingTest, FilesIntoDatedFoldersAndUndoTakesItBack)
{
    WriteSamples(2);
    const std::string archive = Archive();
    TCliRun run = Cli({"rename", "--into", "{yyyy}/{mm}/{dd}", "--to", archive, folder});
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, "filed\t00000000.mpd\t2005/01/01/2005-01-01-00_AIVH.mpd\n"
                       "filed\t00000001.mpd\t2005/01/01/2005-01-01-01_AIVH.mpd\n");
    EXPECT_TRUE(fs::is_empty(folder));

    TCliRun undo = Cli({"undo", folder});
    EXPECT_EQ(undo.Exit, 0) << undo.Err;
    EXPECT_EQ(undo.Out, "restored\t2005/01/01/2005-01-01-01_AIVH.mpd\t00000001.mpd\n"
                        "restored\t2005/01/01/2005-01-01-00_AIVH.mpd\t00000000.mpd\n");
    EXPECT_TRUE(fs::exists(InFolder("00000000.mpd")));
    EXPECT_TRUE(fs::is_empty(archive)) << "the folders the batch made are removed";
}

TEST_F(TCliFilingTest, DryRunForetellsATakenTarget)
{
    WriteSamples(1);
    const std::string archive = Archive();
    fs::create_directories(archive + "/2005");
    std::ofstream(archive + "/2005/2005-01-01-00_AIVH.mpd") << "there";
    TCliRun run = Cli({"rename", "--dry-run", "--into", "{yyyy}", "--to", archive, folder});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_EQ(run.Out, "failed\t00000000.mpd\t2005/2005-01-01-00_AIVH.mpd\ta file of that name exists\n");
    EXPECT_TRUE(fs::exists(InFolder("00000000.mpd")));
}

TEST_F(TCliFilingTest, RefusedPatternsAreUsageErrors)
{
    WriteSamples(1);
    for (const char* pattern : {"{yyyy}/../x", "/abs/{yyyy}", "{year}", "{yyyy}//{mm}", "{yyyy}/"}) {
        TCliRun run = Cli({"rename", "--into", pattern, folder});
        EXPECT_EQ(run.Exit, 2) << pattern;
        EXPECT_NE(run.Err.find("--into"), std::string::npos) << run.Err;
    }
    EXPECT_TRUE(fs::exists(InFolder("00000000.mpd")));
}

// A run killed during a move is finished by the next run: each file once.
TEST_F(TCliFilingTest, RerunAfterAKillFilesEveryFileOnce)
{
    WriteSamples(3);
    ::setenv("QUILLON_FILING_STOP_AFTER", "2", 1);
    TCliRun killed = Cli({"rename", "--into", "{yyyy}", folder});
    ::unsetenv("QUILLON_FILING_STOP_AFTER");
    EXPECT_NE(killed.Exit, 0);
    TCliRun rerun = Cli({"rename", "--into", "{yyyy}", folder});
    EXPECT_EQ(rerun.Exit, 0) << rerun.Err;
    int files = 0;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 3);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder + "/2005"), fs::directory_iterator()), 3);
}

TEST_F(TCliFilingTest, RecursiveRenameAndUndoWorkFolderByFolder)
{
    WriteSamples(1);
    fs::create_directories(folder + "/sub");
    WriteSampleMpd(folder + "/sub/12345678.mpd", 0xD4F7, "AIVH", SampleTime(3, 0));
    fs::create_symlink(folder + "/sub", folder + "/link");
    TCliRun run = Cli({"rename", "--recursive", folder});
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, "renamed\t00000000.mpd\t2005-01-01-00_AIVH.mpd\n"
                       "renamed\tsub/12345678.mpd\tsub/2005-01-04-00_AIVH.mpd\n");
    TCliRun undo = Cli({"undo", "--recursive", folder});
    EXPECT_EQ(undo.Exit, 0) << undo.Err;
    EXPECT_TRUE(fs::exists(folder + "/sub/12345678.mpd"));
    EXPECT_TRUE(fs::exists(InFolder("00000000.mpd")));
}

// undo --recursive tells the damaged journal lines it passed, as undo does.
TEST_F(TCliFilingTest, RecursiveUndoTellsDamagedJournalLines)
{
    WriteSamples(1);
    ASSERT_EQ(Cli({"rename", "--recursive", folder}).Exit, 0);
    std::ofstream(state + "/quillon/journal.jsonl", std::ios::app) << "damaged\n";
    TCliRun undo = Cli({"undo", "--recursive", folder});
    EXPECT_EQ(undo.Exit, 0) << undo.Err;
    EXPECT_NE(undo.Err.find("is damaged and was skipped"), std::string::npos) << undo.Err;
    EXPECT_TRUE(fs::exists(InFolder("00000000.mpd")));
}

// A folder that cannot be read is told, and the scan goes on with the rest.
// Run as an unprivileged user, for whom a folder's mode counts.
TEST_F(TCliFilingTest, RecursiveScanGoesOnPastAnUnreadableFolder)
{
    WriteSamples(1);
    fs::create_directories(folder + "/closed/inner");
    fs::create_directories(folder + "/open");
    WriteSampleMpd(folder + "/open/12345678.mpd", 0xD4F7, "AIVH", SampleTime(3, 0));
    for (const auto& e : fs::recursive_directory_iterator(root))
        ::chmod(e.path().c_str(), e.is_directory() ? 0755 : 0644);
    ::chmod(root.c_str(), 0755);
    ::chmod((folder + "/closed").c_str(), 0);
    std::string prefix;
    if (::geteuid() == 0) {
        if (::access("/usr/bin/setpriv", X_OK) != 0)
            GTEST_SKIP() << "running as root without setpriv: every folder is readable";
        prefix = "/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups ";
    } else if (::access((folder + "/closed").c_str(), R_OK) == 0) {
        GTEST_SKIP() << "this user reads any folder";
    }
    const std::string command = prefix + QUILLON_CLI + std::string(" scan --recursive ") + folder + " >" + root +
                                "/out 2>" + root + "/err";
    const int status = std::system(command.c_str());
    ::chmod((folder + "/closed").c_str(), 0755);
    std::ifstream outFile(root + "/out"), errFile(root + "/err");
    const std::string out((std::istreambuf_iterator<char>(outFile)), {});
    const std::string err((std::istreambuf_iterator<char>(errFile)), {});
    EXPECT_EQ(WEXITSTATUS(status), 1) << err;
    EXPECT_EQ(out, "00000000.mpd\t2005-01-01-00_AIVH\nopen/12345678.mpd\t2005-01-04-00_AIVH\n");
    EXPECT_NE(err.find("cannot read folder " + folder + "/closed"), std::string::npos) << err;
}

// Where inotify is blind the watch says so and polls; a polled arrival is
// filed once it settled.
TEST_F(TCliFilingTest, WatchPollsWhereInotifyIsBlindAndFilesArrivals)
{
    WriteSampleMpd(InFolder("marker01.mpd"), 0xD4F7, "AIVH", SampleTime(300, 7));
    fs::last_write_time(InFolder("marker01.mpd"), fs::file_time_type::clock::now() - std::chrono::hours(1));
    const std::string archive = Archive();
    ::setenv("QUILLON_WATCH_NO_INOTIFY", "1", 1);
    TCliProcess blind({"watch", "--settle", "0", folder}, state);
    ::unsetenv("QUILLON_WATCH_NO_INOTIFY");
    std::string line;
    ASSERT_TRUE(blind.ReadLine(line)) << blind.Err();
    ::kill(blind.Pid(), SIGTERM);
    blind.Wait();
    EXPECT_NE(blind.Err().find("inotify is turned off"), std::string::npos) << blind.Err();
    EXPECT_NE(blind.Err().find("listing the folder every 5 s"), std::string::npos) << blind.Err();

    TCliProcess watch({"watch", "--settle", "0.2", "--poll", "0.2", "--into", "{yyyy}", "--to", archive, folder}, state);
    WriteSamples(1, 2);
    for (;;) {
        ASSERT_TRUE(watch.ReadLine(line)) << watch.Err();
        if (line.find("00000096.mpd") != std::string::npos)
            break;
    }
    EXPECT_EQ(line, "filed\t00000096.mpd\t2005/2005-01-03-00_AIVH.mpd");
    EXPECT_TRUE(fs::exists(archive + "/2005/2005-01-03-00_AIVH.mpd"));
    ::kill(watch.Pid(), SIGTERM);
    EXPECT_EQ(watch.Wait(), 0) << watch.Err();
}

// watch --into files a standard-named file that arrives, through inotify as
// through the polling of a folder where inotify is blind.
TEST_F(TCliFilingTest, WatchIntoFilesStandardNamedArrivals)
{
    for (const bool blind : {false, true}) {
        SCOPED_TRACE(blind ? "polling" : "inotify");
        fs::remove_all(root + "/archive");
        const std::string archive = Archive();
        WriteSamples(1); // filed first: the watch is under way
        if (blind)
            ::setenv("QUILLON_WATCH_NO_INOTIFY", "1", 1);
        TCliProcess watch({"watch", "--settle", "0.2", "--into", "{yyyy}", "--to", archive, folder}, state);
        ::unsetenv("QUILLON_WATCH_NO_INOTIFY");
        std::string line;
        ASSERT_TRUE(watch.ReadLine(line)) << watch.Err();
        EXPECT_EQ(line, "filed\t00000000.mpd\t2005/2005-01-01-00_AIVH.mpd");
        WriteSampleMpd(root + "/staged.mpd", 0xD4F7, "AIVH", SampleTime(2, 0));
        fs::rename(root + "/staged.mpd", InFolder("2005-01-03-00_AIVH.mpd"));
        ASSERT_TRUE(watch.ReadLine(line)) << watch.Err();
        EXPECT_EQ(line, "filed\t2005-01-03-00_AIVH.mpd\t2005/2005-01-03-00_AIVH.mpd");
        EXPECT_TRUE(fs::is_empty(folder));
        ::kill(watch.Pid(), SIGTERM);
        EXPECT_EQ(watch.Wait(), 0) << watch.Err();
        EXPECT_EQ(watch.Err().find("listing the folder every 5 s") != std::string::npos, blind) << watch.Err();
    }
}

// What trimming the filing journal meets is told by the watch: here a
// damaged line behind a batch old enough to be trimmed.
TEST_F(TCliFilingTest, WatchIntoTellsTheFilingJournalsTrimWarnings)
{
    fs::create_directories(state + "/quillon");
    std::ofstream(state + "/quillon/filing.jsonl")
        << "{\"type\":\"batch\",\"id\":\"old\",\"time\":\"2020-01-01T00:00:00Z\",\"kind\":\"file\",\"folder\":\"" +
               folder + "\",\"dest\":\"" + folder + "\",\"files\":[]}\n{\"type\":\"end\",\"id\":\"old\"}\ndamaged\n";
    WriteSamples(1);
    TCliProcess watch({"watch", "--settle", "0", "--into", "{yyyy}", folder}, state);
    std::string line;
    ASSERT_TRUE(watch.ReadLine(line)) << watch.Err();
    EXPECT_EQ(line, "filed\t00000000.mpd\t2005/2005-01-01-00_AIVH.mpd");
    ::kill(watch.Pid(), SIGTERM);
    EXPECT_EQ(watch.Wait(), 0) << watch.Err();
    EXPECT_NE(watch.Err().find("quillon-cli watch: filing journal " + state + "/quillon/filing.jsonl: line 3 is damaged"),
              std::string::npos)
        << watch.Err();
}

// A standard-named file there when the watch starts is filed by its first
// pass, onto another file system by the safe move (/dev/shm, where it is
// one; else the same file system); undo takes it back.
TEST_F(TCliFilingTest, WatchFilesOntoAnotherFileSystemAndUndoTakesItBack)
{
    struct stat here {}, shm {};
    const bool other = ::stat(root.c_str(), &here) == 0 && ::stat("/dev/shm", &shm) == 0 && here.st_dev != shm.st_dev;
    std::string dest = other ? "/dev/shm/quillon-watch-filing-XXXXXX" : root + "/archive-XXXXXX";
    ASSERT_NE(::mkdtemp(dest.data()), nullptr);
    struct TRemove {
        std::string Dir;
        ~TRemove() { fs::remove_all(Dir); }
    } remove{dest};
    const std::string name = "2005-01-03-00_AIVH.mpd";
    WriteSampleMpd(InFolder(name), 0xD4F7, "AIVH", SampleTime(2, 0));
    const std::string bytes = ReadFileText(InFolder(name));

    TCliProcess watch({"watch", "--settle", "0", "--into", "{yyyy}/{mm}", "--to", dest, folder}, state);
    std::string line;
    ASSERT_TRUE(watch.ReadLine(line)) << watch.Err();
    EXPECT_EQ(line, "filed\t" + name + "\t2005/01/" + name);
    ::kill(watch.Pid(), SIGTERM);
    EXPECT_EQ(watch.Wait(), 0) << watch.Err();
    EXPECT_EQ(ReadFileText(dest + "/2005/01/" + name), bytes);
    EXPECT_TRUE(fs::is_empty(folder));

    TCliRun undo = Cli({"undo", folder});
    EXPECT_EQ(undo.Exit, 0) << undo.Err;
    EXPECT_EQ(undo.Out, "restored\t2005/01/" + name + "\t" + name + "\n");
    EXPECT_EQ(ReadFileText(InFolder(name)), bytes);
    EXPECT_TRUE(fs::is_empty(dest)) << "the folders the batch made are removed";
}

} // namespace
