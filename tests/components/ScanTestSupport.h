// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Scratch folders, file helpers and a private registry folder for the
// scanner, registry and rename workflow tests.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

class TScanScratch : public ::testing::Test {
public:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillon-scan-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        folder = root + "/data";
        registryDir = root + "/registry";
        std::filesystem::create_directories(folder);
        const char* old = std::getenv("QUILLON_REGISTRY_DIR");
        hadRegistryDir = old != nullptr;
        oldRegistryDir = old ? old : "";
        ::setenv("QUILLON_REGISTRY_DIR", registryDir.c_str(), 1);
    }
    void TearDown() override
    {
        if (hadRegistryDir)
            ::setenv("QUILLON_REGISTRY_DIR", oldRegistryDir.c_str(), 1);
        else
            ::unsetenv("QUILLON_REGISTRY_DIR");
        std::error_code error;
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
    // Names in the folder, sorted by bytes.
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
    std::string registryDir;

private:
    bool hadRegistryDir = false;
    std::string oldRegistryDir;
};
