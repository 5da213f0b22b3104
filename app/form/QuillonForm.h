// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TFormMain: the program's one window. For one folder it lists every MPD file
// whose name is not yet standard beside the name its header gives, renames
// them all with one button and lists the folder again. The folder is chosen
// with the browse dialog, shown in a read-only edit that remembers it in the
// registry; the scan, the filter and the renames are the shared rename
// workflow's, the same calls quillon-cli scan and rename make.
//
// The work (a scan, a rename, an undo, the journal's lock) runs on one worker
// thread at a time (TFolderJobs), never on the GUI thread: rows reach the lists in batches
// as they are read (the window takes them at each turn of a 50 ms timer), a status line under the buttons tells the work and its
// count, Stop (or Esc) ends a scan or a rename between files, and closing the
// window or choosing another folder stops the work under way. Files whose
// header cannot be read are counted and listed by "Show problems"; they do not
// hide the others.
#include <QMainWindow>
#include <QStringList>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "components/FolderJobs.h"
#include "components/gui/BrowseDirectoryDialog.h"
#include "components/gui/PersistentEdit.h"

class QAction;
class QLabel;
class QListWidget;
class QMenu;
class QMenuBar;
class QPushButton;
class QTimer;

class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    // Components, in the order the form creates them; each carries its name
    // as its Qt object name.
    QLabel* LabelNonStandardFiles;
    QLabel* LabelProposedNames;
    QLabel* LabelFolder;
    QPushButton* ButtonOpenFolder;
    QPushButton* ButtonClose;
    QListWidget* ListBox1;
    QPushButton* ButtonRename;
    QListWidget* ListBox2;
    TvkqEdit* EditSourceFolder;
    std::unique_ptr<TdfsBrowseDirectoryDlg> BrowseDirectoryDlg;
    QMenuBar* MainMenu1;
    QMenu* File1;
    QAction* FileOpenFolder;
    QAction* N1;
    QAction* FileExit;
    QMenu* Help1;
    QAction* HelpAbout;
    // Added to the design's menus: Edit, "Undo last rename" (Ctrl+Z) and "Show problems".
    QMenu* Edit1;
    QAction* EditUndoLastRename;
    QAction* EditShowProblems;
    // Added below the design's controls: the status line, Stop while work
    // runs, "Show problems" in its place when files could not be read.
    QLabel* LabelStatus;
    QPushButton* ButtonStop;
    QPushButton* ButtonShowProblems;

    // Event handlers (Sender is not used).
    void FormShow(TObject* Sender);
    void ButtonOpenFolderClick(TObject* Sender);
    void ButtonRenameClick(TObject* Sender);
    void ButtonCloseClick(TObject* Sender);
    void HelpAboutClick(TObject* Sender);
    void EditUndoLastRenameClick(TObject* Sender);
    void ButtonStopClick(TObject* Sender);
    void ShowProblemsClick(TObject* Sender);

    // Checks, off the GUI thread, whether the current folder has a batch to
    // take back, and enables "Undo last rename" accordingly.
    void UpdateUndoAction();

    // True while a scan, a rename, an undo or a check runs on the worker thread.
    bool Busy() const { return jobs_.Busy(); }
    // The files of the last scan that could not be read, and the renames that
    // failed: "name: reason", in scan order.
    const QStringList& Problems() const { return problems_; }

    // Called on the worker thread after each file of a rename batch with the
    // number done so far; returning true stops the batch there, as Stop does
    // (tests stop a batch at a known file).
    std::function<bool(int Done)> RenameCheckpoint;

    // The application's error display: a message box with the exception's
    // text. Tests may replace it.
    using TErrorDisplay = std::function<void(const std::string& Message)>;
    static void SetErrorDisplay(TErrorDisplay Display);
    static void ShowException(const std::exception& Error);
    // A message box with Message, through the same display.
    static void ShowMessage(const std::string& Message);
    // A message about files: Heading, then one row per line in a scrollable
    // list with a Copy button (TListDialog); through the error display, when
    // one is set, as one text.
    static void ShowList(const std::string& Heading, const std::vector<std::string>& Lines);

    // Runs a handler; an exception that leaves it is shown and the window goes on.
    static void Guarded(const std::function<void()>& Handler);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Lists the current folder again, off the GUI thread (stops the work under way first).
    void RescanFolder();
    // Starts Kind for the current folder once the work under way has ended;
    // work under way is asked to stop when Interrupt is set.
    void Start(TFolderJobKind Kind, bool Interrupt);
    // The buttons and the status line of a job that has started.
    void ShowBusy(TFolderJobKind Kind);
    // GUI thread: rows and counts so far into the lists and the status line.
    void Drain();
    void Finish();
    void ShowStatus();
    void ShowIdle();

    TFolderJobs jobs_;
    bool closePending_ = false;
    QTimer* progress_ = nullptr;
    QStringList problems_;
    int unreadable_ = 0;
    int notRenamed_ = 0;
    QString idleText_;
};

// The program's main form, null when none exists.
extern TFormMain* FormMain;

// Loads the translation of the program's texts (and Qt's own) for Locale
// from the first of Folders that has one; false when none has.
bool InstallTranslations(const QLocale& Locale, const QStringList& Folders);
