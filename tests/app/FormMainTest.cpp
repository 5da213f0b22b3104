// SPDX-License-Identifier: GPL-3.0-or-later
// The main window driven on the offscreen platform: start-up, the browse
// dialog confirmed or cancelled, listing, renaming, the registry value at exit,
// the About box, undo from the Edit menu.
#include <chrono>
#include <thread>
#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QScreen>
#include <QScrollBar>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "about/gui/ProgramAboutBox.h"
#include "app/form/ListDialog.h"
#include "app/form/QuillonForm.h"
#include "components/Journal.h"
#include "components/Undo.h"
#include "runtime/Application.h"
#include "runtime/Registry.h"
#include "satellite/SampleFiles.h"
#include "startup/Startup.h"

namespace {

namespace fs = std::filesystem;

TDateTime At(int year, int month, int day, int hour, int minute)
{
    return EncodeDate(year, month, day) + EncodeTime(hour, minute, 0, 0);
}

std::vector<std::string> Rows(QListWidget* list)
{
    std::vector<std::string> rows;
    for (int i = 0; i < list->count(); ++i)
        rows.push_back(list->item(i)->text().toStdString());
    return rows;
}

// Runs the event loop until the window's work has ended (rows, messages and
// the undo check included).
void Settle(TFormMain& form)
{
    for (int i = 0; i < 200000 && form.Busy(); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
    ASSERT_FALSE(form.Busy());
}

class FormMainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/quillon-form-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        folder_ = root_ + "/data";
        fs::create_directories(folder_);
        fs::create_directories(root_ + "/bin");
        // The program under test is "quillon" in root/bin: a link to this test
        // program, which carries the build's version block.
        exe_ = root_ + "/bin/quillon";
        fs::create_symlink(fs::read_symlink("/proc/self/exe"), exe_);
        ::setenv("QUILLON_REGISTRY_DIR", (root_ + "/registry").c_str(), 1);
        // The rename journal of the test, not the user's.
        ::setenv("XDG_STATE_HOME", (root_ + "/state").c_str(), 1);
        Application().SetExeName(exe_);
        FinalizeUnits();
        InitializeUnits();
        TFormMain::SetErrorDisplay([this](const std::string& message) { errors_.push_back(message); });
        TdfsBrowseDirectoryDlg::SetModalRunner([this](TBrowseFolderDialog& dialog) {
            ++browses_;
            preselected_ = dialog.CurrentPath();
            if (choose_.empty()) {
                dialog.Cancel();
                return false;
            }
            EXPECT_TRUE(dialog.SelectPath(choose_));
            dialog.Confirm();
            return dialog.result() == QDialog::Accepted;
        });
    }
    void TearDown() override
    {
        form_.reset();
        TdfsBrowseDirectoryDlg::SetModalRunner(nullptr);
        TFormMain::SetErrorDisplay(nullptr);
        ::unsetenv("XDG_STATE_HOME");
        Application().SetExeName("");
        FinalizeUnits();
        InitializeUnits();
        std::error_code error;
        fs::remove_all(root_, error);
    }
    TFormMain& Show()
    {
        form_ = std::make_unique<TFormMain>();
        form_->show();
        Settle(*form_);
        return *form_;
    }
    std::string StoredFolder() const
    {
        TRegistry registry;
        registry.SetRootKey(HKEY_CURRENT_USER);
        std::string value;
        if (registry.OpenKey("\\Software\\Vantor Quessel\\quillon", false) && registry.ValueExists("SourceFolder"))
            value = registry.ReadString("SourceFolder");
        return value;
    }
    void Click(QPushButton* button)
    {
        button->click();
        Settle(*form_);
    }
    void Trigger(QAction* action)
    {
        action->trigger();
        Settle(*form_);
    }
    void Mpd(const std::string& name, TDateTime when, const char* letters = "AIVH")
    {
        WriteSampleMpd(folder_ + "/" + name, 0xD4F7, letters, when);
    }

    std::string root_, folder_, exe_;
    std::unique_ptr<TFormMain> form_;
    std::vector<std::string> errors_;
    std::string choose_;       // folder the browse dialog confirms; "" cancels
    std::string preselected_;  // what the dialog had selected when it opened
    int browses_ = 0;
};

