// SPDX-License-Identifier: GPL-3.0-or-later
// The long watch's file source (`test_faults --soak-feed ...`, run by
// scripts/soak.sh): MPD files with distinct standard names arrive in a folder
// in bursts, RATE a second on average, for SECONDS. Of every twenty, one is
// written slowly (half, a pause of about a second, the rest), one is replaced
// by another file under the same name soon after it arrives, one is removed
// soon after it arrives; the others are written beside the folder and moved
// in, or written in place. Now and then the journal's lock is held for a while
// by this process. At the end it prints what it did as `key=value` lines; the
// replaced files go to MANIFEST, one `NAME<TAB>START OF THE STANDARD NAME OF
// ITS LAST VERSION` a line.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "satellite/SampleFiles.h"
#include "tests/faults/SyscallFaults.h"

namespace {

// File i's bytes: a day and half-hour slot of its own from 1990 on; the
// second version of a replaced file has the same slot from 2010 on, a time as
// listable as the first but giving another name.
std::string SampleBytes(const std::string& scratch, long i, bool secondVersion = false)
{
    TDateTime when = EncodeDate(secondVersion ? 2010 : 1990, 1, 1) + static_cast<double>(i / 48) +
                     EncodeTime(static_cast<int>((i % 48) / 2), static_cast<int>((i % 2) * 30 + 5), 0, 0);
    WriteSampleMpd(scratch, 0xD4F7, "AIVH", when);
    return ReadWholeFile(scratch);
}

bool WriteBytes(const std::string& name, const std::string& bytes, size_t from, size_t to, bool create)
{
    int fd = ::open(name.c_str(), create ? (O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC) : (O_WRONLY | O_APPEND | O_CLOEXEC),
                    0644);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, bytes.data() + from, to - from) == static_cast<ssize_t>(to - from);
    ::close(fd);
    return ok;
}

struct TSlowFile {
    std::string Name;
    std::string Bytes;
    int SecondsLeft = 1;
};

// The start of the standard name of file i's second version: its date and
// half-hour slot, "yyyy-mm-dd-ss".
std::string SecondVersionName(long i)
{
    int year = 0, month = 0, day = 0;
    DecodeDate(EncodeDate(2010, 1, 1) + static_cast<double>(i / 48), year, month, day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d-%02ld", year, month, day, i % 48);
    return text;
}

} // namespace

int RunSoakFeed(const std::string& folder, double seconds, int rate, const std::string& journalLock,
                const std::string& manifestName)
{
    namespace fs = std::filesystem;
    const std::string staging = folder + ".staging";
    fs::create_directories(staging);
    const std::string scratch = staging + "/scratch.tmp";
    long next = 0, moved = 0, inPlace = 0, slow = 0, replaced = 0, removed = 0, lockHolds = 0;
    std::vector<TSlowFile> slowFiles;
    std::vector<std::string> toRemove;
    std::vector<std::pair<std::string, long>> toReplace;
    auto name = [&](long i) {
        char text[32];
        std::snprintf(text, sizeof text, "%09ld.mpd", i);
        return folder + "/" + text;
    };
    FILE* manifest = manifestName.empty() ? nullptr : std::fopen(manifestName.c_str(), "w");
    const auto start = std::chrono::steady_clock::now();
    for (int second = 0; second < static_cast<int>(seconds); ++second) {
        // Bursts: a second of double rate, one of none, the rest even.
        int count = second % 10 == 3 ? 2 * rate : second % 10 == 4 ? 0 : rate;
        for (int k = 0; k < count; ++k) {
            long i = next++;
            std::string target = name(i);
            std::string bytes = SampleBytes(scratch, i);
            switch (i % 20) {
            case 0: // slowly: half now, the rest a second or so later
                WriteBytes(target, bytes, 0, bytes.size() / 2, true);
                slowFiles.push_back({target, bytes, 1});
                ++slow;
                break;
            case 1: // replaced soon after it arrives
                WriteBytes(target, bytes, 0, bytes.size(), true);
                toReplace.emplace_back(target, i);
                break;
            case 2: // removed soon after it arrives
                WriteBytes(target, bytes, 0, bytes.size(), true);
                toRemove.push_back(target);
                break;
            default:
                if (i % 2) {
                    WriteBytes(scratch, bytes, 0, bytes.size(), true);
                    ::rename(scratch.c_str(), target.c_str());
                    ++moved;
                } else {
                    WriteBytes(target, bytes, 0, bytes.size(), true);
                    ++inPlace;
                }
            }
        }
        // A second later: the slow files end, the replaced and removed ones go.
        std::this_thread::sleep_until(start + std::chrono::milliseconds(static_cast<long>(second) * 1000 + 500));
        for (const std::string& gone : toRemove)
            if (::unlink(gone.c_str()) == 0)
                ++removed;
        toRemove.clear();
        for (const auto& [target, i] : toReplace) {
            // The replacement is a file of its own (its own standard name),
            // moved over the first under the same name: when the first is
            // already renamed it simply arrives as a new file.
            SampleBytes(scratch, i, true);
            if (manifest)
                std::fprintf(manifest, "%s\t%s\n", fs::path(target).filename().c_str(), SecondVersionName(i).c_str());
            ::rename(scratch.c_str(), target.c_str());
            ++replaced;
        }
        toReplace.clear();
        for (size_t s = 0; s < slowFiles.size();) {
            if (--slowFiles[s].SecondsLeft < 0) {
                WriteBytes(slowFiles[s].Name, slowFiles[s].Bytes, slowFiles[s].Bytes.size() / 2,
                           slowFiles[s].Bytes.size(), false);
                slowFiles.erase(slowFiles.begin() + static_cast<long>(s));
            } else {
                ++s;
            }
        }
        // Every minute the journal's lock is held for a second and a half.
        if (!journalLock.empty() && second % 60 == 30) {
            int fd = ::open(journalLock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            if (fd >= 0 && ::flock(fd, LOCK_EX) == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                ++lockHolds;
            }
            if (fd >= 0)
                ::close(fd);
        }
        std::this_thread::sleep_until(start + std::chrono::seconds(second + 1));
    }
    for (const TSlowFile& file : slowFiles)
        WriteBytes(file.Name, file.Bytes, file.Bytes.size() / 2, file.Bytes.size(), false);
    if (manifest)
        std::fclose(manifest);
    std::error_code ignored;
    fs::remove_all(staging, ignored);
    std::printf("written=%ld\nmoved=%ld\nin_place=%ld\nslow=%ld\nreplaced=%ld\nremoved=%ld\nlock_holds=%ld\n", next,
                moved, inPlace, slow, replaced, removed, lockHolds);
    return 0;
}
