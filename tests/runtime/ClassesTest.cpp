// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "runtime/BinaryFile.h"
#include "runtime/Classes.h"

namespace {

std::vector<std::string> Items(const TStringList& list)
{
    return std::vector<std::string>(list.begin(), list.end());
}

TEST(StringList, SortedDropsCaseInsensitiveDuplicates)
{
    TStringList list;
    list.SetSorted(true);
    EXPECT_EQ(list.Add("*.mpd"), 0);
    EXPECT_EQ(list.Add("*.HRM"), 0);
    EXPECT_EQ(list.Add("*.MPD"), 1); // equal to "*.mpd": dropped, its index returned
    list.Add("b");
    list.Add("A");
    EXPECT_EQ(Items(list), (std::vector<std::string>{"*.HRM", "*.mpd", "A", "b"}));
    EXPECT_EQ(list.IndexOf("a"), 2);
    EXPECT_EQ(list.IndexOf("zz"), -1);
}

TEST(StringList, SortingAnExistingListKeepsEqualEntriesInOrder)
{
    TStringList list;
    for (const char* s : {"b", "B", "a"})
        list.Add(s);
    list.SetSorted(true);
    EXPECT_EQ(Items(list), (std::vector<std::string>{"a", "b", "B"}));
}

TEST(StringList, CommaTextBothWays)
{
    const std::pair<const char*, std::vector<std::string>> parse[] = {
        {"*.mpd", {"*.mpd"}},
        {"*.mpd,*.hrm", {"*.mpd", "*.hrm"}},
        {" a , b ", {"a", "b"}},
        {"a b", {"a", "b"}},
        {"\"a b\",c", {"a b", "c"}},
        {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
        {"a,,b", {"a", "", "b"}},
        {"", {}},
        {"\"\"", {""}},
    };
    for (const auto& [text, expected] : parse) {
        TStringList list;
        list.SetCommaText(text);
        EXPECT_EQ(Items(list), expected) << text;
        TStringList back;
        back.SetCommaText(list.CommaText());
        EXPECT_EQ(Items(back), expected) << "round trip of " << text;
    }
    TStringList list;
    list.SetCommaText("\"a b\",c");
    EXPECT_EQ(list.CommaText(), "\"a b\",c");
}

TEST(StringList, TextSplitsAtAnyLineEnd)
{
    TStringList list;
    list.SetText("one\r\ntwo\rthree\nfour");
    EXPECT_EQ(Items(list), (std::vector<std::string>{"one", "two", "three", "four"}));
    EXPECT_EQ(list.Text(), "one\r\ntwo\r\nthree\r\nfour\r\n");
}

TEST(StringList, AssignIntoSortedListResorts)
{
    TStringList source;
    for (const char* s : {"c", "a", "C"})
        source.Add(s);
    TStringList target;
    target.SetSorted(true);
    target.Add("old");
    target.Assign(source);
    EXPECT_EQ(Items(target), (std::vector<std::string>{"a", "c"}));
}

TEST(StringList, UpdateBracketingDefersChange)
{
    TStringList list;
    int changes = 0;
    list.OnChange = [&](TObject*) { ++changes; };
    list.BeginUpdate();
    list.Add("a");
    list.Add("b");
    list.Clear();
    EXPECT_EQ(changes, 0);
    list.EndUpdate();
    EXPECT_EQ(changes, 1);
    list.Add("c");
    EXPECT_EQ(changes, 2);
    EXPECT_THROW(list.Strings(5), EListError);
    EXPECT_THROW(list.Delete(-1), EListError);
}

class BinaryFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = std::filesystem::temp_directory_path() /
                ("quillon-binfile-" + std::to_string(::getpid()) + ".bin");
        std::ofstream out(path_, std::ios::binary);
        for (int i = 0; i < 40000; ++i)
            out.put(static_cast<char>(i * 7));
    }
    void TearDown() override { std::filesystem::remove(path_); }
    std::filesystem::path path_;
};

TEST_F(BinaryFileTest, ReadsAnywhereAndReportsShortReads)
{
    TBinaryFile file(path_.string());
    EXPECT_EQ(file.FileSize(), 40000);
    // Reads scattered across and beyond the buffer see the file's bytes.
    for (int64_t at : {0, 100, 16383, 16384, 30000, 39990, 5}) {
        uint8_t bytes[10];
        size_t got = 0;
        file.Seek(at);
        file.BlockRead(bytes, sizeof bytes, got);
        ASSERT_EQ(got, static_cast<size_t>(std::min<int64_t>(10, 40000 - at)));
        for (size_t i = 0; i < got; ++i)
            EXPECT_EQ(bytes[i], static_cast<uint8_t>((at + static_cast<int64_t>(i)) * 7)) << at;
        EXPECT_EQ(file.FilePos(), at + static_cast<int64_t>(got));
    }
    std::vector<uint8_t> all(40000);
    file.Seek(0);
    file.BlockRead(all.data(), all.size());
    EXPECT_EQ(all[39999], static_cast<uint8_t>(39999 * 7));

    uint8_t bytes[10];
    file.Seek(39995);
    EXPECT_THROW(file.BlockRead(bytes, sizeof bytes), EInOutError);
    file.Seek(50000);
    size_t got = 99;
    file.BlockRead(bytes, sizeof bytes, got);
    EXPECT_EQ(got, 0u);
    EXPECT_THROW(file.Seek(-1), EInOutError);
}

TEST_F(BinaryFileTest, OpenFailuresNameTheFile)
{
    TBinaryFile file;
    try {
        file.Open("/nonexistent/quillon.mpd");
        FAIL() << "opened a missing file";
    } catch (const EInOutError& e) {
        EXPECT_NE(e.Message().find("/nonexistent/quillon.mpd"), std::string::npos);
    }
    EXPECT_THROW(file.Open(std::filesystem::temp_directory_path().string()), EInOutError);
    EXPECT_FALSE(file.IsOpen());
}

} // namespace
