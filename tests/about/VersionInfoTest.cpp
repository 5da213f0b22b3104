// SPDX-License-Identifier: GPL-3.0-or-later
// The version resource reader over blocks, PE files and ELF files that the
// tests build, and over the test program's own embedded block.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "about/VersionInfo.h"
#include "about/VersionBlock.h"
#include "runtime/Application.h"
#include "startup/Startup.h"

namespace {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/quillon-about-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const
    {
        std::string file = path_ + "/" + name;
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return file;
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

TVersionBlockSpec ProgramSpec()
{
    TVersionBlockSpec layout;
    layout.FileVersionMS = layout.ProductVersionMS = 0x00060000;
    layout.FileVersionLS = layout.ProductVersionLS = 0x00000003;
    layout.Translations = {{0x0809, 0x04E4}};
    layout.StringTables = {{"080904E4",
                          {{"CompanyName", "Maker, Town"},
                           {"FileDescription", "Rename Timestep MPD files"},
                           {"FileVersion", "6.0.0.3"},
                           {"ProductName", "Suite"},
                           {"ProductVersion", "6.0"},
                           {"Comments", "2007 Nov 10"},
                           {"Web site", "www.maker.example"}}}};
    return layout;
}

class VersionInfo : public ::testing::Test {
protected:
    void SetUp() override { InitializeUnits(); }
    // A reader over the block, written as a PE file.
    void Load(TdfsVersionInfoResource& vi, const TVersionBlockSpec& layout)
    {
        vi.SetFilename(dir_.Write("file.exe", BuildPEWithVersionBlock(BuildVersionBlock(layout), false)));
    }
    TempDir dir_;
};

TEST_F(VersionInfo, ReadsThePredefinedValuesOfAPeFile)
{
    TdfsVersionInfoResource vi;
    Load(vi, ProgramSpec());
    ASSERT_EQ(vi.Translations().Count(), 1);
    EXPECT_EQ(vi.Translations()[0], "080904E4");
    EXPECT_EQ(vi.CompanyName(), "Maker, Town");
    EXPECT_EQ(vi.ProductName(), "Suite");
    EXPECT_EQ(vi.ValueByIndex(pdComments), "2007 Nov 10");
    EXPECT_EQ(vi.StringValue("Web site"), "www.maker.example");
    EXPECT_EQ(vi.StringValue("web SITE"), "www.maker.example"); // keys ignore case
    EXPECT_EQ(vi.StringValue("Author"), "");
    EXPECT_EQ(vi.ValueByIndex(-1), "");
    EXPECT_EQ(vi.ValueByIndex(11), "");
    EXPECT_EQ(vi.FileVersionInfo().AsText(), "6.0.0.3");
    EXPECT_EQ(vi.ProductVersionInfo().AsText(), "6.0"); // the string wins over the numbers
    EXPECT_EQ(vi.ProductVersionInfo().Part(0), 6);
    EXPECT_EQ(vi.ProductVersionInfo().Part(3), 3);
    EXPECT_EQ(vi.FlagsText(), "");
}

TEST_F(VersionInfo, StringValuesArePredefinedKeysThenWebSite)
{
    TdfsVersionInfoResource vi;
    Load(vi, ProgramSpec());
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"CompanyName", "Maker, Town"},       {"FileDescription", "Rename Timestep MPD files"},
        {"FileVersion", "6.0.0.3"},           {"InternalName", ""},
        {"LegalCopyright", ""},               {"LegalTrademarks", ""},
        {"OriginalFilename", ""},             {"ProductName", "Suite"},
        {"ProductVersion", "6.0"},            {"Comments", "2007 Nov 10"},
        {"BuildFlags", ""},                   {"Web site", "www.maker.example"}};
    EXPECT_EQ(VersionStringValues(vi), expected);
}

TEST_F(VersionInfo, NumbersServeWhenTheVersionStringIsMissing)
{
    TVersionBlockSpec layout = ProgramSpec();
    layout.StringTables[0].Values = {{"CompanyName", "Maker"}};
    TdfsVersionInfoResource vi;
    Load(vi, layout);
    EXPECT_EQ(vi.FileVersionInfo().AsText(), "6.0.0.3");
    EXPECT_EQ(vi.ProductVersionInfo().AsText(), "6.0.0.3");
}

TEST_F(VersionInfo, OnlyTheFirstOfSeveralTranslationsIsUsed)
{
    TVersionBlockSpec layout = ProgramSpec();
    layout.Translations = {{0x0407, 0x04E4}, {0x0809, 0x04E4}};
    layout.StringTables = {{"080904E4", {{"ProductName", "English"}}}, {"040704E4", {{"ProductName", "Deutsch"}}}};
    TdfsVersionInfoResource vi;
    Load(vi, layout);
    ASSERT_EQ(vi.Translations().Count(), 2);
    EXPECT_EQ(vi.Translations()[0], "040704E4");
    EXPECT_EQ(vi.Translations()[1], "080904E4");
    EXPECT_EQ(vi.ProductName(), "Deutsch");
}

