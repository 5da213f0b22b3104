// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/gui/BrowseDirectoryDialog.h"

#include <sys/stat.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

TdfsBrowseDirectoryDlg::TModalRunner& Runner()
{
    static TdfsBrowseDirectoryDlg::TModalRunner runner;
    return runner;
}

std::string ToStd(const QString& s) { return s.toLocal8Bit().toStdString(); }
QString ToQt(const std::string& s) { return QString::fromLocal8Bit(s.data(), qsizetype(s.size())); }

std::string HomeFolder() { return ToStd(QDir::homePath()); }

std::string Existing(const std::string& path)
{
    return !path.empty() && TdfsBrowseDirectoryDlg::IsExistingFolder(path) ? path : HomeFolder();
}

std::string Standard(QStandardPaths::StandardLocation location)
{
    return Existing(ToStd(QStandardPaths::writableLocation(location)));
}

// One trailing '/' removed, unless the text is the root.
std::string WithoutTrailingDelimiter(std::string path)
{
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

const std::uint32_t FlagBits[] = {0x0001, 0x0002, 0x0008, 0x1000, 0x2000, 0x4000,
                                  0x0010, 0x0080, 0x0040, 0x8000, 0x0050};

} // namespace

std::string RootFolder(TRootID root)
{
    const std::string home = HomeFolder();
    switch (root) {
    case idDesktop:
    case idDesktopDirectory:
    case idCommonDesktopDirectory:
        return Standard(QStandardPaths::DesktopLocation);
    case idPersonal:
        return Standard(QStandardPaths::DocumentsLocation);
    case idDrives:
    case idDesktopExpanded:
    case idNetwork:
    case idNetHood:
    case idInternet:
    case idControlPanel:
    case idPrinters:
        return "/";
    case idPrograms:
    case idStartMenu:
        return Existing(home + "/.local/share/applications");
    case idCommonPrograms:
    case idCommonStartMenu:
        return Existing("/usr/share/applications");
    case idStartup:
        return Existing(home + "/.config/autostart");
    case idCommonStartup:
        return Existing("/etc/xdg/autostart");
    case idRecycleBin:
        return Existing(home + "/.local/share/Trash/files");
    case idFonts:
        return Standard(QStandardPaths::FontsLocation);
    case idTemplates:
        return Existing(home + "/Templates");
    case idAppData:
        return Standard(QStandardPaths::GenericDataLocation);
    case idFavorites:
    case idRecent:
    case idSendTo:
    case idPrintHood:
        break;
    }
    return home;
}

std::uint32_t BrowseInfoFlags(TBrowseFlags options, bool statusWanted)
{
    std::uint32_t flags = 0;
    for (int i = 0; i <= bfUseNewUI; ++i)
        if (options.Contains(TBrowseFlag(i)))
            flags |= FlagBits[i];
    if (options.Contains(bfEditBox))
        flags |= 0x0020; // BIF_VALIDATE
    if (statusWanted)
        flags |= 0x0004; // BIF_STATUSTEXT
    return flags;
}

// ---- the chooser -------------------------------------------------------------

TBrowseFolderDialog::TBrowseFolderDialog(QWidget* parent, const std::string& root, const std::string& title,
                                         TBrowseFlags options, bool statusWanted)
    : QDialog(parent), root_(root)
{
    setObjectName("BrowseFolderDialog");
    setWindowTitle(tr("Browse for Folder"));
    setModal(true);
    setSizeGripEnabled(options.Contains(bfNewDialogStyle));
    auto* layout = new QVBoxLayout(this);

    title_ = new QLabel(ToQt(title), this);
    title_->setObjectName("Title");
    title_->setWordWrap(true);
    title_->setVisible(!title.empty());
    layout->addWidget(title_);

    status_ = new QLabel(this);
    status_->setObjectName("Status");
    // The status line never widens the dialog: long texts are fitted to it.
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    status_->setVisible(statusWanted);
    layout->addWidget(status_);

    model_ = new QFileSystemModel(this);
    QDir::Filters filters = QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives;
    if (options.Contains(bfIncludeFiles))
        filters |= QDir::Files;
    model_->setFilter(filters);
    model_->setRootPath(ToQt(root));
    tree_ = new QTreeView(this);
    tree_->setObjectName("FolderTree");
    tree_->setModel(model_);
    tree_->setRootIndex(model_->index(ToQt(root)));
    tree_->setHeaderHidden(true);
    for (int column = 1; column < model_->columnCount(); ++column)
        tree_->hideColumn(column);
    layout->addWidget(tree_, 1);

    if (options.Contains(bfEditBox)) {
        edit_ = new QLineEdit(this);
        edit_->setObjectName("EditBox");
        layout->addWidget(edit_);
    }

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons_);
    connect(buttons_, &QDialogButtonBox::accepted, this, &TBrowseFolderDialog::Confirm);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex&) {
        std::string path = CurrentPath();
        if (edit_)
            edit_->setText(ToQt(path));
        if (OnSelectionChanged)
            OnSelectionChanged(path);
    });

    resize(340, 400);
    layout->activate(); // lays the children out now: the status line has its width before showing
}