TEST_F(FormMainTest, ComponentsCarryTheirNamesCaptionsAndGeometry)
{
    TFormMain& form = Show();
    EXPECT_EQ(form.objectName(), "FormMain");
    EXPECT_EQ(form.windowTitle(), "Rename files by date & slot name");
    struct Case {
        const char* name;
        QRect geometry;
        const char* caption;
    } cases[] = {
        {"ButtonOpenFolder", {256, 200, 113, 25}, "Open folder"},
        {"ButtonClose", {256, 280, 113, 25}, "Close"},
        {"ButtonRename", {256, 240, 113, 25}, "Rename"},
        {"ListBox1", {16, 32, 161, 145}, nullptr},
        {"ListBox2", {208, 32, 161, 145}, nullptr},
        {"EditSourceFolder", {16, 216, 217, 21}, nullptr},
    };
    for (const Case& c : cases) {
        auto* widget = form.findChild<QWidget*>(c.name);
        ASSERT_NE(widget, nullptr) << c.name;
        EXPECT_EQ(widget->geometry(), c.geometry) << c.name;
        if (c.caption) {
            EXPECT_EQ(static_cast<QPushButton*>(widget)->text().toStdString(), c.caption);
        }
    }
    EXPECT_EQ(form.findChild<QLabel*>("LabelNonStandardFiles")->text(), "Non-standard MPD files");
    EXPECT_EQ(form.findChild<QLabel*>("LabelProposedNames")->pos(), QPoint(208, 16));
    EXPECT_TRUE(form.EditSourceFolder->isReadOnly());
    EXPECT_EQ(form.EditSourceFolder->NamedAs, "SourceFolder");
    EXPECT_EQ(form.BrowseDirectoryDlg->Root, idDrives);
    EXPECT_EQ(form.BrowseDirectoryDlg->Caption(), "Select folder with data files.");
    EXPECT_FALSE(form.BrowseDirectoryDlg->ShowSelectionInStatus);
    EXPECT_EQ(form.FileOpenFolder->text(), "&Open folder...");
    EXPECT_TRUE(form.N1->isSeparator());
    EXPECT_EQ(form.FileExit->text(), "E&xit");
    EXPECT_EQ(form.HelpAbout->text(), "&About...");
    // Tab order from ButtonOpenFolder.
    std::vector<std::string> order;
    for (QWidget* w = form.ButtonOpenFolder; order.size() < 6; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus)
            order.push_back(w->objectName().toStdString());
    EXPECT_EQ(order, (std::vector<std::string>{"ButtonOpenFolder", "ButtonClose", "ListBox1", "ButtonRename",
                                               "ListBox2", "EditSourceFolder"}));
}

TEST_F(FormMainTest, WithoutStoredFolderTheEditHoldsTheExecutablesFolder)
{
    TFormMain& form = Show();
    EXPECT_EQ(form.EditSourceFolder->Text(), root_ + "/bin/");
    EXPECT_EQ(form.BrowseDirectoryDlg->Selection(), root_ + "/bin/");
    EXPECT_EQ(form.ListBox1->count(), 0);
    EXPECT_EQ(form.ListBox2->count(), 0);
}

TEST_F(FormMainTest, StoredFolderIsRestoredAndTheChosenOneWrittenAtExit)
{
    {
        TRegistry registry;
        registry.SetRootKey(HKEY_CURRENT_USER);
        ASSERT_TRUE(registry.OpenKey("\\Software\\Vantor Quessel\\quillon", true));
        registry.WriteString("SourceFolder", folder_);
    }
    TFormMain& form = Show();
    EXPECT_EQ(form.EditSourceFolder->Text(), folder_);
    fs::create_directories(root_ + "/other");
    choose_ = root_ + "/other";
    Click(form.ButtonOpenFolder);
    EXPECT_EQ(preselected_, folder_); // the dialog opened on the stored folder
    EXPECT_EQ(form.EditSourceFolder->Text(), root_ + "/other");
    EXPECT_EQ(StoredFolder(), folder_); // written only at exit
    form_.reset();
    EXPECT_EQ(StoredFolder(), root_ + "/other");
}

