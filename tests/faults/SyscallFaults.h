// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs a program under strace, either to count its system calls or to make
// one of them fail (or kill the program at it). Only calls that touch a given
// folder matter: a counting run numbers each thread's calls of each kind the
// way strace's injection counts them (per kind, per thread), and keeps the
// numbers of those whose path or descriptor lies in the folder.
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

// One kind of call and the errors it can plausibly meet.
struct TSyscallKind {
    const char* Name;
    std::vector<const char*> Errors;
};

// The calls a sweep makes fail, each with its fitting errors.
inline const std::vector<TSyscallKind>& FaultKinds()
{
    static const std::vector<TSyscallKind> kinds = {
        {"openat", {"EACCES", "EIO", "ENOSPC", "EDQUOT", "EINTR"}},
        {"read", {"EIO", "EINTR"}},
        {"pread64", {"EIO", "EINTR"}},
        {"write", {"EIO", "ENOSPC", "EDQUOT", "EINTR"}},
        {"pwrite64", {"EIO", "ENOSPC", "EDQUOT", "EINTR"}},
        {"fsync", {"EIO", "ENOSPC", "EDQUOT"}},
        {"fdatasync", {"EIO", "ENOSPC", "EDQUOT"}},
        {"rename", {"EIO", "EACCES", "ENOSPC", "EDQUOT"}},
        {"renameat2", {"EIO", "EACCES", "ENOSPC", "EDQUOT"}},
        {"linkat", {"EIO", "EACCES", "ENOSPC", "EDQUOT"}},
        {"unlinkat", {"EIO", "EACCES"}},
        {"unlink", {"EIO", "EACCES"}},
        {"mkdirat", {"EIO", "EACCES", "ENOSPC", "EDQUOT"}},
        {"mkdir", {"EIO", "EACCES", "ENOSPC", "EDQUOT"}},
        {"flock", {"EINTR", "ENOLCK"}},
        {"close", {"EIO", "EINTR"}},
        // A folder's listing (readdir).
        {"getdents64", {"EIO"}},
        // The copy of a move across file systems.
        {"sendfile", {"EIO", "ENOSPC", "EDQUOT", "EINTR"}},
        {"fchmod", {"EIO", "EPERM"}},
        {"utimensat", {"EIO", "EPERM"}},
        {"mmap", {"ENOMEM", "EACCES"}},
    };
    return kinds;
}

inline int ErrnoNumber(const std::string& name)
{
    static const std::map<std::string, int> numbers = {{"EACCES", EACCES}, {"EIO", EIO},   {"ENOSPC", ENOSPC},
                                                       {"EDQUOT", EDQUOT}, {"EINTR", EINTR}, {"ENOLCK", ENOLCK},
                                                       {"EPERM", EPERM},   {"ENOMEM", ENOMEM}};
    auto found = numbers.find(name);
    return found == numbers.end() ? 0 : found->second;
}

inline std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What strace should do: nothing (count), fail the Nth call of a kind with an
// error, or kill the program with a signal at it.
struct TInjection {
    std::string Kind;  // "" counts only
    int When = 0;      // 1-based, per thread
    std::string Error; // "EIO", ...
    std::string Signal; // "KILL": the program is killed on entering the call
    std::string Path;   // when set, only calls touching this path count (strace -P)
};

struct TTracedRun {
    int Exit = -1;         // the exit status, or -signal
    std::string Out;
    std::string Err;
    std::string Log;       // strace's log
    bool TimedOut = false; // killed after the deadline
};