std::string TBrowseFolderDialog::CurrentPath() const
{
    QModelIndex index = tree_->currentIndex();
    return index.isValid() ? ToStd(model_->filePath(index)) : std::string();
}

bool TBrowseFolderDialog::SelectPath(const std::string& path)
{
    QModelIndex index = model_->index(ToQt(path));
    if (!index.isValid())
        return false;
    // Only items at or below the tree's root can be selected.
    QModelIndex rootIndex = tree_->rootIndex();
    for (QModelIndex up = index; up != rootIndex; up = up.parent())
        if (!up.isValid())
            return false;
    tree_->setCurrentIndex(index);
    tree_->scrollTo(index);
    return true;
}

void TBrowseFolderDialog::SetStatusText(const QString& text) { status_->setText(text); }

QString TBrowseFolderDialog::StatusText() const { return status_->text(); }

void TBrowseFolderDialog::EnableOK(bool enable) { buttons_->button(QDialogButtonBox::Ok)->setEnabled(enable); }

bool TBrowseFolderDialog::OKEnabled() const { return buttons_->button(QDialogButtonBox::Ok)->isEnabled(); }

void TBrowseFolderDialog::Confirm()
{
    if (!OKEnabled())
        return;
    std::string path = CurrentPath();
    if (edit_ && ToStd(edit_->text()) != path) {
        std::string text = ToStd(edit_->text());
        std::string full = !text.empty() && text[0] == '/' ? text : IncludeTrailing(path) + text;
        if (text.empty() || !TdfsBrowseDirectoryDlg::IsExistingFolder(full)) {
            if (OnValidateFailed && OnValidateFailed(text))
                reject();
            return;
        }
        path = ToStd(QDir::cleanPath(ToQt(full)));
    }
    if (path.empty())
        return; // nothing chosen yet
    chosen_ = path;
    accept();
}

std::string TBrowseFolderDialog::IncludeTrailing(const std::string& path)
{
    return path.empty() || path.back() == '/' ? path : path + "/";
}

// ---- the component -------------------------------------------------------------

TdfsBrowseDirectoryDlg::TdfsBrowseDirectoryDlg(QWidget* AOwner) : ownerControl_(AOwner) {}

TdfsBrowseDirectoryDlg::~TdfsBrowseDirectoryDlg() = default;

void TdfsBrowseDirectoryDlg::SetModalRunner(TModalRunner Runner_)
{
    Runner() = std::move(Runner_);
}

void TdfsBrowseDirectoryDlg::SetSelection(const std::string& Value)
{
    if (Value == selection_)
        return;
    selection_ = Value;
    if (!selection_.empty() && selection_.back() != '/' && IsExistingFolder(selection_))
        selection_ += '/';
    if (selection_.empty())
        selectionPIDL_.reset();
    if (ShowSelectionInStatus)
        SetStatusText(selection_);
    if (dialog_)
        ApplySelection();
}

void TdfsBrowseDirectoryDlg::SetOptions(TBrowseFlags Value)
{
    if (Value == options_)
        return;
    if (Value.Contains(bfIncludeURLs)) {
        Value.Include(bfIncludeFiles);
        Value.Include(bfUseNewUI);
    }
    if (Value.Contains(bfShareable))
        Value.Include(bfUseNewUI);
    if (Value.Contains(bfUseNewUI)) {
        Value.Include(bfEditBox);
        Value.Include(bfNewDialogStyle);
    }
    options_ = Value;
}

void TdfsBrowseDirectoryDlg::SetStatusText(const std::string& Value)
{
    if (Value == statusText_)
        return;
    statusText_ = Value;
    SendStatus();
}

void TdfsBrowseDirectoryDlg::SetFitStatusText(bool Value)
{
    if (Value == fitStatusText_)
        return;
    fitStatusText_ = Value;
    SendStatus();
}

void TdfsBrowseDirectoryDlg::SetEnableOKButton(bool Value)
{
    enableOKButton_ = Value;
    if (dialog_)
        dialog_->EnableOK(Value);
}

std::string TdfsBrowseDirectoryDlg::Caption() const
{
    return dialog_ ? ToStd(dialog_->windowTitle()) : caption_;
}

void TdfsBrowseDirectoryDlg::SetCaption(const std::string& Value)
{
    caption_ = Value;
    if (dialog_)
        dialog_->setWindowTitle(ToQt(Value));
}

void TdfsBrowseDirectoryDlg::SendStatus()
{
    if (dialog_)
        dialog_->SetStatusText(ToQt(FittedStatusText()));
}

