// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/form/QuillonForm.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>

#include "about/gui/ProgramAboutBox.h"
#include "app/form/WindowUndo.h"
#include "components/Journal.h"
#include "runtime/Application.h"
#include "runtime/SysUtils.h"

TFormMain* FormMain = nullptr;

namespace {

TFormMain::TErrorDisplay& ErrorDisplay()
{
    static TFormMain::TErrorDisplay display;
    return display;
}

QString ToQt(const std::string& s) { return QString::fromLocal8Bit(s.data(), qsizetype(s.size())); }

// Lists do not repaint while rows are added; the bracket ends also when the
// scan ends by an exception.
class TListUpdate {
public:
    explicit TListUpdate(QListWidget* list) : list_(list) { list_->setUpdatesEnabled(false); }
    ~TListUpdate() { list_->setUpdatesEnabled(true); }
    TListUpdate(const TListUpdate&) = delete;
    TListUpdate& operator=(const TListUpdate&) = delete;

private:
    QListWidget* list_;
};

// A label that keeps its size fitted to its caption, also when the font changes.
class TAutoSizeLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void changeEvent(QEvent* event) override
    {
        QLabel::changeEvent(event);
        if (event->type() == QEvent::FontChange)
            resize(sizeHint());
    }
};

} // namespace

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName("FormMain");
    setWindowTitle("Rename files by date & slot name");
    QFont design("MS Sans Serif");
    design.setPixelSize(11);
    setFont(design);

    auto* client = new QWidget(this);
    client->setObjectName("ClientArea");
    setCentralWidget(client);

    auto label = [client](const char* name, const char* caption, int left, int top) {
        auto* l = new TAutoSizeLabel(caption, client);
        l->setObjectName(name);
        l->move(left, top);
        l->adjustSize();
        return l;
    };
    auto button = [client](const char* name, const char* caption, int left, int top) {
        auto* b = new QPushButton(caption, client);
        b->setObjectName(name);
        b->setGeometry(left, top, 113, 25);
        b->setAutoDefault(false);
        return b;
    };
    auto list = [client](const char* name, int left, int top) {
        auto* l = new QListWidget(client);
        l->setObjectName(name);
        l->setGeometry(left, top, 161, 145);
        l->setSortingEnabled(false);
        l->setUniformItemSizes(true);
        return l;
    };

    LabelNonStandardFiles = label("LabelNonStandardFiles", "Non-standard MPD files", 16, 16);
    LabelProposedNames = label("LabelProposedNames", "Proposed names", 208, 16);
    LabelFolder = label("LabelFolder", "Folder", 16, 200);
    ButtonOpenFolder = button("ButtonOpenFolder", "Open folder", 256, 200);
    ButtonClose = button("ButtonClose", "Close", 256, 280);
    ListBox1 = list("ListBox1", 16, 32);
    ButtonRename = button("ButtonRename", "Rename", 256, 240);
    ListBox2 = list("ListBox2", 208, 32);

    EditSourceFolder = new TvkqEdit(client);
    EditSourceFolder->setObjectName("EditSourceFolder");
    EditSourceFolder->setGeometry(16, 216, 217, 21);
    EditSourceFolder->setReadOnly(true);
    QPalette palette = EditSourceFolder->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window)); // clBtnFace
    EditSourceFolder->setPalette(palette);
    EditSourceFolder->NamedAs = "SourceFolder";

    BrowseDirectoryDlg = std::make_unique<TdfsBrowseDirectoryDlg>(this);
    BrowseDirectoryDlg->Root = idDrives;
    BrowseDirectoryDlg->SetCaption("Select folder with data files.");
    BrowseDirectoryDlg->ShowSelectionInStatus = false;

    TreeScanner = std::make_unique<TTreeScanner>();
    TRenameWorkflow::SetUpScanner(*TreeScanner, {}); // the folder is set at each scan
    TreeScanner->OnFileFound = [this](TObject* sender) { TreeScannerFileFound(sender); };

    MainMenu1 = menuBar();
    MainMenu1->setObjectName("MainMenu1");
    File1 = MainMenu1->addMenu("&File");
    File1->setObjectName("File1");
    FileOpenFolder = File1->addAction("&Open folder...");
    FileOpenFolder->setObjectName("FileOpenFolder");
    N1 = File1->addSeparator();
    N1->setObjectName("N1");
    FileExit = File1->addAction("E&xit");
    FileExit->setObjectName("FileExit");
    Help1 = MainMenu1->addMenu("&Help");
    Help1->setObjectName("Help1");
    HelpAbout = Help1->addAction("&About...");
    HelpAbout->setObjectName("HelpAbout");
    Edit1 = new QMenu("&Edit", MainMenu1);
    Edit1->setObjectName("Edit1");
    MainMenu1->insertMenu(Help1->menuAction(), Edit1);
    EditUndoLastRename = Edit1->addAction("Undo last rename");
    EditUndoLastRename->setObjectName("EditUndoLastRename");
    EditUndoLastRename->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    EditUndoLastRename->setEnabled(false);

    // Tab order: ButtonOpenFolder, ButtonClose, ListBox1, ButtonRename, ListBox2, EditSourceFolder.
    setTabOrder(ButtonOpenFolder, ButtonClose);
    setTabOrder(ButtonClose, ListBox1);
    setTabOrder(ListBox1, ButtonRename);
    setTabOrder(ButtonRename, ListBox2);
    setTabOrder(ListBox2, EditSourceFolder);

    // Event bindings.
    connect(ButtonOpenFolder, &QPushButton::clicked, this, [this] { Guarded([this] { ButtonOpenFolderClick(nullptr); }); });
    connect(ButtonRename, &QPushButton::clicked, this, [this] { Guarded([this] { ButtonRenameClick(nullptr); }); });
    connect(ButtonClose, &QPushButton::clicked, this, [this] { Guarded([this] { ButtonCloseClick(nullptr); }); });
    connect(FileOpenFolder, &QAction::triggered, this, [this] { Guarded([this] { ButtonOpenFolderClick(nullptr); }); });
    connect(FileExit, &QAction::triggered, this, [this] { Guarded([this] { ButtonCloseClick(nullptr); }); });
    connect(HelpAbout, &QAction::triggered, this, [this] { Guarded([this] { HelpAboutClick(nullptr); }); });
    connect(EditUndoLastRename, &QAction::triggered, this,
            [this] { Guarded([this] { EditUndoLastRenameClick(nullptr); }); });
    // Another program (quillon-cli, the watch service) may have renamed or undone meanwhile.
    connect(Edit1, &QMenu::aboutToShow, this, [this] { Guarded([this] { UpdateUndoAction(); }); });
    // ButtonClose is the cancel button: Esc presses it.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, ButtonClose, &QPushButton::click);

    // The window: 196, 113; its client area is what a 398 x 371 window with a
    // menu bar leaves inside its frame.
    move(196, 113);
    resize(390, 325 + MainMenu1->sizeHint().height());

    workflow_.OnRowAdded = [this](const std::string& fileName, const std::string& proposedName) {
        ListBox1->addItem(ToQt(fileName));
        ListBox2->addItem(ToQt(proposedName));
    };

    // Loading is complete: the edit takes its stored folder.
    EditSourceFolder->Loaded();
}