TEST_F(FormMainTest, OpenListsNonStandardFilesPairedByRow)
{
    Mpd("b0002.mpd", At(2005, 3, 16, 12, 30));
    Mpd("A0001.MPD", At(2005, 3, 15, 12, 30));
    Mpd("2006-05-xx.mpd", At(2006, 5, 1, 0, 0));  // hyphen 5th: never opened
    Mpd("d0004.mpd", At(1985, 1, 1, 0, 0));       // on the lower bound
    Mpd("e0005.mpd", At(2019, 12, 31, 23, 59));   // just inside the upper bound
    TFormMain& form = Show();
    choose_ = folder_;
    Click(form.ButtonOpenFolder);
    EXPECT_EQ(form.EditSourceFolder->Text(), folder_); // no trailing '/'
    EXPECT_EQ(Rows(form.ListBox1), (std::vector<std::string>{"A0001.MPD", "b0002.mpd", "e0005.mpd"}));
    EXPECT_EQ(Rows(form.ListBox2),
              (std::vector<std::string>{"2005-03-15-25_AIVH", "2005-03-16-25_AIVH", "2019-12-31-47_AIVH"}));
    EXPECT_TRUE(form.ListBox1->updatesEnabled());
    EXPECT_TRUE(errors_.empty());
}

TEST_F(FormMainTest, CancelChangesNothingAndClearsTheDialogsSelection)
{
    Mpd("a0001.mpd", At(2005, 3, 15, 12, 30));
    TFormMain& form = Show();
    choose_ = folder_;
    Click(form.ButtonOpenFolder);
    ASSERT_EQ(form.ListBox1->count(), 1);
    Mpd("b0002.mpd", At(2005, 3, 16, 12, 30));
    choose_.clear();
    Click(form.ButtonOpenFolder);
    EXPECT_EQ(form.EditSourceFolder->Text(), folder_);
    EXPECT_EQ(form.ListBox1->count(), 1); // no scan took place
    EXPECT_EQ(form.BrowseDirectoryDlg->Selection(), "");
    Trigger(form.FileOpenFolder); // the menu item opens the same dialog
    EXPECT_EQ(browses_, 3);
    EXPECT_EQ(preselected_, ""); // nothing preselected after a cancel
}

TEST_F(FormMainTest, RenameRenamesEveryRowAndRescans)
{
    Mpd("00001234.MPD", At(2005, 3, 15, 12, 30));
    Mpd("a0001.mpd", At(2005, 3, 16, 12, 30));
    Mpd("b0002.mpd", At(2005, 3, 16, 12, 40)); // same slot as a0001: its rename fails
    TFormMain& form = Show();
    choose_ = folder_;
    Click(form.ButtonOpenFolder);
    ASSERT_EQ(form.ListBox1->count(), 3);
    Click(form.ButtonRename);
    EXPECT_TRUE(fs::exists(folder_ + "/2005-03-15-25_AIVH.MPD"));
    EXPECT_TRUE(fs::exists(folder_ + "/2005-03-16-25_AIVH.mpd"));
    EXPECT_EQ(Rows(form.ListBox1), (std::vector<std::string>{"b0002.mpd"}));
    EXPECT_EQ(Rows(form.ListBox2), (std::vector<std::string>{"2005-03-16-25_AIVH"}));
    EXPECT_TRUE(errors_.empty());
}

TEST_F(FormMainTest, RenameWithEmptyListsOnlyRescans)
{
    Mpd("a0001.mpd", At(2005, 3, 15, 12, 30));
    TFormMain& form = Show();
    form.EditSourceFolder->SetText(folder_);
    Click(form.ButtonRename);
    EXPECT_EQ(Rows(form.ListBox1), (std::vector<std::string>{"a0001.mpd"}));
    EXPECT_TRUE(fs::exists(folder_ + "/a0001.mpd"));
}

TEST_F(FormMainTest, AnUnreadableFileIsCountedAndListedAsAProblemTheOthersListed)
{
    Mpd("a0001.mpd", At(2005, 3, 15, 12, 30));
    Mpd("b0002.mpd", At(2005, 3, 16, 12, 30));
    Mpd("c0003.mpd", At(2005, 3, 17, 12, 30));
    fs::resize_file(folder_ + "/b0002.mpd", 100); // its header cut short
    TFormMain& form = Show();
    choose_ = folder_;
    Click(form.ButtonOpenFolder);
    EXPECT_TRUE(errors_.empty());
    EXPECT_EQ(Rows(form.ListBox1), (std::vector<std::string>{"a0001.mpd", "c0003.mpd"}));
    ASSERT_EQ(form.Problems().size(), 1);
    EXPECT_TRUE(form.Problems()[0].contains("b0002.mpd")) << form.Problems()[0].toStdString();
    EXPECT_TRUE(form.LabelStatus->text().contains("1 not readable")) << form.LabelStatus->text().toStdString();
    EXPECT_TRUE(form.ButtonShowProblems->isVisibleTo(&form));
    Click(form.ButtonShowProblems);
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_NE(errors_[0].find("b0002.mpd"), std::string::npos) << errors_[0];
    Click(form.ButtonRename); // the good files rename
    EXPECT_TRUE(fs::exists(folder_ + "/2005-03-17-25_AIVH.mpd"));
    EXPECT_EQ(form.ListBox1->count(), 0);
}

