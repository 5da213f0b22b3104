// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Running quillon-cli from the undo, history and watch tests: one-shot runs
// with their output and exit status, and background runs (watch, a rename to
// be killed) whose output is read line by line.
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "satellite/SampleFiles.h"

struct TCliRun {
    int Exit = -1;
    std::string Out;
    std::string Err;
};

// A quillon-cli process with its stdout (and stderr) on pipes.
class TCliProcess {
public:
    TCliProcess(const std::vector<std::string>& args, const std::string& stateHome, const std::string& cwd = "")
    {
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            ::setenv("XDG_STATE_HOME", stateHome.c_str(), 1);
            if (!cwd.empty() && ::chdir(cwd.c_str()) != 0)
                ::_exit(126);
            std::vector<char*> argv;
            std::string program = QUILLON_CLI;
            argv.push_back(program.data());
            std::vector<std::string> copy = args;
            for (std::string& a : copy)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~TCliProcess()
    {
        if (pid_ > 0 && !waited_) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
        if (out_ >= 0)
            ::close(out_);
        if (err_ >= 0)
            ::close(err_);
    }
    pid_t Pid() const { return pid_; }

    // The next stdout line (without its break), or false when none came
    // within the deadline or the output ended.
    bool ReadLine(std::string& line, std::chrono::milliseconds deadline = std::chrono::seconds(60))
    {
        auto until = std::chrono::steady_clock::now() + deadline;
        for (;;) {
            size_t end = outBuffer_.find('\n');
            if (end != std::string::npos) {
                line = outBuffer_.substr(0, end);
                outBuffer_.erase(0, end + 1);
                return true;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left.count() < 0 || outClosed_)
                return false;
            if (!Pump(static_cast<int>(left.count())))
                return false;
        }
    }
    // Whatever stdout holds now, without waiting.
    std::string Available()
    {
        while (Pump(0)) {
        }
        std::string all = outBuffer_;
        outBuffer_.clear();
        return all;
    }
    // Waits for the end and returns the exit status (-signal when killed).
    int Wait()
    {
        if (waited_)
            return status_;
        while (Pump(-1)) {
        }
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        waited_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        return status_;
    }
    std::string Out() const { return outBuffer_; }
    std::string Err() const { return errBuffer_; }

private:
    // Reads what is there within timeoutMs; false once both pipes are closed
    // or nothing arrived in time.
    bool Pump(int timeoutMs)
    {
        struct pollfd fds[2];
        int n = 0;
        if (!outClosed_)
            fds[n++] = {out_, POLLIN, 0};
        if (!errClosed_)
            fds[n++] = {err_, POLLIN, 0};
        if (n == 0)
            return false;
        int ready = ::poll(fds, n, timeoutMs);
        if (ready <= 0)
            return false;
        for (int i = 0; i < n; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[65536];
            ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            bool isOut = fds[i].fd == out_;
            if (got <= 0)
                (isOut ? outClosed_ : errClosed_) = true;
            else
                (isOut ? outBuffer_ : errBuffer_).append(buffer, static_cast<size_t>(got));
        }
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    bool outClosed_ = false;
    bool errClosed_ = false;
    bool waited_ = false;
    int status_ = -1;
    std::string outBuffer_;
    std::string errBuffer_;
};

inline TCliRun RunCli(const std::vector<std::string>& args, const std::string& stateHome, const std::string& cwd = "")
{
    TCliProcess process(args, stateHome, cwd);
    TCliRun run;
    run.Exit = process.Wait();
    run.Out = process.Out();
    run.Err = process.Err();
    return run;
}

inline std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

inline std::string ReadFileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Name -> content of every file of a folder.
inline std::map<std::string, std::string> FolderContents(const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files[entry.path().filename().string()] = ReadFileText(entry.path().string());
    return files;
}

// A sample MPD file whose standard name is fixed by the day and slot: day d
// after 2005-01-01 and half-hour slot s (0..47) give a distinct name each.
inline TDateTime SampleTime(int day, int slot)
{
    return EncodeDate(2005, 1, 1) + day + EncodeTime(slot / 2, (slot % 2) * 30 + 5, 0, 0);
}

// A scratch folder with a data folder and a state folder for the journal.
class TCliScratch : public ::testing::Test {
public:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillon-cli-journal-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        folder = root + "/data";
        state = root + "/state";
        std::filesystem::create_directories(folder);
    }
    void TearDown() override
    {
        std::error_code error;
        std::filesystem::remove_all(root, error);
    }
    std::string InFolder(const std::string& name) const { return folder + "/" + name; }
    // Writes count sample files 0000NNNN.mpd with distinct standard names.
    void WriteSamples(int count, int firstDay = 0)
    {
        for (int i = 0; i < count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "%08d.mpd", firstDay * 48 + i);
            WriteSampleMpd(InFolder(name), 0xD4F7, "AIVH", SampleTime(firstDay + i / 48, i % 48));
        }
    }
    TCliRun Cli(const std::vector<std::string>& args, const std::string& cwd = "") { return RunCli(args, state, cwd); }

    std::string root;
    std::string folder;
    std::string state;
};
