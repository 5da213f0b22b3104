// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/form/QuillonForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QTimer>
#include <QTranslator>
#include <utility>

#include "about/gui/ProgramAboutBox.h"
#include "app/form/ListDialog.h"
#include "app/form/WindowUndo.h"
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

QString Title()
{
    return ToQt(Application().Title.empty() ? std::string("Quillon") : Application().Title);
}

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

// Messages with more lines than this are shown as a list.
constexpr size_t FewLines = 5;

} // namespace

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName("FormMain");
    setWindowTitle(tr("Rename files by date & slot name"));
    QFont design("MS Sans Serif");
    design.setPixelSize(11);
    setFont(design);

    auto* client = new QWidget(this);
    client->setObjectName("ClientArea");
    setCentralWidget(client);

    auto label = [client](const char* name, const QString& caption, int left, int top) {
        auto* l = new TAutoSizeLabel(caption, client);
        l->setObjectName(name);
        l->move(left, top);
        l->adjustSize();
        return l;
    };
    auto button = [client](const char* name, const QString& caption, int left, int top) {
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

    LabelNonStandardFiles = label("LabelNonStandardFiles", tr("Non-standard MPD files"), 16, 16);
    LabelProposedNames = label("LabelProposedNames", tr("Proposed names"), 208, 16);
    LabelFolder = label("LabelFolder", tr("Folder"), 16, 200);
    ButtonOpenFolder = button("ButtonOpenFolder", tr("Open folder"), 256, 200);
    ButtonClose = button("ButtonClose", tr("Close"), 256, 280);
    ListBox1 = list("ListBox1", 16, 32);
    ButtonRename = button("ButtonRename", tr("Rename"), 256, 240);
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
    BrowseDirectoryDlg->SetCaption(tr("Select folder with data files.").toStdString());
    BrowseDirectoryDlg->ShowSelectionInStatus = false;

    MainMenu1 = menuBar();
    MainMenu1->setObjectName("MainMenu1");
    File1 = MainMenu1->addMenu(tr("&File"));
    File1->setObjectName("File1");
    FileOpenFolder = File1->addAction(tr("&Open folder..."));
    FileOpenFolder->setObjectName("FileOpenFolder");
    N1 = File1->addSeparator();
    N1->setObjectName("N1");
    FileExit = File1->addAction(tr("E&xit"));
    FileExit->setObjectName("FileExit");
    Help1 = MainMenu1->addMenu(tr("&Help"));
    Help1->setObjectName("Help1");
    HelpAbout = Help1->addAction(tr("&About..."));
    HelpAbout->setObjectName("HelpAbout");
    Edit1 = new QMenu(tr("&Edit"), MainMenu1);
    Edit1->setObjectName("Edit1");
    MainMenu1->insertMenu(Help1->menuAction(), Edit1);
    EditUndoLastRename = Edit1->addAction(tr("Undo last rename"));
    EditUndoLastRename->setObjectName("EditUndoLastRename");
    EditUndoLastRename->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    EditUndoLastRename->setEnabled(false);
    EditShowProblems = Edit1->addAction(tr("Show problems"));
    EditShowProblems->setObjectName("EditShowProblems");
    EditShowProblems->setEnabled(false);

    // The status line below the design's controls, Stop (or Show problems) at its right.
    LabelStatus = new QLabel(client);
    LabelStatus->setObjectName("LabelStatus");
    LabelStatus->setGeometry(16, 320, 233, 21);
    LabelStatus->setTextFormat(Qt::PlainText);
    ButtonStop = button("ButtonStop", tr("Stop"), 256, 318);
    ButtonStop->setEnabled(false);
    ButtonShowProblems = button("ButtonShowProblems", tr("Show problems"), 256, 318);
    ButtonShowProblems->hide();

    // Tab order: ButtonOpenFolder, ButtonClose, ListBox1, ButtonRename, ListBox2, EditSourceFolder.
    setTabOrder(ButtonOpenFolder, ButtonClose);
    setTabOrder(ButtonClose, ListBox1);
    setTabOrder(ListBox1, ButtonRename);
    setTabOrder(ButtonRename, ListBox2);
    setTabOrder(ListBox2, EditSourceFolder);
    setTabOrder(EditSourceFolder, ButtonStop);
    setTabOrder(ButtonStop, ButtonShowProblems);

    // Event bindings.
    connect(ButtonOpenFolder, &QPushButton::clicked, this, [this] { Guarded([this] { ButtonOpenFolderClick(nullptr); }); });
    connect(ButtonRename, &QPushButton::clicked, this, [this] { Guarded([this] { ButtonRenameClick(nullptr); }); });
    connect(ButtonClose, &QPushButton::clicked, this, [this] { Guarded([this] { ButtonCloseClick(nullptr); }); });
    connect(ButtonStop, &QPushButton::clicked, this, [this] { Guarded([this] { ButtonStopClick(nullptr); }); });
    connect(ButtonShowProblems, &QPushButton::clicked, this, [this] { Guarded([this] { ShowProblemsClick(nullptr); }); });
    connect(FileOpenFolder, &QAction::triggered, this, [this] { Guarded([this] { ButtonOpenFolderClick(nullptr); }); });
    connect(FileExit, &QAction::triggered, this, [this] { Guarded([this] { ButtonCloseClick(nullptr); }); });
    connect(HelpAbout, &QAction::triggered, this, [this] { Guarded([this] { HelpAboutClick(nullptr); }); });
    connect(EditUndoLastRename, &QAction::triggered, this,
            [this] { Guarded([this] { EditUndoLastRenameClick(nullptr); }); });
    connect(EditShowProblems, &QAction::triggered, this, [this] { Guarded([this] { ShowProblemsClick(nullptr); }); });
    // Another program (quillon-cli, the watch service) may have renamed or undone meanwhile.
    connect(Edit1, &QMenu::aboutToShow, this, [this] { Guarded([this] { UpdateUndoAction(); }); });
    // Esc stops the work under way; with none, it presses Close (the cancel button).
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (Busy())
            ButtonStop->click();
        else
            ButtonClose->click();
    });

    // The jobs tell their end from the worker thread: the window takes it on its own.
    jobs_.OnEnded = [this] {
        QMetaObject::invokeMethod(this, [this] { Guarded([this] { Finish(); }); }, Qt::QueuedConnection);
    };
    jobs_.RenameCheckpoint = [this](int done) { return RenameCheckpoint && RenameCheckpoint(done); };
    progress_ = new QTimer(this);
    progress_->setInterval(50);
    connect(progress_, &QTimer::timeout, this, [this] { Guarded([this] { Drain(); }); });

    // The window: 196, 113; its client area is what a 398 x 371 window with a
    // menu bar leaves inside its frame, and the status line below.
    move(196, 113);
    resize(390, 325 + 36 + MainMenu1->sizeHint().height());

    // Loading is complete: the edit takes its stored folder.
    EditSourceFolder->Loaded();
}