TEST_F(FormMainTest, EscapeAndExitClose)
{
    TFormMain& form = Show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
    form.show();
    Trigger(form.FileExit);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(FormMainTest, HelpAboutShowsTheAboutBoxModally)
{
    TFormMain& form = Show();
    TAboutBoxVKQ1 about(&form);
    AboutBoxVKQ1 = &about;
    bool shown = false;
    QTimer::singleShot(0, [&] {
        shown = about.isVisible();
        about.OKButton->click();
    });
    Trigger(form.HelpAbout);
    AboutBoxVKQ1 = nullptr;
    EXPECT_TRUE(shown);
    EXPECT_FALSE(about.isVisible());
}

// Two files renamed by the button, ready to be taken back.
class FormUndoTest : public FormMainTest {
protected:
    TFormMain& RenameTwo()
    {
        Mpd("a0001.mpd", At(2005, 3, 15, 12, 30));
        Mpd("b0002.mpd", At(2005, 3, 16, 12, 30));
        TFormMain& form = Show();
        choose_ = folder_;
        Click(form.ButtonOpenFolder);
        Click(form.ButtonRename);
        EXPECT_EQ(form.ListBox1->count(), 0);
        return form;
    }
};

TEST_F(FormUndoTest, CtrlZTakesBackTheNewestBatchOfTheFolderAndRescans)
{
    TFormMain& form = RenameTwo();
    EXPECT_EQ(form.Edit1->title(), "&Edit");
    EXPECT_EQ(form.EditUndoLastRename->text(), "Undo last rename");
    ASSERT_TRUE(form.EditUndoLastRename->isEnabled());
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
    Settle(form);
    EXPECT_TRUE(fs::exists(folder_ + "/a0001.mpd"));
    EXPECT_TRUE(fs::exists(folder_ + "/b0002.mpd"));
    EXPECT_FALSE(fs::exists(folder_ + "/2005-03-15-25_AIVH.mpd"));
    EXPECT_EQ(Rows(form.ListBox1), (std::vector<std::string>{"a0001.mpd", "b0002.mpd"}));
    EXPECT_FALSE(form.EditUndoLastRename->isEnabled()); // the only batch is taken back
    EXPECT_TRUE(errors_.empty());
    // Recorded as the window's undo of the button's batch, as quillon-cli undo would.
    std::vector<THistoryEntry> history = JournalHistory(ReadJournal(DefaultJournalFileName()));
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].Source, "window");
    EXPECT_EQ(history[0].Restored, 2);
    EXPECT_TRUE(history[0].TakenBack);
}

TEST_F(FormUndoTest, NothingToUndoLeavesTheItemDisabled)
{
    TFormMain& form = RenameTwo();
    fs::create_directories(root_ + "/other");
    choose_ = root_ + "/other";
    Click(form.ButtonOpenFolder); // a folder without batches
    EXPECT_FALSE(form.EditUndoLastRename->isEnabled());
    Trigger(form.EditUndoLastRename); // disabled: does nothing
    EXPECT_TRUE(fs::exists(folder_ + "/2005-03-15-25_AIVH.mpd"));
    form.EditSourceFolder->SetText(""); // no folder is not every folder
    form.UpdateUndoAction();
    EXPECT_FALSE(form.EditUndoLastRename->isEnabled());
    EXPECT_TRUE(errors_.empty());
}

