// SPDX-License-Identifier: GPL-3.0-or-later
// Every call that can fail, made to fail one at a time. Each scenario runs
// once to count the calls that touch its scratch folder, then once for each
// (kind, N, error) with the Nth call of that kind failing. After each run:
// the program ended with a message naming the file and the reason (or
// finished the work), no file of the folder was lost, duplicated or altered,
// the journal reads back, and a plain recovery (undo, or the same command
// again) gives the state a clean run gives.
//
// CTest runs a fixed sample (one call of each kind, the first or the last);
// QUILLON_FAULTS_SWEEP=full runs every call with every error, and
// QUILLON_FAULTS_REPORT=FILE writes the counts and faults found
// (scripts/faults.sh does both).
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "runtime/FileOps.h"
#include "satellite/SampleFiles.h"
#include "tests/faults/SyscallFaults.h"

namespace fs = std::filesystem;

namespace {

using TSnapshot = std::map<std::string, std::string>; // path below the root -> bytes

constexpr const char* Absent = "\x01(absent)";

// One scratch folder per run: data/ (the files worked on), out/ (outputs),
// state/ (the journal), registry/, incoming/ (files the watch receives), db/
// (a catalogue); and, when asked for, Dest: a folder on another file system.
struct TScratch {
    explicit TScratch(const std::string& otherFileSystem = "")
    {
        std::string pattern = (fs::temp_directory_path() / "quillon-faults-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            Root = pattern;
        for (const char* sub : {"data", "out", "state", "registry", "config", "incoming", "db"})
            fs::create_directories(Root + "/" + sub);
        fs::create_directories(TraceDir());
        if (!otherFileSystem.empty()) {
            std::string destPattern = otherFileSystem + "/quillon-faults-dest-XXXXXX";
            if (::mkdtemp(destPattern.data()))
                Dest = destPattern;
        }
    }
    ~TScratch()
    {
        std::error_code ignored;
        fs::remove_all(Root, ignored);
        fs::remove_all(TraceDir(), ignored);
        if (!Dest.empty())
            fs::remove_all(Dest, ignored);
    }
    // The folders whose calls count.
    std::vector<std::string> Folders() const
    {
        std::vector<std::string> folders = {Root + "/"};
        if (!Dest.empty())
            folders.push_back(Dest + "/");
        return folders;
    }
    // Text with the folders' paths replaced by <root> and <dest>.
    std::string Shorten(std::string text) const
    {
        for (const auto& [path, shown] : {std::pair{Root, "<root>"}, std::pair{Dest, "<dest>"}})
            for (size_t at; !path.empty() && (at = text.find(path)) != std::string::npos;)
                text.replace(at, path.size(), shown);
        return text;
    }
    // strace's log and the program's output: outside the folder, so that
    // their writes are not counted.
    std::string TraceDir() const { return Root + ".trace"; }
    TScratch(const TScratch&) = delete;
    TScratch& operator=(const TScratch&) = delete;

    std::string operator/(const std::string& sub) const { return Root + "/" + sub; }
    std::map<std::string, std::string> Env() const
    {
        return {{"XDG_STATE_HOME", Root + "/state"},
                {"XDG_CONFIG_HOME", Root + "/config"},
                {"QUILLON_REGISTRY_DIR", Root + "/registry"},
                {"QUILLON_JOURNAL_LOCK_TIMEOUT", "3"},
                {"QUILLON_CATALOG_LOCK_TIMEOUT", "3"},
                {"XDG_DATA_HOME", Root + "/config"},
                // LeakSanitizer cannot run under a tracer; a sanitizer's
                // report must not look like the program's own exit 1.
                {"ASAN_OPTIONS", "detect_leaks=0:exitcode=86"},
                {"UBSAN_OPTIONS", "exitcode=87:print_stacktrace=1"}};
    }
    // The files of the folders a scenario may change; files still to arrive
    // for the watch count as in data/ already, those in Dest as in dest/. A
    // PNG's time chunk is left out.
    TSnapshot Snapshot() const
    {
        TSnapshot files;
        for (const char* sub : {"data", "out", "registry", "incoming"})
            for (const auto& entry : fs::recursive_directory_iterator(Root + "/" + sub))
                if (entry.is_regular_file()) {
                    std::string name = entry.path().string().substr(Root.size() + 1);
                    if (name.rfind("incoming/", 0) == 0)
                        name = "data/" + name.substr(9);
                    files[name] = WithoutPngTime(ReadWholeFile(entry.path().string()));
                }
        if (!Dest.empty())
            for (const auto& entry : fs::recursive_directory_iterator(Dest))
                if (entry.is_regular_file())
                    files["dest/" + entry.path().string().substr(Dest.size() + 1)] = ReadWholeFile(entry.path().string());
        return files;
    }
    static std::string WithoutPngTime(std::string bytes)
    {
        if (bytes.rfind("\x89PNG\r\n\x1a\n", 0) != 0)
            return bytes;
        for (size_t at = 8; at + 12 <= bytes.size();) {
            size_t length = (size_t(uint8_t(bytes[at])) << 24) | (size_t(uint8_t(bytes[at + 1])) << 16) |
                            (size_t(uint8_t(bytes[at + 2])) << 8) | size_t(uint8_t(bytes[at + 3]));
            if (bytes.compare(at + 4, 4, "tIME") == 0 && at + 12 + length <= bytes.size()) {
                bytes.erase(at, 12 + length);
                continue;
            }
            at += 12 + length;
        }
        return bytes;
    }

    std::string Root;
    std::string Dest; // "" unless asked for
};

TTracedRun RunTraced(const TScratch& scratch, const std::vector<std::string>& argv, const TInjection& injection)
{
    TTracedProcess process(argv, injection, scratch.TraceDir(), scratch.Env());
    return process.Wait();
}

// The same without strace: preparations, checks and recoveries.
TTracedRun RunPlain(const TScratch& scratch, const std::vector<std::string>& argv)
{
    TTracedProcess process(argv, {}, scratch.TraceDir(), scratch.Env(), false);
    return process.Wait();
}

void WriteSamples(const std::string& folder, int count)
{
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%08d.mpd", i);
        TDateTime when = EncodeDate(2005, 1, 1) + i / 48 + EncodeTime((i % 48) / 2, (i % 2) * 30 + 5, 0, 0);
        WriteSampleMpd(folder + "/" + name, 0xD4F7, "AIVH", when);
    }
}

std::string Cli() { return QUILLON_CLI; }
std::string Self() { return fs::read_symlink("/proc/self/exe").string(); }

const std::vector<std::string> GridArgs = {"map", "grid", "--kind", "1", "--width", "72", "--height", "36",
                                           "--lon-span", "360", "--lat-span", "180", "--lon-step", "30",
                                           "--lat-step", "30", "--no-labels", "--png"};

// ---- scenarios ------------------------------------------------------------------
struct TScenario {
    std::string Name;
    // Files (and journal) before the command.
    std::function<void(const TScratch&)> Prepare;
    std::function<std::vector<std::string>(const TScratch&)> Command;
    // The command that brings any state the command may leave back to a
    // clean run's end (or start: RecoverToStart).
    std::function<std::vector<std::string>(const TScratch&)> Recovery;
    bool RecoverToStart = false;
    bool MovesFiles = false;   // renames: the folder's bytes stay the same multiset
    bool Journaled = false;    // the journal must read back afterwards
    bool Watch = false;        // runs until its files are done, then SIGTERM
    bool PartialIsReported = false; // a run may end well with some items reported as failed
    // Needs a folder (the scratch's Dest) on another file system.
    bool AcrossFileSystems = false;
    // After the recovery to the start, the command once more must give a
    // clean run's end.
    bool RerunAfterRecovery = false;
    // What the program keeps besides files (a catalogue), as text: after the
    // recovery it must be what a clean run leaves; "" when not readable.
    std::function<std::string(const TScratch&)> State = {};
    // Words a library gives as the reason instead of the system's text
    // (SQLite: a failing write of its files is "disk I/O error" or "database
    // or disk is full", without the call's errno).
    std::vector<std::string> LibraryReasons = {};
};

// The watch: 20 files arrive (moved in one by one) while it runs; it is
// stopped once it has printed a row for each, or has ended by itself.
TTracedRun RunWatch(const TScratch& scratch, const TInjection& injection)
{
    TTracedProcess process({Cli(), "watch", "--settle", "0", scratch / "data"}, injection, scratch.TraceDir(),
                           scratch.Env());
    std::vector<fs::path> arriving;
    for (const auto& entry : fs::directory_iterator(scratch / "incoming"))
        arriving.push_back(entry.path());
    std::sort(arriving.begin(), arriving.end());
    for (const fs::path& file : arriving)
        ::rename(file.c_str(), (scratch / "data/" + file.filename().string()).c_str());
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (process.Running() && std::chrono::steady_clock::now() < until) {
        std::string out = process.OutSoFar();
        size_t rows = 0;
        for (size_t at = 0; (at = out.find('\n', at)) != std::string::npos; ++at)
            ++rows;
        if (rows >= arriving.size())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (pid_t tracee = process.TraceePid(); tracee > 0 && process.Running())
        ::kill(tracee, SIGTERM);
    return process.Wait(std::chrono::seconds(30));
}

// A file system other than the scratch folder's: /dev/shm when it is one,
// else a tmpfs mounted for the test run when that is allowed; "" when none.
std::string OtherFileSystem()
{
    static const std::string found = [] {
        struct stat scratch {}, shm {};
        if (::stat(fs::temp_directory_path().c_str(), &scratch) != 0)
            return std::string();
        if (::stat("/dev/shm", &shm) == 0 && shm.st_dev != scratch.st_dev && ::access("/dev/shm", W_OK) == 0)
            return std::string("/dev/shm");
        std::string point = (fs::temp_directory_path() / "quillon-faults-tmpfs").string();
        fs::create_directories(point);
        struct stat mounted {};
        if (::stat(point.c_str(), &mounted) == 0 && mounted.st_dev != scratch.st_dev)
            return point;
        if (::geteuid() == 0 && std::system(("mount -t tmpfs -o size=64m quillon-faults " + point + " 2>/dev/null").c_str()) == 0)
            return point;
        return std::string();
    }();
    return found;
}

// The catalogue's records as the queries show them, its paths shortened; ""
// when it cannot be read.
std::string CatalogState(const TScratch& s)
{
    std::string text;
    for (const char* query : {"find", "duplicates"}) {
        TTracedRun run = RunPlain(s, {Cli(), "catalog", query, "--db", s / "db/catalog.sqlite", "--json"});
        if (run.Exit != 0)
            return "";
        text += s.Shorten(run.Out);
    }
    return text;
}

std::vector<TScenario> Scenarios()
{
    std::vector<TScenario> all;
    all.push_back({"rename",
                   [](const TScratch& s) { WriteSamples(s / "data", 50); },
                   [](const TScratch& s) { return std::vector<std::string>{Cli(), "rename", s / "data"}; },
                   [](const TScratch& s) { return std::vector<std::string>{Cli(), "undo", s / "data"}; },
                   true, true, true, false, false});
    all.push_back({"undo",
                   [](const TScratch& s) {
                       WriteSamples(s / "data", 50);
                       RunPlain(s, {Cli(), "rename", s / "data"});
                   },
                   [](const TScratch& s) { return std::vector<std::string>{Cli(), "undo", s / "data"}; },
                   [](const TScratch& s) { return std::vector<std::string>{Cli(), "undo", s / "data"}; },
                   false, true, true, false, false});
    all.push_back({"watch",
                   [](const TScratch& s) { WriteSamples(s / "incoming", 20); },
                   [](const TScratch& s) { return std::vector<std::string>{Cli(), "watch", s / "data"}; },
                   [](const TScratch& s) { return std::vector<std::string>{Cli(), "rename", s / "data"}; },
                   false, true, true, true, true});
    all.push_back({"picture convert",
                   [](const TScratch& s) {
                       fs::copy_file(std::string(QUILLON_CORPUS_DIR) + "/pictures/pngsuite/basn2c08.png",
                                     s / "data/in.png");
                       std::ofstream(s / "out/pic.bmp") << "the picture of an earlier run\n";
                   },
                   [](const TScratch& s) {
                       return std::vector<std::string>{Cli(), "picture", "convert", s / "data/in.png", s / "out/pic.bmp"};
                   },
                   {}, false, false, false, false, false});
    all.push_back({"map grid --png",
                   [](const TScratch& s) { std::ofstream(s / "out/grid.png") << "the grid of an earlier run\n"; },
                   [](const TScratch& s) {
                       std::vector<std::string> args = {Cli()};
                       args.insert(args.end(), GridArgs.begin(), GridArgs.end());
                       args.push_back(s / "out/grid.png");
                       return args;
                   },
                   {}, false, false, false, false, false});
    all.push_back({"registry write",
                   [](const TScratch& s) { RunPlain(s, {Self(), "--registry-write", "/first/folder"}); },
                   [](const TScratch&) { return std::vector<std::string>{Self(), "--registry-write", "/second/folder"}; },
                   {}, false, false, false, false, false});
    // A catalogue update over a small archive: the archive is never changed,
    // the catalogue is readable after any failure and one more update makes
    // it the clean one.
    TScenario catalog;
    catalog.Name = "catalog update";
    catalog.Prepare = [](const TScratch& s) { RunPlain(s, {Cli(), "sample", "--tree", "2", s / "data"}); };
    catalog.Command = [](const TScratch& s) {
        return std::vector<std::string>{Cli(), "catalog", "update", "--db", s / "db/catalog.sqlite", s / "data"};
    };
    catalog.State = CatalogState;
    catalog.LibraryReasons = {"disk I/O error", "database or disk is full"};
    all.push_back(catalog);
    // Ten files filed into dated folders on another file system (copied,
    // compared, renamed into place, the source removed); undo takes them
    // back and the same command files them again.
    TScenario filing;
    filing.Name = "filing across file systems";
    filing.Prepare = [](const TScratch& s) { WriteSamples(s / "data", 10); };
    filing.Command = [](const TScratch& s) {
        return std::vector<std::string>{Cli(), "rename", "--into", "{yyyy}/{mm}", "--to", s.Dest, s / "data"};
    };
    filing.Recovery = [](const TScratch& s) { return std::vector<std::string>{Cli(), "undo", s / "data"}; };
    filing.RecoverToStart = filing.MovesFiles = filing.Journaled = filing.RerunAfterRecovery = true;
    filing.AcrossFileSystems = true;
    all.push_back(filing);
    // The same ten files taken back from the other file system; undo once
    // more takes back what a failing run left.
    TScenario unfiling;
    unfiling.Name = "filing undo across file systems";
    unfiling.Prepare = [](const TScratch& s) {
        WriteSamples(s / "data", 10);
        RunPlain(s, {Cli(), "rename", "--into", "{yyyy}/{mm}", "--to", s.Dest, s / "data"});
    };
    unfiling.Command = [](const TScratch& s) { return std::vector<std::string>{Cli(), "undo", s / "data"}; };
    unfiling.Recovery = unfiling.Command;
    unfiling.MovesFiles = unfiling.Journaled = unfiling.AcrossFileSystems = true;
    all.push_back(unfiling);
    return all;
}

// ---- one run and its checks ----------------------------------------------------------
bool Crashed(const TTracedRun& run)
{
    return run.Exit < 0 || run.Exit == 86 || run.Exit == 87 || run.Exit > 2 ||
           run.Err.find("Sanitizer") != std::string::npos || run.Err.find("runtime error:") != std::string::npos ||
           run.Err.find("terminate called") != std::string::npos;
}

std::multiset<std::string> Contents(const TSnapshot& files)
{
    std::multiset<std::string> bytes;
    for (const auto& [name, data] : files)
        if (name.rfind("data/", 0) == 0 || name.rfind("dest/", 0) == 0)
            bytes.insert(data);
    return bytes;
}

std::string Describe(const TSnapshot& now, const TSnapshot& expected)
{
    std::ostringstream text;
    for (const auto& [name, data] : now)
        if (!expected.count(name))
            text << " extra " << name << ";";
        else if (expected.at(name) != data)
            text << " changed " << name << ";";
    for (const auto& [name, data] : expected)
        if (!now.count(name))
            text << " missing " << name << ";";
    return text.str();
}

struct TReference {
    TSnapshot Before;
    TSnapshot After;
    std::string State; // a clean run's, when the scenario keeps one
};

// What broke in one injected run; "" when nothing did.
std::string CheckRun(const TScenario& scenario, const TScratch& scratch, const TReference& reference,
                     const TInjection& injection, const TTracedRun& run)
{
    std::ostringstream broke;
    if (run.TimedOut)
        broke << "hung; ";
    if (Crashed(run))
        broke << "crashed (exit " << run.Exit << "): " << run.Err.substr(0, 600) << "; ";
    const std::string reason = FileErrorText(ErrnoNumber(injection.Error));
    const TSnapshot now = scratch.Snapshot();
    // Every name holds what it held before or what a clean run leaves, or nothing.
    for (const TSnapshot* side : {&now, &reference.Before, &reference.After})
        for (const auto& [name, data] : *side) {
            auto value = [&](const TSnapshot& s) { return s.count(name) ? s.at(name) : std::string(Absent); };
            std::string current = value(now);
            if (current != value(reference.Before) && current != value(reference.After)) {
                broke << "file " << name << (current == Absent ? " lost" : " altered or unknown") << "; ";
                break;
            }
        }
    if (scenario.MovesFiles && Contents(now) != Contents(reference.Before))
        broke << "files lost or duplicated:" << Describe(now, reference.Before) << "; ";
    const bool complete = now == reference.After;
    if (run.Exit == 1 && !run.TimedOut) {
        // The message (or the failed row) names a file: by its path, or by
        // the name it has in the folder.
        const std::string said = run.Out + run.Err;
        bool named = said.find(scratch.Root) != std::string::npos ||
                     (!scratch.Dest.empty() && said.find(scratch.Dest) != std::string::npos);
        for (const TSnapshot* side : {&reference.Before, &reference.After})
            for (const auto& [name, data] : *side)
                named = named || said.find(fs::path(name).filename().string()) != std::string::npos;
        if (!named)
            broke << "exit 1 without naming a file: " << run.Err.substr(0, 300) << "; ";
        else if (said.find(reason) == std::string::npos &&
                 std::none_of(scenario.LibraryReasons.begin(), scenario.LibraryReasons.end(),
                              [&](const std::string& words) { return said.find(words) != std::string::npos; }))
            broke << "exit 1 without the reason '" << reason << "': " << run.Err.substr(0, 300) << "; ";
    }
    if (run.Exit == 0 && !complete) {
        bool reported = scenario.PartialIsReported && (run.Out + run.Err).find(reason) != std::string::npos;
        if (!reported)
            broke << "exit 0 but the work is not done:" << Describe(now, reference.After) << "; ";
    }
    if (scenario.Journaled) {
        TTracedRun history = RunPlain(scratch, {Cli(), "history"});
        if (history.Exit != 0)
            broke << "the journal does not read back (exit " << history.Exit << "): " << history.Err.substr(0, 300)
                  << "; ";
    }
    // Recovery: undo, or the command once more.
    std::vector<std::string> again = scenario.Recovery ? scenario.Recovery(scratch) : scenario.Command(scratch);
    TTracedRun recovery = RunPlain(scratch, again);
    const TSnapshot& target = scenario.RecoverToStart ? reference.Before : reference.After;
    TSnapshot recovered = scratch.Snapshot();
    if (recovered != target)
        broke << "recovery (" << again[1] << ", exit " << recovery.Exit << ") left:" << Describe(recovered, target)
              << " " << recovery.Err.substr(0, 300) << "; ";
    // A damaged catalogue would be refused by the update: its records would
    // differ from a clean run's.
    if (scenario.State && scenario.State(scratch) != reference.State)
        broke << "recovery (" << again[1] << ", exit " << recovery.Exit << ") left the catalogue unlike a clean run's: "
              << recovery.Out.substr(0, 200) << recovery.Err.substr(0, 300) << "; ";
    if (scenario.RerunAfterRecovery && recovered == target) {
        TTracedRun rerun = RunPlain(scratch, scenario.Command(scratch));
        TSnapshot done = scratch.Snapshot();
        if (done != reference.After)
            broke << "the command after the recovery (exit " << rerun.Exit << ") left:" << Describe(done, reference.After)
                  << " " << rerun.Err.substr(0, 300) << "; ";
    }
    return broke.str();
}

// ---- the sweep -------------------------------------------------------------------------
struct TScenarioReport {
    std::map<std::string, size_t> Calls; // kind -> calls touching the folder
    size_t Injected = 0;                 // runs with a call made to fail
    size_t Hit = 0;                      // of those, the failing call touched the folder
    std::vector<std::string> Faults;
};

bool FullSweep()
{
    const char* mode = std::getenv("QUILLON_FAULTS_SWEEP");
    return mode && std::string(mode) == "full";
}

// (N, error) pairs to try for one kind: every pair in the full sweep, else
// one call: the last for every other kind (by their order), the first for
// the rest, with an error that changes from kind to kind.
std::vector<std::pair<int, std::string>> Plan(const TSyscallKind& kind, const std::set<int>& calls)
{
    std::vector<std::pair<int, std::string>> plan;
    std::vector<int> numbers(calls.begin(), calls.end());
    if (numbers.empty())
        return plan;
    if (FullSweep()) {
        for (int n : numbers)
            for (const char* error : kind.Errors)
                plan.emplace_back(n, error);
        return plan;
    }
    const size_t index = static_cast<size_t>(&kind - FaultKinds().data());
    plan.emplace_back(index % 2 ? numbers.front() : numbers.back(), kind.Errors[index / 2 % kind.Errors.size()]);
    return plan;
}

TScenarioReport Sweep(const TScenario& scenario)
{
    TScenarioReport report;
    TReference reference;
    std::map<std::string, std::set<int>> calls;
    {
        TScratch scratch(scenario.AcrossFileSystems ? OtherFileSystem() : "");
        scenario.Prepare(scratch);
        reference.Before = scratch.Snapshot();
        TTracedRun counting = scenario.Watch ? RunWatch(scratch, {}) : RunTraced(scratch, scenario.Command(scratch), {});
        EXPECT_EQ(counting.Exit, 0) << scenario.Name << ": " << counting.Err;
        EXPECT_NE(counting.Log, "") << scenario.Name << ": strace wrote no log: " << counting.Err;
        reference.After = scratch.Snapshot();
        if (scenario.State)
            reference.State = scenario.State(scratch);
        // A failing close leaves the descriptor open under strace (Linux
        // closes it whatever close returns): on a lock file that only shows
        // the lock as still held by this very process, so those are left out.
        calls = CallsTouching(counting.Log, scratch.Folders(), [](const std::string& call) {
            return call.rfind("close(", 0) != 0 || call.find(".lock>") == std::string::npos;
        });
        // The watch's idea of "after" is every file renamed; a rename of
        // what it left gives the same.
    }
    // QUILLON_FAULTS_KINDS=openat,mmap,...: only those kinds are made to fail.
    const char* onlyKinds = std::getenv("QUILLON_FAULTS_KINDS");
    auto chosen = [&](const std::string& kind) {
        return !onlyKinds || !*onlyKinds || ("," + std::string(onlyKinds) + ",").find("," + kind + ",") != std::string::npos;
    };
    for (const TSyscallKind& kind : FaultKinds()) {
        report.Calls[kind.Name] = calls[kind.Name].size();
        if (!chosen(kind.Name))
            continue;
        for (const auto& [n, error] : Plan(kind, calls[kind.Name])) {
            TScratch scratch(scenario.AcrossFileSystems ? OtherFileSystem() : "");
            scenario.Prepare(scratch);
            TInjection injection{kind.Name, n, error, "", ""};
            TTracedRun run = scenario.Watch ? RunWatch(scratch, injection)
                                            : RunTraced(scratch, scenario.Command(scratch), injection);
            ++report.Injected;
            std::string injected = InjectedLine(run.Log);
            // Threads run in another order from run to run: when the failing
            // call went elsewhere this time, the run proves nothing.
            bool inFolder = false;
            for (const std::string& folder : scratch.Folders())
                inFolder = inFolder || injected.find(folder) != std::string::npos;
            if (!inFolder)
                continue;
            ++report.Hit;
            std::string broke = CheckRun(scenario, scratch, reference, injection, run);
            if (!broke.empty())
                report.Faults.push_back(std::string(kind.Name) + " #" + std::to_string(n) + " " + error + " [" +
                                        scratch.Shorten(injected) + "]: " + scratch.Shorten(broke));
        }
    }
    return report;
}

void WriteReport(const std::string& scenario, const TScenarioReport& report)
{
    const char* name = std::getenv("QUILLON_FAULTS_REPORT");
    if (!name || !*name)
        return;
    std::ofstream out(name, std::ios::app);
    out << "scenario: " << scenario << "\n  calls touching the folder:";
    for (const auto& [kind, count] : report.Calls)
        if (count)
            out << " " << kind << "=" << count;
    out << "\n  injected runs: " << report.Injected << " (failing call in the folder: " << report.Hit << ")\n"
        << "  faults: " << report.Faults.size() << "\n";
    for (const std::string& fault : report.Faults)
        out << "    " << fault << "\n";
}

class FaultSweep : public ::testing::TestWithParam<size_t> {};

TEST_P(FaultSweep, EveryFailingCallLeavesTheFilesWholeAndSaysWhy)
{
    if (!StraceAvailable())
        GTEST_SKIP() << "strace is not installed (scripts/install-deps.sh installs it)";
    const TScenario scenario = Scenarios()[GetParam()];
    if (scenario.AcrossFileSystems && OtherFileSystem().empty())
        GTEST_SKIP() << scenario.Name << ": no other file system: /dev/shm is on the scratch folder's, and a tmpfs "
                     << "cannot be mounted (not root)";
    TScenarioReport report = Sweep(scenario);
    WriteReport(scenario.Name, report);
    EXPECT_GT(report.Injected, 0u) << scenario.Name << ": no call touched the folder";
    for (const std::string& fault : report.Faults)
        ADD_FAILURE() << scenario.Name << ": " << fault;
}

std::string ScenarioName(const ::testing::TestParamInfo<size_t>& info)
{
    std::string name = Scenarios()[info.param].Name;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FaultSweep, ::testing::Range<size_t>(0, Scenarios().size()), ScenarioName);

// Faults the sweep found, each pinned to the one call that showed it (strace
// -P: only calls on that path count): the output gives the system's reason,
// and a passing failure does not stick.
// A catalogue update; a filing batch to another file system, of one folder or
// of a tree; a picture's conversion.
enum class TPinnedRun { Catalogue, Filing, FilingTree, Picture };

struct TPinnedCase {
    const char* Name;
    TPinnedRun Run;
    const char* Call;
    const char* Error;
    const char* Path; // below the scratch root, or below Dest ("dest/..."); "" any path
    const char* Said; // the reason the output must give
    int When = 1;     // which call on that path fails
};

TEST(PinnedFault, TheOutputGivesTheSystemsReasonAndNothingSticks)
{
    if (!StraceAvailable())
        GTEST_SKIP() << "strace is not installed";
    const TPinnedCase cases[] = {
        {"a header read failing once is read again by the next update", TPinnedRun::Catalogue, "openat", "EIO",
         "data/2005/03/img000094.mpd", ""},
        {"a failing flush of the catalogue says why", TPinnedRun::Catalogue, "fdatasync", "EIO", "db/catalog.sqlite-journal",
         "Input/output error"},
        {"a catalogue that cannot be made says why", TPinnedRun::Catalogue, "openat", "EACCES", "db/catalog.sqlite",
         "Permission denied"},
        {"a catalogue's journal that cannot be made says why", TPinnedRun::Catalogue, "openat", "EIO", "db/catalog.sqlite-journal",
         "Input/output error"},
        {"a catalogue that cannot be read is not called damaged", TPinnedRun::Catalogue, "pread64", "EIO", "db/catalog.sqlite",
         "cannot read the catalogue", 2},
        {"a write of the catalogue over quota says why", TPinnedRun::Catalogue, "pwrite64", "EDQUOT",
         "db/catalog.sqlite-wal", "Disk quota exceeded", 2},
        {"a write of the catalogue's journal on a full disk says why", TPinnedRun::Catalogue, "pwrite64", "ENOSPC",
         "db/catalog.sqlite-journal", "No space left on device"},
        {"a folder whose listing fails is not taken for an empty one", TPinnedRun::Filing, "openat", "EIO", "data/",
         "cannot read folder", 2},
        {"a tree whose listing fails does not hide its subfolders", TPinnedRun::FilingTree, "getdents64", "EIO",
         "data", "cannot read folder"},
        {"a copy whose new name cannot be made lasting leaves the source", TPinnedRun::Filing, "fsync", "EIO",
         "dest/2005/01", "Input/output error", 2},
        {"a folder whose listing fails is told, its entries kept", TPinnedRun::Catalogue, "getdents64", "EIO", "data",
         "its entries are kept"},
        {"a target folder that cannot be made says why", TPinnedRun::Filing, "mkdir", "EACCES", "dest/2005/01", "Permission denied"},
        {"the filing journal's folder that cannot be made says why", TPinnedRun::Filing, "mkdir", "EIO", "state/quillon",
         "Input/output error"},
        {"an output whose mode cannot be set is not left behind", TPinnedRun::Picture, "fchmod", "EIO", "",
         "Input/output error"},
    };
    for (const TPinnedCase& c : cases) {
        const bool filing = c.Run == TPinnedRun::Filing || c.Run == TPinnedRun::FilingTree;
        TScratch s(filing ? OtherFileSystem() : "");
        if (filing && s.Dest.empty())
            continue;
        std::vector<std::string> command;
        if (filing) {
            WriteSamples(s / "data", 3);
            command = {Cli(), "rename", "--into", "{yyyy}/{mm}", "--to", s.Dest, s / "data"};
            if (c.Run == TPinnedRun::FilingTree) {
                fs::create_directories(s / "data/sub");
                WriteSamples(s / "data/sub", 3);
                command.insert(command.begin() + 2, "--recursive");
            }
        } else if (c.Run == TPinnedRun::Picture) {
            fs::copy_file(std::string(QUILLON_CORPUS_DIR) + "/pictures/pngsuite/basn2c08.png", s / "data/in.png");
            std::ofstream(s / "out/pic.bmp") << "the picture of an earlier run\n";
            command = {Cli(), "picture", "convert", s / "data/in.png", s / "out/pic.bmp"};
        } else {
            RunPlain(s, {Cli(), "sample", "--tree", "2", s / "data"});
            command = {Cli(), "catalog", "update", "--db", s / "db/catalog.sqlite", s / "data"};
        }
        const std::string path = !*c.Path                                  ? std::string()
                                 : std::string(c.Path).rfind("dest/", 0) == 0 ? s.Dest + (c.Path + 4)
                                                                              : s / c.Path;
        const TSnapshot before = s.Snapshot();
        TTracedRun run = RunTraced(s, command, {c.Call, c.When, c.Error, "", path});
        ASSERT_NE(InjectedLine(run.Log), "") << c.Name << ": the call was not made to fail: " << run.Err;
        if (filing) // each file once, with its bytes, wherever it is
            EXPECT_EQ(Contents(s.Snapshot()), Contents(before)) << c.Name;
        EXPECT_NE((run.Out + run.Err).find(c.Said), std::string::npos)
            << c.Name << ": " << InjectedLine(run.Log) << "\n" << run.Out << run.Err;
        if (c.Run == TPinnedRun::Picture)
            EXPECT_EQ(s.Snapshot()["out/pic.bmp"], "the picture of an earlier run\n") << c.Name;
        if (std::string(c.Path).rfind("data/", 0) == 0) {
            RunPlain(s, command);
            EXPECT_NE(CatalogState(s).find(fs::path(c.Path).filename().string()), std::string::npos) << c.Name;
        }
    }
}

} // namespace

TEST(PinnedFault, ACatalogueWhoseMakingFailedIsCalledEmptyNotForeign)
{
    if (!StraceAvailable())
        GTEST_SKIP() << "strace is not installed";
    TScratch s("");
    RunPlain(s, {Cli(), "sample", "--tree", "2", s / "data"});
    const std::vector<std::string> update = {Cli(), "catalog", "update", "--db", s / "db/catalog.sqlite", s / "data"};
    // The rollback journal of the first transaction stays behind.
    TTracedRun run = RunTraced(s, update, {"unlink", 1, "EIO", "", s / "db/catalog.sqlite-journal"});
    ASSERT_NE(InjectedLine(run.Log), "") << run.Err;
    TTracedRun find = RunPlain(s, {Cli(), "catalog", "find", "--db", s / "db/catalog.sqlite"});
    EXPECT_NE(find.Err.find("an empty catalogue"), std::string::npos) << find.Err;
    EXPECT_EQ(RunPlain(s, update).Exit, 0);
    EXPECT_NE(CatalogState(s), "");
}

TEST(PinnedFault, AFilingJournalFailingDuringACopyLeavesEachFileOnce)
{
    if (!StraceAvailable() || OtherFileSystem().empty())
        GTEST_SKIP() << "needs strace and a second file system";
    // Each opening of the journal's lock in turn fails: one of them comes
    // after the copy is in place and before its source is removed.
    for (int n = 1; n <= 8; ++n) {
        TScratch s(OtherFileSystem());
        WriteSamples(s / "data", 2);
        const TSnapshot before = s.Snapshot();
        TTracedRun run = RunTraced(s, {Cli(), "rename", "--into", "{yyyy}/{mm}", "--to", s.Dest, s / "data"},
                                   {"openat", n, "EIO", "", s / "state/quillon/filing.jsonl.lock"});
        if (InjectedLine(run.Log).empty())
            break;
        EXPECT_EQ(Contents(s.Snapshot()), Contents(before)) << "lock opening " << n << ": " << run.Out << run.Err;
    }
}
