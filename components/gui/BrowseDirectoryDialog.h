// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TdfsBrowseDirectoryDlg: a non-visual component that lets the user choose a
// folder in a modal dialog. Its properties configure the dialog; Execute shows
// it and, when the user confirms, leaves the chosen folder in Selection
// (without a trailing '/', unless it is the root "/").
//
// The chooser is a dialog of our own (TBrowseFolderDialog): a title above a
// folder tree, a status line, an edit box when bfEditBox is set, OK and
// Cancel. While it is open the component centres it, gives it its caption,
// preselects Selection, keeps the status line (fitted to the status line's
// width with its real font), enables or disables OK and reports selection
// changes and rejected edit-box entries through its events.
//
// TRootID maps by meaning onto this platform's places:
//   idDesktop, idDesktopDirectory, idCommonDesktopDirectory -> the desktop folder
//   idPersonal                                             -> the documents folder
//   idDrives, idDesktopExpanded, idNetwork, idNetHood,
//   idInternet, idControlPanel, idPrinters                 -> "/" (the whole file system)
//   idFavorites, idRecent, idSendTo, idPrintHood           -> the home folder
//   idPrograms, idStartMenu                                -> ~/.local/share/applications
//   idCommonPrograms, idCommonStartMenu                    -> /usr/share/applications
//   idStartup                                              -> ~/.config/autostart
//   idCommonStartup                                        -> /etc/xdg/autostart
//   idRecycleBin                                           -> ~/.local/share/Trash/files
//   idFonts                                                -> the user's fonts folder
//   idTemplates                                            -> ~/Templates
//   idAppData                                              -> ~/.local/share
// A place that does not exist falls back to the home folder.
#include <QDialog>
#include <QPointer>
#include <functional>
#include <optional>
#include <string>

#include "runtime/Classes.h"

class QDialogButtonBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QTreeView;

enum TRootID : std::uint16_t {
    idDesktop = 0x00,
    idInternet = 0x01,
    idPrograms = 0x02,
    idControlPanel = 0x03,
    idPrinters = 0x04,
    idPersonal = 0x05,
    idFavorites = 0x06,
    idStartup = 0x07,
    idRecent = 0x08,
    idSendTo = 0x09,
    idRecycleBin = 0x0A,
    idStartMenu = 0x0B,
    idDesktopDirectory = 0x10,
    idDrives = 0x11,
    idNetwork = 0x12,
    idNetHood = 0x13,
    idFonts = 0x14,
    idTemplates = 0x15,
    idCommonStartMenu = 0x16,
    idCommonPrograms = 0x17,
    idCommonStartup = 0x18,
    idCommonDesktopDirectory = 0x19,
    idAppData = 0x1A,
    idPrintHood = 0x1B,
    idDesktopExpanded = 0xFEFE,
};

// The folder a TRootID opens on (see the table above).
std::string RootFolder(TRootID root);

enum TBrowseFlag {
    bfDirectoriesOnly,
    bfDomainOnly,
    bfAncestors,
    bfComputers,
    bfPrinters,
    bfIncludeFiles,
    bfEditBox,
    bfIncludeURLs,
    bfNewDialogStyle,
    bfShareable,
    bfUseNewUI,
};

// A set of TBrowseFlag: bit i is the member with ordinal i.
struct TBrowseFlags {
    std::uint16_t Bits = 0;
    TBrowseFlags() = default;
    TBrowseFlags(std::initializer_list<TBrowseFlag> members)
    {
        for (TBrowseFlag f : members)
            Include(f);
    }
    bool Contains(TBrowseFlag f) const { return Bits >> f & 1u; }
    void Include(TBrowseFlag f) { Bits = std::uint16_t(Bits | 1u << f); }
    friend bool operator==(TBrowseFlags, TBrowseFlags) = default;
};

// The browse-info flag bits the options stand for (BIF_* values), plus
// BIF_VALIDATE with bfEditBox and BIF_STATUSTEXT when status is wanted.
std::uint32_t BrowseInfoFlags(TBrowseFlags options, bool statusWanted);

// The chooser window.
class TBrowseFolderDialog : public QDialog {
    Q_OBJECT
public:
    TBrowseFolderDialog(QWidget* parent, const std::string& root, const std::string& title, TBrowseFlags options,
                        bool statusWanted);