TEST_F(FormUndoTest, AFileWhoseOldNameIsTakenIsListedAndNotReplaced)
{
    TFormMain& form = RenameTwo();
    Mpd("a0001.mpd", At(2006, 1, 1, 0, 0)); // the old name is taken again, by another file
    Trigger(form.EditUndoLastRename);
    EXPECT_TRUE(fs::exists(folder_ + "/b0002.mpd"));
    EXPECT_TRUE(fs::exists(folder_ + "/2005-03-15-25_AIVH.mpd")); // left where it is
    // The newcomer is not replaced: it still proposes its own name.
    EXPECT_EQ(Rows(form.ListBox1), (std::vector<std::string>{"a0001.mpd", "b0002.mpd"}));
    EXPECT_EQ(Rows(form.ListBox2), (std::vector<std::string>{"2006-01-01-00_AIVH", "2005-03-16-25_AIVH"}));
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_NE(errors_[0].find("2005-03-15-25_AIVH.mpd -> a0001.mpd: " + std::string(UndoReasonTaken)),
              std::string::npos)
        << errors_[0];
    EXPECT_EQ(errors_[0].find("b0002.mpd"), std::string::npos) << errors_[0];
}

TEST_F(FormMainTest, AJournalThatCannotBeWrittenStopsTheRenameWithOneMessage)
{
    Mpd("a0001.mpd", At(2005, 3, 15, 12, 30));
    std::ofstream(root_ + "/state") << "a file where the journal's folder should be";
    TFormMain& form = Show();
    choose_ = folder_;
    Click(form.ButtonOpenFolder);
    Click(form.ButtonRename);
    EXPECT_TRUE(fs::exists(folder_ + "/a0001.mpd"));
    EXPECT_EQ(Rows(form.ListBox1), (std::vector<std::string>{"a0001.mpd"}));
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_NE(errors_[0].find(DefaultJournalFileName()), std::string::npos) << errors_[0];
    EXPECT_NE(errors_[0].find("Not a directory"), std::string::npos) << errors_[0];
}

} // namespace

namespace {

// Work under way, watched from the event loop: rows arriving, the status line,
// Stop, Close, the journal's lock.
class FormWorkTest : public FormMainTest {
protected:
    // Good files a0000.mpd ... then zz-huge.mpd, a 100 GB sparse file without
    // a header, whose header search lasts a minute unless stopped.
    void FolderWithHugeFile(int good)
    {
        for (int i = 0; i < good; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "a%04d.mpd", i);
            Mpd(name, At(2005, 3, 15, 0, 0) + i / 48.0);
        }
        std::ofstream(folder_ + "/zz-huge.mpd").close();
        fs::resize_file(folder_ + "/zz-huge.mpd", 100ull << 30);
    }
    // Runs the event loop until Done holds; the events processed meanwhile are counted.
    template <class F>
    bool RunUntil(F done)
    {
        // Gives up after a minute: the journal's notice alone comes after a
        // second, so a count of rounds would end sooner on a fast machine.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            if (done())
                return true;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ++events_;
        }
        return done();
    }
    int events_ = 0;
};

TEST_F(FormWorkTest, RowsArriveWhileEventsRunAndStopEndsTheScan)
{
    FolderWithHugeFile(40);
    TFormMain& form = Show();
    choose_ = folder_;
    form.ButtonOpenFolder->click();
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(0);
    // The good files are listed while the huge one is still being read.
    ASSERT_TRUE(RunUntil([&] { return form.ListBox1->count() == 40 && ticks > 10; }));
    EXPECT_TRUE(form.Busy());
    EXPECT_TRUE(form.ButtonStop->isEnabled());
    ASSERT_TRUE(RunUntil([&] { return form.LabelStatus->text().startsWith("Reading headers: 41 of 41"); }))
        << form.LabelStatus->text().toStdString();
    QTest::keyClick(&form, Qt::Key_Escape); // Esc stops the scan, the window stays
    Settle(form);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.ListBox1->count(), 40);
    EXPECT_EQ(form.LabelStatus->text(), "Stopped: 40 files listed");
}

TEST_F(FormWorkTest, CloseDuringAScanStopsItClosesAndStoresTheFolder)
{
    FolderWithHugeFile(2);
    TFormMain& form = Show();
    choose_ = folder_;
    form.ButtonOpenFolder->click();
    ASSERT_TRUE(RunUntil([&] { return form.ListBox1->count() == 2; }));
    ASSERT_TRUE(form.Busy());
    form.ButtonClose->click();
    ASSERT_TRUE(RunUntil([&] { return !form.isVisible(); }));
    EXPECT_FALSE(form.Busy());
    form_.reset();
    EXPECT_EQ(StoredFolder(), folder_);
}

