// SPDX-License-Identifier: GPL-3.0-or-later
// The folder browse dialog: property defaults and setter effects, Execute
// confirmed and cancelled, events, status-line fitting, IsExistingFolder.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QLabel>
#include <QLineEdit>
#include <filesystem>

#include "components/gui/BrowseDirectoryDialog.h"

namespace {

namespace fs = std::filesystem;

class BrowseDrTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/quillon-browse-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        fs::create_directories(root_ + "/data/sub");
    }
    void TearDown() override
    {
        TdfsBrowseDirectoryDlg::SetModalRunner(nullptr);
        std::error_code error;
        fs::remove_all(root_, error);
    }
    std::string root_;
};

TEST_F(BrowseDrTest, Defaults)
{
    TdfsBrowseDirectoryDlg dlg;
    EXPECT_EQ(dlg.Version(), "TdfsBrowseDirectoryDlg v2.61");
    dlg.SetVersion("x");
    EXPECT_EQ(dlg.Version(), "TdfsBrowseDirectoryDlg v2.61");
    EXPECT_EQ(dlg.Root, idDesktop);
    EXPECT_TRUE(dlg.Center);
    EXPECT_TRUE(dlg.FitStatusText());
    EXPECT_TRUE(dlg.EnableOKButton());
    EXPECT_EQ(dlg.ImageIndex(), -1);
    EXPECT_EQ(dlg.Options(), TBrowseFlags());
    EXPECT_EQ(dlg.Selection(), "");
    EXPECT_EQ(dlg.DialogHandle(), nullptr);
    EXPECT_EQ(RootFolder(idDrives), "/");
}

TEST_F(BrowseDrTest, SelectionOfAnExistingFolderGetsATrailingDelimiter)
{
    TdfsBrowseDirectoryDlg dlg;
    dlg.SetSelection(root_ + "/data");
    EXPECT_EQ(dlg.Selection(), root_ + "/data/");
    dlg.SetSelection(root_ + "/nosuch");
    EXPECT_EQ(dlg.Selection(), root_ + "/nosuch");
    dlg.ShowSelectionInStatus = true;
    dlg.SetSelection("/");
    EXPECT_EQ(dlg.Selection(), "/");
    EXPECT_EQ(dlg.StatusText(), "/");
}

TEST_F(BrowseDrTest, OptionsAddTheirImpliedMembers)
{
    struct Case {
        TBrowseFlags set, expected;
    } cases[] = {
        {{bfIncludeURLs}, {bfIncludeFiles, bfEditBox, bfIncludeURLs, bfNewDialogStyle, bfUseNewUI}},
        {{bfShareable}, {bfEditBox, bfNewDialogStyle, bfShareable, bfUseNewUI}},
        {{bfUseNewUI}, {bfEditBox, bfNewDialogStyle, bfUseNewUI}},
        {{bfDirectoriesOnly, bfEditBox}, {bfDirectoriesOnly, bfEditBox}},
    };
    for (const Case& c : cases) {
        TdfsBrowseDirectoryDlg dlg;
        dlg.SetOptions(c.set);
        EXPECT_EQ(dlg.Options().Bits, c.expected.Bits);
    }
    EXPECT_EQ(BrowseInfoFlags({bfEditBox}, false), 0x0010u | 0x0020u);
    EXPECT_EQ(BrowseInfoFlags({bfDirectoriesOnly}, true), 0x0001u | 0x0004u);
    EXPECT_EQ(BrowseInfoFlags({bfUseNewUI}, false), 0x0050u);
}