TFormMain::~TFormMain()
{
    if (FormMain == this)
        FormMain = nullptr;
}

void TFormMain::SetErrorDisplay(TErrorDisplay Display)
{
    ErrorDisplay() = std::move(Display);
}

void TFormMain::ShowException(const std::exception& Error)
{
    ShowMessage(Error.what());
}

void TFormMain::ShowMessage(const std::string& Message)
{
    if (ErrorDisplay()) {
        ErrorDisplay()(Message);
        return;
    }
    QString title = ToQt(Application().Title.empty() ? std::string("Quillon") : Application().Title);
    QMessageBox::critical(QApplication::activeWindow(), title, ToQt(Message));
}

void TFormMain::Guarded(const std::function<void()>& Handler)
{
    try {
        Handler();
    } catch (const std::exception& e) {
        ShowException(e);
    }
}

void TFormMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        Guarded([this] { FormShow(nullptr); });
}

void TFormMain::FormShow(TObject*)
{
    setFont(QApplication::font()); // the desktop's font from now on
    if (EditSourceFolder->Text().empty())
        EditSourceFolder->SetText(ExtractFilePath(Application().ExeName()));
    BrowseDirectoryDlg->SetSelection(EditSourceFolder->Text());
    UpdateUndoAction();
}

void TFormMain::ButtonOpenFolderClick(TObject*)
{
    if (!BrowseDirectoryDlg->Execute())
        return; // the folder and the lists stay as they are
    EditSourceFolder->SetText(BrowseDirectoryDlg->Selection());
    RescanFolder();
}

void TFormMain::RescanFolder()
{
    TRenameWorkflow::SetUpScanner(*TreeScanner, EditSourceFolder->Text());
    workflow_.Folder = EditSourceFolder->Text();
    TListUpdate update1(ListBox1);
    TListUpdate update2(ListBox2);
    ListBox1->clear();
    ListBox2->clear();
    workflow_.ClearRows();
    UpdateUndoAction(); // also when the scan ends by an exception
    TreeScanner->Search();
}

void TFormMain::TreeScannerFileFound(TObject*)
{
    workflow_.FileFound(TreeScanner->FileFound());
}

void TFormMain::ButtonRenameClick(TObject*)
{
    workflow_.Folder = EditSourceFolder->Text();
    // Journaled, so that `quillon-cli undo` can take the batch back; a journal
    // that cannot be written stops the batch before its first rename.
    TRenameJournal journal;
    journal.SetSource("window");
    // Failures are skipped and the rescan shows what is left; a journal that
    // cannot be written stops the batch, and that is said once.
    std::string stopped;
    try {
        stopped = BatchStopReason(workflow_.RenameRows(&journal));
    } catch (const EJournalError& e) {
        stopped = e.Message();
    }
    RescanAndTell(stopped.empty() ? std::string() : JournalStoppedMessage(journal.FileName(), stopped));
}

void TFormMain::EditUndoLastRenameClick(TObject*)
{
    TUndoResult result = UndoLastRename(DefaultJournalFileName(), EditSourceFolder->Text());
    RescanAndTell(UndoSkippedMessage(result));
}

void TFormMain::RescanAndTell(const std::string& Message)
{
    // The message is shown also when the rescan ends by an exception.
    try {
        RescanFolder();
    } catch (...) {
        if (!Message.empty())
            ShowMessage(Message);
        throw;
    }
    if (!Message.empty())
        ShowMessage(Message);
}

void TFormMain::UpdateUndoAction()
{
    EditUndoLastRename->setEnabled(FolderHasUndo(DefaultJournalFileName(), EditSourceFolder->Text()));
}

void TFormMain::ButtonCloseClick(TObject*)
{
    close();
}

void TFormMain::HelpAboutClick(TObject*)
{
    if (AboutBoxVKQ1)
        AboutBoxVKQ1->exec();
}