TEST_F(FormWorkTest, AStoppedRenameKeepsWhatItDidIsJournaledAndUndoable)
{
    for (int i = 0; i < 6; ++i)
        Mpd("f000" + std::to_string(i) + ".mpd", At(2005, 3, 15 + i, 12, 30));
    TFormMain& form = Show();
    choose_ = folder_;
    Click(form.ButtonOpenFolder);
    ASSERT_EQ(form.ListBox1->count(), 6);
    form.RenameCheckpoint = [](int done) { return done == 2; };
    Click(form.ButtonRename);
    EXPECT_EQ(form.LabelStatus->text(), "Stopped after renaming 2 of 6 files");
    EXPECT_EQ(form.ListBox1->count(), 4);
    EXPECT_TRUE(errors_.empty());
    std::vector<THistoryEntry> history = JournalHistory(ReadJournal(DefaultJournalFileName()));
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].Renamed, 2);
    ASSERT_TRUE(form.EditUndoLastRename->isEnabled());
    Trigger(form.EditUndoLastRename);
    EXPECT_EQ(form.ListBox1->count(), 6);
    EXPECT_TRUE(fs::exists(folder_ + "/f0000.mpd"));
}

TEST_F(FormWorkTest, AHeldJournalLockIsToldAndTheWindowKeepsRunning)
{
    Mpd("a0001.mpd", At(2005, 3, 15, 12, 30));
    TFormMain& form = Show();
    choose_ = folder_;
    Click(form.ButtonOpenFolder);
    const std::string lockName = DefaultJournalFileName() + ".lock";
    fs::create_directories(fs::path(lockName).parent_path());
    {
        TAdvisoryLock held; // another quillon process
        ASSERT_EQ(held.Acquire(lockName, true), 0);
        form.ButtonRename->click();
        ASSERT_TRUE(RunUntil([&] { return form.LabelStatus->text().startsWith("Waiting for the rename journal"); }));
        EXPECT_EQ(form.LabelStatus->text(), "Waiting for the rename journal, held by another quillon process");
        EXPECT_TRUE(form.Busy());
    }
    Settle(form);
    EXPECT_TRUE(fs::exists(folder_ + "/2005-03-15-25_AIVH.mpd"));
    EXPECT_EQ(form.LabelStatus->text(), "Renamed 1 file");
    EXPECT_TRUE(errors_.empty());
}

TEST_F(FormWorkTest, StopEndsAWaitForTheJournalAndTheFolderIsListedAgain)
{
    Mpd("a0001.mpd", At(2005, 3, 15, 12, 30));
    TFormMain& form = Show();
    choose_ = folder_;
    Click(form.ButtonOpenFolder);
    const std::string lockName = DefaultJournalFileName() + ".lock";
    fs::create_directories(fs::path(lockName).parent_path());
    {
        TAdvisoryLock held; // another quillon process
        ASSERT_EQ(held.Acquire(lockName, true), 0);
        form.ButtonRename->click();
        ASSERT_TRUE(RunUntil([&] { return form.LabelStatus->text().startsWith("Waiting for the rename journal"); }));
        form.ButtonStop->click();
    }
    Settle(form);
    EXPECT_FALSE(StopRequested());
    EXPECT_TRUE(fs::exists(folder_ + "/a0001.mpd"));
    EXPECT_EQ(Rows(form.ListBox1), (std::vector<std::string>{"a0001.mpd"}));
    EXPECT_EQ(form.LabelStatus->text(), "Stopped after renaming 0 of 1 files");
    EXPECT_TRUE(errors_.empty());
}

TEST(ListDialog, ManyLinesScrollWithinTheScreenAndCopy)
{
    QStringList lines;
    for (int i = 0; i < 3000; ++i)
        lines << QString("file%1.mpd -> a0001.mpd: the old name is taken again").arg(i);
    TListDialog dialog("Quillon", "These files were left as they are, nothing was replaced:", lines);
    dialog.show();
    const QRect screen = dialog.screen()->availableGeometry();
    EXPECT_LE(dialog.height(), screen.height());
    EXPECT_LE(dialog.width(), screen.width());
    EXPECT_EQ(dialog.List->count(), 3000);
    EXPECT_TRUE(dialog.List->verticalScrollBar()->isVisible());
    EXPECT_TRUE(dialog.OKButton->isVisible());
    dialog.CopyButton->click();
    const QStringList copied = QApplication::clipboard()->text().split('\n');
    ASSERT_EQ(copied.size(), 3001);
    EXPECT_EQ(copied[3000], lines[2999]);
}

} // namespace