TEST_F(VersionInfo, LanguageAndCodePageZeroMeanUsEnglishAndWindowsLatin)
{
    TVersionBlockSpec layout = ProgramSpec();
    layout.Translations = {{0, 0}};
    layout.StringTables = {{"040904E4", {{"ProductName", "Neutral"}}}};
    TdfsVersionInfoResource vi;
    Load(vi, layout);
    ASSERT_EQ(vi.Translations().Count(), 1);
    EXPECT_EQ(vi.Translations()[0], "040904E4");
    EXPECT_EQ(vi.ProductName(), "Neutral");
}

TEST_F(VersionInfo, WithoutTranslationsStringsAreLookedUpUnderUsEnglish)
{
    TVersionBlockSpec layout = ProgramSpec();
    layout.HasVarFileInfo = false;
    layout.StringTables = {{"040904E4", {{"ProductName", "Fallback"}}}};
    TdfsVersionInfoResource vi;
    Load(vi, layout);
    EXPECT_EQ(vi.Translations().Count(), 0);
    EXPECT_EQ(vi.ProductName(), "Fallback");
}

TEST_F(VersionInfo, MissingStringTableGivesEmptyStringsAndTheNumbers)
{
    TVersionBlockSpec layout = ProgramSpec();
    layout.StringTables.clear();
    TdfsVersionInfoResource vi;
    Load(vi, layout);
    for (int i = 0; i < PreDefCount; ++i)
        EXPECT_EQ(vi.ValueByIndex(i), "") << i;
    EXPECT_EQ(vi.FileVersionInfo().AsText(), "6.0.0.3");
}

TEST_F(VersionInfo, MissingFixedRecordGivesZeroNumbersAndNoFlags)
{
    TVersionBlockSpec layout = ProgramSpec();
    layout.HasFixedInfo = false;
    layout.FileFlags = 0x3F;
    layout.StringTables[0].Values = {{"ProductName", "Suite"}};
    TdfsVersionInfoResource vi;
    Load(vi, layout);
    EXPECT_FALSE(vi.FixedInfo().HasRecord());
    EXPECT_EQ(vi.FixedInfo().FileVersionMS(), 0u);
    EXPECT_EQ(vi.FileVersionInfo().AsText(), "0.0.0.0");
    EXPECT_EQ(vi.FlagsText(), "");
    EXPECT_EQ(vi.ProductName(), "Suite");
}

TEST_F(VersionInfo, FlagsTextNamesTheSetFlagsInMemberOrder)
{
    struct Case {
        std::uint32_t flags;
        const char* text;
    } cases[] = {
        {0x00, ""},
        {0x03, "Debug, Pre-Release"},
        {0x10, "Info Inferred"},
        {0x3F, "Debug, Info Inferred, Patched, Pre-Release, Private, Special"},
        {0xC0, ""},
    };
    for (const Case& c : cases) {
        TVersionBlockSpec layout = ProgramSpec();
        layout.FileFlags = c.flags;
        layout.FileFlagsMask = 0; // the mask is not applied
        TdfsVersionInfoResource vi;
        Load(vi, layout);
        EXPECT_EQ(vi.FlagsText(), c.text) << c.flags;
    }
}

TEST_F(VersionInfo, FilesWithoutABlockGiveNothing)
{
    TVersionBlockSpec layout = ProgramSpec();
    std::vector<std::uint8_t> pe = BuildPEWithVersionBlock(BuildVersionBlock(layout), false);
    std::vector<std::uint8_t> truncated(pe.begin(), pe.begin() + 0x210);
    const std::string files[] = {
        dir_.Path() + "/missing.exe",
        dir_.Write("text.txt", {'h', 'e', 'l', 'l', 'o'}),
        dir_.Write("truncated.exe", truncated),
        dir_.Path(), // a folder
    };
    for (const std::string& file : files) {
        TdfsVersionInfoResource vi;
        vi.SetFilename(file);
        EXPECT_TRUE(vi.VersionData().empty()) << file;
        EXPECT_EQ(vi.ProductName(), "") << file;
        EXPECT_EQ(vi.FileVersionInfo().AsText(), "") << file;
        EXPECT_EQ(vi.FileVersionInfo().Part(0), 0) << file;
        EXPECT_EQ(vi.FlagsText(), "") << file;
    }
}

TEST_F(VersionInfo, ReadsPe32PlusAndElfFiles)
{
    std::vector<std::uint8_t> block = BuildVersionBlock(ProgramSpec());
    const std::string files[] = {
        dir_.Write("a64.exe", BuildPEWithVersionBlock(block, true)),
        dir_.Write("prog", BuildELFWithVersionBlock(block)),
    };
    for (const std::string& file : files) {
        TdfsVersionInfoResource vi;
        vi.SetFilename(file);
        EXPECT_EQ(vi.ProductName(), "Suite") << file;
        EXPECT_EQ(vi.FileVersionInfo().AsText(), "6.0.0.3") << file;
    }
}