    // The selected folder's path ("" when nothing is selected).
    std::string CurrentPath() const;
    // Moves the selection to path; false when the path is not in the tree.
    bool SelectPath(const std::string& path);
    void SetStatusText(const QString& text);
    QString StatusText() const;
    void EnableOK(bool enable);
    bool OKEnabled() const;
    QLabel* StatusLabel() const { return status_; }
    QLineEdit* EditBox() const { return edit_; }
    // Presses OK (validates an edit-box entry first) or Cancel.
    void Confirm();
    void Cancel() { reject(); }

    // Called with the new path whenever the selection changes.
    std::function<void(const std::string& path)> OnSelectionChanged;
    // Called with the edit-box text when it names no folder; returns true to
    // close the dialog (cancelled), false to keep it open.
    std::function<bool(const std::string& text)> OnValidateFailed;

    // After a confirmation: the chosen path.
    const std::string& ChosenPath() const { return chosen_; }

private:
    static std::string IncludeTrailing(const std::string& path);

    QFileSystemModel* model_;
    QTreeView* tree_;
    QLabel* title_;
    QLabel* status_;
    QLineEdit* edit_ = nullptr;
    QDialogButtonBox* buttons_;
    std::string root_;
    std::string chosen_;
};

class TdfsBrowseDirectoryDlg : public TObject {
public:
    using TBDSelChangedEvent = std::function<void(TObject* Sender, const std::string& NewSel,
                                                  const std::string& NewSelPIDL)>;
    using TBDValidateFailedEvent = std::function<void(TObject* Sender, const std::string& Path, bool& Cancel)>;
    // Runs the chooser modally; returns true when the user confirmed. The
    // default shows it with exec(); tests install one that confirms or cancels.
    using TModalRunner = std::function<bool(TBrowseFolderDialog& Dialog)>;

    // owner: the window that owns the dialog (null: the application's active
    // main window at Execute time).
    explicit TdfsBrowseDirectoryDlg(QWidget* AOwner = nullptr);
    ~TdfsBrowseDirectoryDlg() override;

    std::string Version() const { return "TdfsBrowseDirectoryDlg v2.61"; }
    void SetVersion(const std::string&) {}

    const std::string& Selection() const { return selection_; }
    void SetSelection(const std::string& Value);
    std::string Title;
    TRootID Root = idDesktop;
    TBrowseFlags Options() const { return options_; }
    void SetOptions(TBrowseFlags Value);
    bool Center = true;
    const std::string& StatusText() const { return statusText_; }
    void SetStatusText(const std::string& Value);
    bool FitStatusText() const { return fitStatusText_; }
    void SetFitStatusText(bool Value);
    bool EnableOKButton() const { return enableOKButton_; }
    void SetEnableOKButton(bool Value);
    int ImageIndex() const { return imageIndex_; }
    std::string Caption() const;
    void SetCaption(const std::string& Value);
    bool ShowSelectionInStatus = false;
    // The item that goes with Selection (the chosen folder's path), if any.
    const std::optional<std::string>& SelectionPIDL() const { return selectionPIDL_; }
    // After a confirmed Execute: the text the chooser left for the item.
    const std::string& DisplayName() const { return displayName_; }

    TBDSelChangedEvent OnSelChanged;
    TNotifyEvent OnCreate;
    TBDValidateFailedEvent OnValidateFailed;

    virtual bool Execute();

    // The status text as sent to the status line: fitted to its width when
    // FitStatusText is set and the dialog is open.
    std::string FittedStatusText() const;
    // Shortening rules, measuring with measure(text) against width.
    static std::string ShortenPath(const std::string& text, const std::function<int(const std::string&)>& measure,
                                   int width);
    static std::string ShortenEnd(const std::string& text, const std::function<int(const std::string&)>& measure,
                                  int width);
    static bool IsExistingFolder(const std::string& Path);

    // The open chooser, null when closed.
    TBrowseFolderDialog* DialogHandle() const { return dialog_; }

    static void SetModalRunner(TModalRunner Runner);

protected:
    virtual void DoInitialized(TBrowseFolderDialog* Wnd);
    virtual void DoSelChanged(TBrowseFolderDialog* Wnd, const std::string& Item);
    virtual void DoValidateFailed(const std::string& Path, bool& Cancel);

private:
    void ApplySelection();
    void SendStatus();

    TBrowseFolderDialog* dialog_ = nullptr;
    std::string caption_;
    QPointer<QWidget> ownerControl_;
    bool fitStatusText_ = true;
    TBrowseFlags options_;
    std::string selection_;
    std::string statusText_;
    bool enableOKButton_ = true;
    int imageIndex_ = -1;
    std::optional<std::string> selectionPIDL_;
    std::string displayName_;
};