// A program under strace (or, with underStrace false, on its own: faster),
// its output in files beside the log.
class TTracedProcess {
public:
    TTracedProcess(const std::vector<std::string>& argv, const TInjection& injection, const std::string& workDir,
                   const std::map<std::string, std::string>& env, bool underStrace = true)
        : outName_(workDir + "/.trace-out"), errName_(workDir + "/.trace-err"), logName_(workDir + "/.trace-log")
    {
        // No --seccomp-bpf: with it strace 6.1 lets some calls pass that it
        // should have tampered with.
        std::vector<std::string> args = {"strace", "-f", "-qq", "-y", "-o", logName_};
        std::string traced;
        for (const TSyscallKind& kind : FaultKinds())
            traced += std::string(traced.empty() ? "" : ",") + kind.Name;
        args.push_back("-e");
        args.push_back("trace=" + (injection.Kind.empty() ? traced : injection.Kind));
        if (!injection.Path.empty()) {
            args.push_back("-P");
            args.push_back(injection.Path);
        }
        if (!injection.Kind.empty()) {
            std::string what = injection.Signal.empty() ? "error=" + injection.Error : "signal=" + injection.Signal;
            args.push_back("-e");
            args.push_back("inject=" + injection.Kind + ":" + what + ":when=" + std::to_string(injection.When));
        }
        args.push_back("--");
        args.insert(args.end(), argv.begin(), argv.end());
        if (!underStrace)
            args = argv;
        pid_ = ::fork();
        if (pid_ == 0) {
            int out = ::open(outName_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int err = ::open(errName_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int in = ::open("/dev/null", O_RDONLY);
            if (out < 0 || err < 0 || in < 0)
                ::_exit(125);
            ::dup2(in, 0);
            ::dup2(out, 1);
            ::dup2(err, 2);
            for (const auto& [name, value] : env)
                ::setenv(name.c_str(), value.c_str(), 1);
            std::vector<char*> raw;
            for (std::string& a : args)
                raw.push_back(a.data());
            raw.push_back(nullptr);
            ::execvp(raw[0], raw.data());
            ::_exit(127);
        }
    }
    ~TTracedProcess()
    {
        if (pid_ > 0 && !waited_) {
            ::kill(pid_, SIGKILL);
            Wait(std::chrono::seconds(5));
        }
    }
    TTracedProcess(const TTracedProcess&) = delete;
    TTracedProcess& operator=(const TTracedProcess&) = delete;

    // The traced program's own process id (strace's child), 0 while unknown.
    pid_t TraceePid() const
    {
        std::string children = ReadWholeFile("/proc/" + std::to_string(pid_) + "/task/" + std::to_string(pid_) +
                                             "/children");
        return static_cast<pid_t>(std::atoi(children.c_str()));
    }
    bool Running()
    {
        if (waited_)
            return false;
        int status = 0;
        pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            Finish(status);
            return false;
        }
        return true;
    }
    std::string OutSoFar() const { return ReadWholeFile(outName_); }

    // Waits up to the deadline, then kills the whole trace.
    TTracedRun Wait(std::chrono::milliseconds deadline = std::chrono::seconds(120))
    {
        auto until = std::chrono::steady_clock::now() + deadline;
        while (Running()) {
            if (std::chrono::steady_clock::now() > until) {
                if (pid_t tracee = TraceePid(); tracee > 0)
                    ::kill(tracee, SIGKILL);
                ::kill(pid_, SIGKILL);
                run_.TimedOut = true;
                int status = 0;
                ::waitpid(pid_, &status, 0);
                Finish(status);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        run_.Out = ReadWholeFile(outName_);
        run_.Err = ReadWholeFile(errName_);
        run_.Log = ReadWholeFile(logName_);
        std::error_code ignored;
        for (const std::string& name : {outName_, errName_, logName_})
            std::filesystem::remove(name, ignored);
        return run_;
    }

private:
    void Finish(int status)
    {
        waited_ = true;
        run_.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }

    std::string outName_, errName_, logName_;
    pid_t pid_ = -1;
    bool waited_ = false;
    TTracedRun run_;
};

// The numbers (1-based, per thread) of each kind's calls that touched a path
// starting with one of folders, from a counting run's log. A call is numbered where it
// starts; strace writes a path argument and a descriptor's path (-y) there.
// strace counts each thread's calls on its own, so making "the Nth call" fail
// hits the Nth call of every thread: a number is kept only when no thread's
// Nth call of that kind went elsewhere (the loader's reads, the sanitizer's
// own pipe), else the failure would land outside the folder.
inline std::map<std::string, std::set<int>> CallsTouching(const std::string& log, const std::vector<std::string>& folders,
                                                          const std::function<bool(const std::string&)>& also = {})
{
    std::map<std::string, std::set<int>> calls, elsewhere;
    std::map<std::pair<std::string, std::string>, int> counters; // (pid, kind) -> calls so far
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos)
            end = log.size();
        std::string line = log.substr(start, end - start);
        start = end + 1;
        size_t space = line.find(' ');
        if (space == std::string::npos || line.find_first_not_of(' ', space) == std::string::npos)
            continue;
        std::string pid = line.substr(0, space);
        std::string rest = line.substr(line.find_first_not_of(' ', space));
        size_t paren = rest.find('(');
        if (rest[0] == '<' || rest[0] == '-' || rest[0] == '+' || paren == std::string::npos)
            continue;
        std::string kind = rest.substr(0, paren);
        int number = ++counters[{pid, kind}];
        // A path argument ("/...) or a descriptor's path (<...>), not data.
        bool touches = false;
        for (const std::string& folder : folders)
            touches = touches || rest.find('"' + folder) != std::string::npos || rest.find('<' + folder) != std::string::npos;
        (touches && (!also || also(rest)) ? calls : elsewhere)[kind].insert(number);
    }
    for (auto& [kind, numbers] : calls)
        for (int n : elsewhere[kind])
            numbers.erase(n);
    return calls;
}

// The line of the call strace tampered with, "" when none.
inline std::string InjectedLine(const std::string& log)
{
    size_t at = log.find("(INJECTED)");
    if (at == std::string::npos)
        at = log.find("--- SIGKILL");
    if (at == std::string::npos)
        return "";
    size_t begin = log.rfind('\n', at);
    begin = begin == std::string::npos ? 0 : begin + 1;
    size_t end = log.find('\n', at);
    return log.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

inline bool StraceAvailable()
{
    return std::system("strace -V >/dev/null 2>&1") == 0;
}