TEST_F(VersionInfo, FilenameAssignmentRereadsEvenWhenUnchanged)
{
    TdfsVersionInfoResource vi;
    Load(vi, ProgramSpec());
    EXPECT_EQ(vi.ProductName(), "Suite");
    TVersionBlockSpec layout = ProgramSpec();
    layout.StringTables[0].Values = {{"ProductName", "Changed"}};
    Load(vi, layout); // same name, new contents
    EXPECT_EQ(vi.ProductName(), "Changed");
}

TEST_F(VersionInfo, ForceExeReadsTheApplicationsExecutable)
{
    TdfsVersionInfoResource vi;
    EXPECT_EQ(vi.ResolveFileName(), Application().ExeName());
    EXPECT_TRUE(vi.VersionData().empty()); // nothing is read at creation
    vi.SetForceEXE(true);
    // The test program carries the build's version block.
    EXPECT_EQ(vi.FileVersionInfo().AsText(), "6.0.0.3");
    EXPECT_EQ(vi.ValueByIndex(pdComments), "2007 Nov 10");
    EXPECT_EQ(vi.Translations()[0], "080904E4");
    EXPECT_FALSE(vi.StringValue("Web site").empty());
}

TEST(VersionNumber, PartsAndText)
{
    TVersionNumberInformation n(0x00060001, 0x00020003);
    EXPECT_EQ(n.AsText(), ""); // not valid yet
    EXPECT_EQ(n.Part(0), 0);
    n.Valid = true;
    EXPECT_EQ(n.AsText(), "6.1.2.3");
    const int parts[] = {6, 1, 2, 3, 0, 0};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(n.Part(i), parts[i]) << i;
    EXPECT_EQ(n.Part(-1), 0);
    n.VersionText = "six";
    EXPECT_EQ(n.AsText(), "six");
}

struct FakeLabel : TVersionLabel {
    void SetCaption(const std::string& caption) override { Caption = caption, ++Writes; }
    std::string Caption = "unset";
    int Writes = 0;
};

struct FakeList : TVersionListView {
    void ClearAll() override { Columns.clear(), Rows.clear(); }
    void AddColumn(const std::string& caption, int width) override { Columns.push_back(caption + "/" + std::to_string(width)); }
    void AddItem(const std::string& caption, const std::string& value) override { Rows.push_back(caption + "=" + value); }
    std::vector<std::string> Columns, Rows;
};

TEST_F(VersionInfo, LabelsAndListFollowTheData)
{
    TVersionBlockSpec layout = ProgramSpec();
    layout.FileFlags = 0x01;
    layout.StringTables[0].Values.push_back({"LegalCopyright", "(C) Maker"});
    TdfsVersionInfoResource vi;
    FakeLabel copyright, product;
    FakeList list;
    vi.SetCopyrightLabel(&copyright);
    vi.SetProductLabel(&product);
    EXPECT_FALSE(vi.ShowResource().Contains(pdLegalCopyright));
    EXPECT_FALSE(vi.ShowResource().Contains(pdProductName));
    EXPECT_EQ(copyright.Caption, ""); // written even when empty
    vi.SetVersionListView(&list);
    Load(vi, layout);
    EXPECT_EQ(copyright.Caption, "(C) Maker");
    EXPECT_EQ(product.Caption, "Suite");
    EXPECT_EQ(list.Columns, (std::vector<std::string>{"Resource/-2", "Value/-2"}));
    EXPECT_EQ(list.Rows, (std::vector<std::string>{
                             "Product Version=6.0", "Company Name=Maker, Town",
                             "File Description=Rename Timestep MPD files", "File Version=6.0.0.3",
                             "Build Flags=Debug", "Comments=2007 Nov 10"}));

    // Detaching does not bring the row back; a removed label is forgotten.
    vi.SetProductLabel(nullptr);
    EXPECT_FALSE(vi.ShowResource().Contains(pdProductName));
    vi.Notification(&copyright, opRemove);
    EXPECT_EQ(vi.CopyrightLabel(), nullptr);
    int writes = copyright.Writes;
    vi.FillControls();
    EXPECT_EQ(copyright.Writes, writes);

    TPreDefs shown = vi.ShowResource();
    shown.Exclude(pdCompanyName);
    vi.SetShowResource(shown);
    EXPECT_EQ(list.Rows.size(), 5u);
    EXPECT_EQ(list.Rows[1], "File Description=Rename Timestep MPD files");
}

TEST_F(VersionInfo, NothingIsFilledWhileLoading)
{
    TdfsVersionInfoResource vi;
    FakeLabel product;
    vi.BeginLoading();
    vi.SetProductLabel(&product);
    vi.SetFilename(dir_.Write("f.exe", BuildPEWithVersionBlock(BuildVersionBlock(ProgramSpec()), false)));
    EXPECT_EQ(product.Writes, 0);
    vi.Loaded();
    EXPECT_EQ(product.Caption, "Suite");
}

TEST(VersionInfoProperties, VersionTextIsFixed)
{
    TdfsVersionInfoResource vi;
    vi.SetVersion("other");
    EXPECT_EQ(vi.Version(), "TdfsVersionInfoResource v2.35");
    EXPECT_EQ(vi.ShowResource().Bits, 2047);
    EXPECT_EQ(vi.TranslationIndex(), 0);
}

} // namespace