TEST_F(BrowseDrTest, ConfirmReturnsTheFolderWithoutTrailingDelimiter)
{
    std::vector<std::string> events;
    TdfsBrowseDirectoryDlg dlg;
    dlg.Root = idDrives;
    dlg.SetCaption("Pick one.");
    dlg.SetSelection(root_ + "/data");
    dlg.OnCreate = [&](TObject*) {
        events.push_back("create " + dlg.Caption());
        EXPECT_NE(dlg.DialogHandle(), nullptr);
    };
    dlg.OnSelChanged = [&](TObject*, const std::string& path, const std::string&) { events.push_back("sel " + path); };
    std::string preselected;
    TdfsBrowseDirectoryDlg::SetModalRunner([&](TBrowseFolderDialog& dialog) {
        preselected = dialog.CurrentPath();
        dialog.SelectPath(root_ + "/data/sub");
        dialog.Confirm();
        return dialog.result() == QDialog::Accepted;
    });
    ASSERT_TRUE(dlg.Execute());
    EXPECT_EQ(preselected, root_ + "/data"); // sent without its trailing '/'
    EXPECT_EQ(dlg.Selection(), root_ + "/data/sub");
    EXPECT_EQ(dlg.DisplayName(), root_ + "/data/sub");
    EXPECT_EQ(dlg.DialogHandle(), nullptr);
    EXPECT_EQ(dlg.Caption(), "Pick one.");
    // The preselection reports a selection change before OnCreate fires.
    EXPECT_EQ(events, (std::vector<std::string>{"sel " + root_ + "/data", "create Pick one.",
                                                "sel " + root_ + "/data/sub"}));

    TdfsBrowseDirectoryDlg::SetModalRunner([&](TBrowseFolderDialog& dialog) {
        dialog.SelectPath("/");
        dialog.Confirm();
        return dialog.result() == QDialog::Accepted;
    });
    ASSERT_TRUE(dlg.Execute());
    EXPECT_EQ(dlg.Selection(), "/"); // the root keeps its delimiter
}

TEST_F(BrowseDrTest, CancelClearsTheSelection)
{
    TdfsBrowseDirectoryDlg dlg;
    dlg.SetSelection(root_ + "/data");
    TdfsBrowseDirectoryDlg::SetModalRunner([](TBrowseFolderDialog& dialog) {
        dialog.Cancel();
        return false;
    });
    EXPECT_FALSE(dlg.Execute());
    EXPECT_EQ(dlg.Selection(), "");
    EXPECT_FALSE(dlg.SelectionPIDL().has_value());
}

TEST_F(BrowseDrTest, AnInvalidEditBoxEntryFiresValidateFailed)
{
    for (bool cancel : {false, true}) {
        TdfsBrowseDirectoryDlg dlg;
        dlg.Root = idDrives;
        dlg.SetOptions({bfEditBox});
        std::string failedPath;
        dlg.OnValidateFailed = [&](TObject*, const std::string& path, bool& c) {
            EXPECT_FALSE(c);
            failedPath = path;
            c = cancel;
        };
        bool closedByFailure = false;
        TdfsBrowseDirectoryDlg::SetModalRunner([&](TBrowseFolderDialog& dialog) {
            bool closed = false;
            QObject::connect(&dialog, &QDialog::finished, [&closed] { closed = true; });
            dialog.SelectPath(root_);
            dialog.EditBox()->setText("nosuch");
            dialog.Confirm();
            closedByFailure = closed;
            if (!cancel) {
                dialog.EditBox()->setText("data"); // a folder below the selection
                dialog.Confirm();
            }
            return dialog.result() == QDialog::Accepted;
        });
        bool confirmed = dlg.Execute();
        EXPECT_EQ(failedPath, "nosuch");
        EXPECT_EQ(closedByFailure, cancel); // open unless the handler cancels
        EXPECT_EQ(confirmed, !cancel);
        EXPECT_EQ(dlg.Selection(), cancel ? "" : root_ + "/data");
    }
}