TFormMain::~TFormMain()
{
    jobs_.DropQueued();
    jobs_.StopAll();
    jobs_.Wait();
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
    QMessageBox::critical(QApplication::activeWindow(), Title(), ToQt(Message));
}

void TFormMain::ShowList(const std::string& Heading, const std::vector<std::string>& Lines)
{
    if (ErrorDisplay() || Lines.size() <= FewLines) {
        std::string text = Heading;
        if (!Lines.empty())
            text += "\n";
        for (const std::string& line : Lines)
            text += "\n" + line;
        ShowMessage(text);
        return;
    }
    QStringList rows;
    rows.reserve(qsizetype(Lines.size()));
    for (const std::string& line : Lines)
        rows << ToQt(line);
    TListDialog dialog(Title(), ToQt(Heading), rows, QApplication::activeWindow());
    dialog.exec();
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

void TFormMain::closeEvent(QCloseEvent* event)
{
    if (!Busy()) {
        QMainWindow::closeEvent(event);
        return;
    }
    // The work stops within a second; the window closes when it has.
    closePending_ = true;
    jobs_.DropQueued();
    jobs_.StopAll();
    event->ignore();
}

void TFormMain::FormShow(TObject*)
{
    setFont(QApplication::font()); // the desktop's font from now on
    if (EditSourceFolder->Text().empty())
        EditSourceFolder->SetText(ExtractFilePath(Application().ExeName()));
    BrowseDirectoryDlg->SetSelection(EditSourceFolder->Text());
    // The remembered folder is listed at once.
    RescanFolder();
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
    Start(TFolderJobKind::Scan, true);
}

void TFormMain::ButtonRenameClick(TObject*)
{
    // Not during a scan or a rename (the button is disabled then); after a check.
    if (!Busy() || jobs_.Progress().Kind == TFolderJobKind::UndoCheck)
        Start(TFolderJobKind::Rename, false);
}

void TFormMain::EditUndoLastRenameClick(TObject*)
{
    if (!Busy() || jobs_.Progress().Kind == TFolderJobKind::UndoCheck)
        Start(TFolderJobKind::Undo, false);
}

void TFormMain::ButtonStopClick(TObject*)
{
    if (!Busy())
        return;
    jobs_.DropQueued();
    // A stopped rename or undo (or a wait for the journal) still lists the
    // folder again, to show what it did.
    jobs_.Stop();
}

void TFormMain::ShowProblemsClick(TObject*)
{
    if (problems_.isEmpty())
        return;
    std::vector<std::string> lines;
    lines.reserve(size_t(problems_.size()));
    for (const QString& p : problems_)
        lines.push_back(p.toLocal8Bit().toStdString());
    ShowList(tr("These files could not be read or renamed:").toStdString(), lines);
}

void TFormMain::UpdateUndoAction()
{
    if (EditSourceFolder->Text().empty()) {
        EditUndoLastRename->setEnabled(false);
        return;
    }
    if (!Busy())
        Start(TFolderJobKind::UndoCheck, false);
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

// ---- the work -----------------------------------------------------------------

void TFormMain::Start(TFolderJobKind Kind, bool Interrupt)
{
    if (closePending_)
        return;
    const bool now = !Busy();
    jobs_.Start(Kind, EditSourceFolder->Text(), Interrupt);
    if (now)
        ShowBusy(Kind);
}

void TFormMain::ShowBusy(TFolderJobKind Kind)
{
    if (Kind == TFolderJobKind::UndoCheck)
        return;
    ButtonRename->setEnabled(false);
    EditUndoLastRename->setEnabled(false);
    ButtonShowProblems->hide();
    ButtonStop->show();
    ButtonStop->setEnabled(true);
    progress_->start();
    ShowStatus();
}

void TFormMain::Drain()
{
    TFolderJobRows taken = jobs_.TakeRows();
    const auto& rows = taken.Rows;
    const auto& unreadable = taken.Unreadable;
    if (taken.Cleared) {
        ListBox1->clear();
        ListBox2->clear();
        problems_.clear();
        unreadable_ = 0;
        notRenamed_ = 0;
    }
    if (!rows.empty()) {
        QStringList names, proposed;
        names.reserve(qsizetype(rows.size()));
        proposed.reserve(qsizetype(rows.size()));
        for (const auto& [name, proposal] : rows) {
            names << ToQt(name);
            proposed << ToQt(proposal);
        }
        ListBox1->addItems(names);
        ListBox2->addItems(proposed);
    }
    for (const std::string& line : unreadable)
        problems_ << ToQt(line);
    unreadable_ += int(unreadable.size());
    ShowStatus();
}

void TFormMain::ShowStatus()
{
    const TFolderJobProgress job = jobs_.Progress();
    if (!Busy() || job.Kind == TFolderJobKind::UndoCheck) {
        LabelStatus->setText(idleText_);
        return;
    }
    QString text;
    if (job.Waiting)
        text = tr("Waiting for the rename journal, held by another quillon process");
    else if (job.Scanning && job.Listed < 0)
        text = tr("Reading the folder");
    else if (job.Scanning)
        text = tr("Reading headers: %L1 of %L2").arg(job.Examined).arg(job.Listed);
    else if (job.Kind == TFolderJobKind::Rename)
        text = tr("Renaming: %L1 of %L2").arg(job.Done).arg(job.Planned);
    else if (job.Kind == TFolderJobKind::Undo)
        text = tr("Taking back the last rename");
    if (unreadable_ > 0)
        text += tr(", %L1 not readable").arg(unreadable_);
    LabelStatus->setText(text);
}

void TFormMain::ShowIdle()
{
    const bool problems = !problems_.isEmpty();
    ButtonStop->setEnabled(false);
    ButtonStop->setVisible(!problems);
    ButtonShowProblems->setVisible(problems);
    EditShowProblems->setEnabled(problems);
    ButtonRename->setEnabled(true);
    LabelStatus->setText(idleText_);
}

void TFormMain::Finish()
{
    // Rows first: they belong to the job that has ended.
    Drain();
    std::optional<TFolderJobResult> ended = jobs_.TakeResult();
    if (!ended)
        return;
    const TFolderJobResult& job = *ended;
    progress_->stop();
    if (closePending_) {
        close();
        return;
    }
    EditUndoLastRename->setEnabled(job.HasUndo);

    std::string heading;
    std::vector<std::string> lines;
    if (job.Kind != TFolderJobKind::UndoCheck) {
        for (const std::string& line : job.Failed)
            problems_ << ToQt(line);
        notRenamed_ = int(job.Failed.size());
        QString text;
        if (job.Kind == TFolderJobKind::Rename) {
            if (job.RenameStopped)
                text = tr("Stopped after renaming %L1 of %L2 files").arg(job.Renamed).arg(job.Planned);
            else
                text = job.Renamed == 1 ? tr("Renamed 1 file") : tr("Renamed %L1 files").arg(job.Renamed);
            if (notRenamed_ > 0)
                text += tr(", %L1 not renamed").arg(notRenamed_);
            if (!job.JournalStopped.empty())
                heading = JournalStoppedMessage(jobs_.JournalFile(), job.JournalStopped);
        } else if (job.Kind == TFolderJobKind::Undo) {
            const int restored = int(job.Undo.Lines.size()) - job.Undo.Skipped();
            text = restored == 1 ? tr("Took back 1 file") : tr("Took back %L1 files").arg(restored);
            heading = UndoSkippedHeading(job.Undo);
            lines = UndoSkippedLines(job.Undo);
        } else if (job.ScanStopped) {
            text = tr("Stopped: %L1 files listed").arg(ListBox1->count());
        } else {
            text = ListBox1->count() == 1 ? tr("1 file to rename") : tr("%L1 files to rename").arg(ListBox1->count());
        }
        if (unreadable_ > 0)
            text += tr(", %L1 not readable").arg(unreadable_);
        idleText_ = text;
        ShowIdle();
    }

    // Messages come last: the window shows its state behind them.
    if (!job.Error.empty())
        ShowMessage(job.Error);
    if (!heading.empty())
        ShowList(heading, lines);

    if (!closePending_ && jobs_.StartQueued())
        ShowBusy(jobs_.Progress().Kind);
}

// ---- translations ---------------------------------------------------------------

bool InstallTranslations(const QLocale& Locale, const QStringList& Folders)
{
    static QTranslator* own = nullptr;
    static QTranslator* qt = nullptr;
    if (own) {
        QCoreApplication::removeTranslator(own);
        delete own;
        own = nullptr;
    }
    if (qt) {
        QCoreApplication::removeTranslator(qt);
        delete qt;
        qt = nullptr;
    }
    bool found = false;
    auto* translator = new QTranslator;
    for (const QString& folder : Folders) {
        if (translator->load(Locale, "quillon", "_", folder)) {
            QCoreApplication::installTranslator(translator);
            own = translator;
            found = true;
            break;
        }
    }
    if (!found)
        delete translator;
    // Qt's own texts (standard buttons, the file dialogs) in the same language.
    auto* base = new QTranslator;
    if (base->load(Locale, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(base);
        qt = base;
    } else {
        delete base;
    }
    return found;
}