bool TdfsBrowseDirectoryDlg::Execute()
{
    displayName_.clear();
    QWidget* owner = ownerControl_ ? ownerControl_.data() : QApplication::activeWindow();
    bool statusWanted = !statusText_.empty() || ShowSelectionInStatus;
    TBrowseFolderDialog dialog(owner, RootFolder(Root), Title, options_, statusWanted);
    dialog.OnSelectionChanged = [this, &dialog](const std::string& path) { DoSelChanged(&dialog, path); };
    dialog.OnValidateFailed = [this](const std::string& text) {
        bool cancel = false;
        DoValidateFailed(text, cancel);
        return cancel;
    };

    bool confirmed = false;
    struct Closer {
        TBrowseFolderDialog*& handle;
        ~Closer() { handle = nullptr; } // also when a handler raises
    } closer{dialog_};
    DoInitialized(&dialog);
    if (Runner())
        confirmed = Runner()(dialog);
    else
        confirmed = dialog.exec() == QDialog::Accepted;
    dialog_ = nullptr;

    std::string path = confirmed ? dialog.ChosenPath() : std::string();
    if (confirmed && path.empty())
        confirmed = false; // an accepted dialog without a folder chose nothing
    if (confirmed) {
        displayName_ = path;
        selection_ = path; // as returned: no trailing '/' unless it is the root
        selectionPIDL_ = path;
    } else {
        selection_.clear();
        selectionPIDL_.reset();
    }
    return confirmed;
}

void TdfsBrowseDirectoryDlg::DoInitialized(TBrowseFolderDialog* Wnd)
{
    dialog_ = Wnd;
    if (Center) {
        QScreen* screen = Wnd->parentWidget() ? Wnd->parentWidget()->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            QRect area = screen->geometry();
            QSize size = Wnd->frameGeometry().size();
            Wnd->move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
        }
    }
    Wnd->EnableOK(enableOKButton_);
    if (!statusText_.empty())
        Wnd->SetStatusText(ToQt(FittedStatusText()));
    if (!selection_.empty() || selectionPIDL_)
        ApplySelection();
    if (!caption_.empty())
        Wnd->setWindowTitle(ToQt(caption_));
    if (OnCreate)
        OnCreate(this);
}

void TdfsBrowseDirectoryDlg::DoSelChanged(TBrowseFolderDialog* Wnd, const std::string& Item)
{
    if (!ShowSelectionInStatus && !OnSelChanged)
        return;
    if (ShowSelectionInStatus)
        SetStatusText(Item);
    if (OnSelChanged)
        OnSelChanged(this, Item, Item);
}

void TdfsBrowseDirectoryDlg::DoValidateFailed(const std::string& Path, bool& Cancel)
{
    if (OnValidateFailed)
        OnValidateFailed(this, Path, Cancel);
}

void TdfsBrowseDirectoryDlg::ApplySelection()
{
    if (!dialog_)
        return;
    if (selection_.empty() && selectionPIDL_) {
        selection_ = *selectionPIDL_;
        dialog_->SelectPath(*selectionPIDL_);
        return;
    }
    std::string path = WithoutTrailingDelimiter(selection_);
    if (IsExistingFolder(path))
        selectionPIDL_ = path;
    dialog_->SelectPath(path);
}

std::string TdfsBrowseDirectoryDlg::FittedStatusText() const
{
    if (!fitStatusText_ || !dialog_ || statusText_.empty())
        return statusText_;
    QLabel* status = dialog_->StatusLabel();
    if (!status || status->isHidden())
        return statusText_;
    QFontMetrics metrics(status->font());
    auto measure = [&metrics](const std::string& text) { return metrics.horizontalAdvance(ToQt(text)); };
    int width = status->width();
    return IsExistingFolder(statusText_) ? ShortenPath(statusText_, measure, width)
                                         : ShortenEnd(statusText_, measure, width);
}

std::string TdfsBrowseDirectoryDlg::ShortenEnd(const std::string& text,
                                                const std::function<int(const std::string&)>& measure, int width)
{
    std::string result = text, remaining = text;
    while (!remaining.empty() && measure(result) > width) {
        remaining.pop_back();
        result = remaining + "...";
    }
    return result;
}

std::string TdfsBrowseDirectoryDlg::ShortenPath(const std::string& text,
                                                 const std::function<int(const std::string&)>& measure, int width)
{
    std::size_t cut = text.find_last_of("/:");
    std::string folder = cut == std::string::npos ? std::string() : text.substr(0, cut + 1);
    std::string name = cut == std::string::npos ? text : text.substr(cut + 1);
    std::string drive;
    if (folder.size() >= 2 && folder[1] == ':') {
        drive = folder.substr(0, 2);
        folder.erase(0, 2);
    }
    std::string result = text;
    while ((!folder.empty() || !drive.empty()) && measure(result) > width) {
        if (folder == "/.../") {
            drive.clear();
            folder = ".../";
        } else if (folder.empty()) {
            drive.clear();
        } else if (folder == "/") {
            folder.clear();
        } else {
            bool leading = folder[0] == '/';
            if (leading)
                folder.erase(0, 1);
            // Only a previous ".../" is dropped here, never the start of a
            // folder whose own name begins with a dot.
            if (folder.rfind(".../", 0) == 0)
                folder.erase(0, 4);
            std::size_t slash = folder.find('/');
            folder = slash == std::string::npos ? std::string() : ".../" + folder.substr(slash + 1);
            if (leading)
                folder.insert(0, "/");
        }
        result = drive + folder + name;
    }
    return result;
}

bool TdfsBrowseDirectoryDlg::IsExistingFolder(const std::string& Path)
{
    if (Path.empty())
        return false;
    std::string path = WithoutTrailingDelimiter(Path);
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
