// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TFormMain: the program's one window. For one folder it lists every MPD file
// whose name is not yet standard beside the name its header gives, renames
// them all with one button and lists the folder again. The folder is chosen
// with the browse dialog, shown in a read-only edit that remembers it in the
// registry, and scanned with the folder scanner; the scan, the filter and the
// renames are the shared rename workflow's.
#include <QMainWindow>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "components/RenameWorkflow.h"
#include "components/TreeScan.h"
#include "components/gui/BrowseDirectoryDialog.h"
#include "components/gui/PersistentEdit.h"

class QAction;
class QLabel;
class QListWidget;
class QMenu;
class QMenuBar;
class QPushButton;

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
    std::unique_ptr<TTreeScanner> TreeScanner;
    QMenuBar* MainMenu1;
    QMenu* File1;
    QAction* FileOpenFolder;
    QAction* N1;
    QAction* FileExit;
    QMenu* Help1;
    QAction* HelpAbout;
    // Added to the design's menus: Edit, "Undo last rename" (Ctrl+Z).
    QMenu* Edit1;
    QAction* EditUndoLastRename;

    // Event handlers (Sender is not used).
    void FormShow(TObject* Sender);
    void ButtonOpenFolderClick(TObject* Sender);
    void ButtonRenameClick(TObject* Sender);
    void ButtonCloseClick(TObject* Sender);
    void HelpAboutClick(TObject* Sender);
    void TreeScannerFileFound(TObject* Sender);
    void EditUndoLastRenameClick(TObject* Sender);

    // Enables "Undo last rename" when the current folder has a batch to take back.
    void UpdateUndoAction();

    // The application's error display: a message box with the exception's
    // text. Tests may replace it.
    using TErrorDisplay = std::function<void(const std::string& Message)>;
    static void SetErrorDisplay(TErrorDisplay Display);
    static void ShowException(const std::exception& Error);
    // A message box with Message, through the same display.
    static void ShowMessage(const std::string& Message);

    // Runs a handler; an exception that leaves it is shown and the window goes on.
    static void Guarded(const std::function<void()>& Handler);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void RescanFolder();
    // RescanFolder, then Message in a message box unless it is empty.
    void RescanAndTell(const std::string& Message);

    TRenameWorkflow workflow_;
};

// The program's main form, null when none exists.
extern TFormMain* FormMain;
