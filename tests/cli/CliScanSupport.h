// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs quillon-cli with separate stdout and stderr, in a scratch folder with
// its own registry folder; writes sample MPD files.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <algorithm>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include <gtest/gtest.h>

#include "satellite/SampleFiles.h"

extern char** environ;

struct TScanCliResult {
    int status = -1;
    std::string out;
    std::string err;
};

class TScanCliScratch : public ::testing::Test {
public:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillon-cliscan-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        folder = root + "/data";
        std::filesystem::create_directories(folder);
    }
    void TearDown() override
    {
        std::error_code error;
        std::filesystem::remove_all(root, error);
    }

    TScanCliResult RunCli(std::initializer_list<std::string> args) const
    {
        return RunCli(std::vector<std::string>(args));
    }
    TScanCliResult RunCli(const std::vector<std::string>& args) const
    {
        std::vector<std::string> all{QUILLON_CLI};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string outFile = root + "/stdout", errFile = root + "/stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        TScanCliResult result;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
            int status = 0;
            waitpid(pid, &status, 0);
            result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        posix_spawn_file_actions_destroy(&actions);
        result.out = ReadText(outFile);
        result.err = ReadText(errFile);
        return result;
    }

    void WriteMpd(const std::string& name, int year, int month, int day, int hour, int minute,
                  const char* letters = "AIVH") const
    {
        WriteSampleMpd(InFolder(name), 0xD4F7, letters, EncodeDate(year, month, day) + EncodeTime(hour, minute, 0, 0));
    }
    static void WriteText(const std::string& path, const std::string& text)
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
    }
    static std::string ReadText(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string InFolder(const std::string& name) const { return folder + "/" + name; }
    std::vector<std::string> Listing() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string root;
    std::string folder;
};