TEST_F(BrowseDrTest, DisabledOkConfirmsNothing)
{
    TdfsBrowseDirectoryDlg dlg;
    dlg.Root = idDrives;
    dlg.SetEnableOKButton(false);
    TdfsBrowseDirectoryDlg::SetModalRunner([&](TBrowseFolderDialog& dialog) {
        EXPECT_FALSE(dialog.OKEnabled());
        dialog.SelectPath(root_);
        dialog.Confirm();
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        dlg.SetEnableOKButton(true);
        EXPECT_TRUE(dialog.OKEnabled());
        return false;
    });
    EXPECT_FALSE(dlg.Execute());
}

// Every character measures 10 pixels.
int Measure(const std::string& text) { return int(text.size()) * 10; }

TEST(BrowseDrShortening, PathsLoseLeadingFoldersStepByStep)
{
    const std::string path = "/home/user/Data/Sat/Images";
    struct Case {
        int width;
        const char* expected;
    } cases[] = {
        {1000, "/home/user/Data/Sat/Images"},
        {250, "/.../user/Data/Sat/Images"},
        {210, "/.../Data/Sat/Images"},
        {160, "/.../Sat/Images"},
        {120, "/.../Images"},
        {100, ".../Images"},
        {60, "Images"},
        {10, "Images"}, // the last form is kept even when too wide
    };
    for (const Case& c : cases)
        EXPECT_EQ(TdfsBrowseDirectoryDlg::ShortenPath(path, Measure, c.width), c.expected) << c.width;
    // A hidden folder's own name is never mistaken for an earlier "...":
    // one folder goes per step. (Dots measure 1 pixel here.)
    auto narrowDots = [](const std::string& text) {
        int width = 0;
        for (char c : text)
            width += c == '.' ? 1 : 10;
        return width;
    };
    EXPECT_EQ(TdfsBrowseDirectoryDlg::ShortenPath("/.ab/cd/ef/x", narrowDots, 100), "/.../cd/ef/x");
}

TEST(BrowseDrShortening, OtherTextsLoseTrailingCharacters)
{
    EXPECT_EQ(TdfsBrowseDirectoryDlg::ShortenEnd("abcdef", Measure, 60), "abcdef");
    EXPECT_EQ(TdfsBrowseDirectoryDlg::ShortenEnd("abcdef", Measure, 50), "ab...");
    EXPECT_EQ(TdfsBrowseDirectoryDlg::ShortenEnd("abcdef", Measure, 0), "...");
    EXPECT_EQ(TdfsBrowseDirectoryDlg::ShortenEnd("", Measure, 0), "");
}

TEST_F(BrowseDrTest, StatusTextIsFittedToTheStatusLine)
{
    TdfsBrowseDirectoryDlg dlg;
    dlg.Root = idDrives;
    const std::string longText(400, 'x');
    dlg.SetStatusText(longText);
    TdfsBrowseDirectoryDlg::SetModalRunner([&](TBrowseFolderDialog& dialog) {
        QLabel* status = dialog.StatusLabel();
        std::string shown = dialog.StatusText().toStdString();
        EXPECT_LT(shown.size(), longText.size());
        EXPECT_EQ(shown.substr(shown.size() - 3), "...");
        EXPECT_LE(QFontMetrics(status->font()).horizontalAdvance(dialog.StatusText()), status->width());
        dlg.SetFitStatusText(false);
        EXPECT_EQ(dialog.StatusText().toStdString(), longText);
        dlg.SetStatusText("short");
        EXPECT_EQ(dialog.StatusText(), "short");
        return false;
    });
    dlg.Execute();
}

TEST_F(BrowseDrTest, IsExistingFolder)
{
    struct Case {
        std::string path;
        bool exists;
    } cases[] = {
        {"/", true},
        {root_ + "/data", true},
        {root_ + "/data/", true},
        {root_ + "/nosuch", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TdfsBrowseDirectoryDlg::IsExistingFolder(c.path), c.exists) << c.path;
    std::string file = root_ + "/file";
    FILE* f = std::fopen(file.c_str(), "w");
    std::fclose(f);
    EXPECT_FALSE(TdfsBrowseDirectoryDlg::IsExistingFolder(file));
}

} // namespace
