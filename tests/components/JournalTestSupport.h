// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Scratch folders and small file helpers for the journal tests.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

class TJournalScratch : public ::testing::Test {
public:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillon-journal-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        folder = root + "/data";
        std::filesystem::create_directories(folder);
        journalFile = root + "/state/quillon/journal.jsonl";
    }
    void TearDown() override
    {
        std::error_code error;
        std::filesystem::permissions(root, std::filesystem::perms::owner_all, error);
        std::filesystem::remove_all(root, error);
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

    std::string root;
    std::string folder;
    std::string journalFile;
};
