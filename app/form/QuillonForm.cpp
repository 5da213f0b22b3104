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
#include <atomic>
#include <mutex>
#include <utility>

#include "about/gui/ProgramAboutBox.h"
#include "app/form/ListDialog.h"
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

// One piece of work on the worker thread and what it tells the window. The
// counters and the buffers under Mutex are shared while it runs; the results
// are the GUI thread's once the worker has ended.
struct TFormMain::TJob {
    TJobKind Kind = TJobKind::Scan;
    std::string Folder;
    std::string JournalFile;
    TRunStop RenameStop;   // the rename batch
    TRunStop ScanStop;     // the scan
    std::atomic<bool> Scanning{false};
    std::atomic<int> Listed{-1};
    std::atomic<int> Examined{0};
    std::atomic<int> Done{0};
    std::atomic<int> Planned{0};
    std::atomic<bool> Waiting{false};
    std::atomic<bool> WaitEnded{false};   // Stop ended a wait through the process's stop request

    std::mutex Mutex;
    bool Cleared = false;  // the lists start again before Rows
    std::vector<std::pair<std::string, std::string>> Rows;
    std::vector<std::string> Unreadable;

    // Results.
    std::string Error;
    std::string Heading;   // a message to show when the work has ended
    std::vector<std::string> Lines;
    std::vector<std::string> Failed;   // renames that failed, "name: reason"
    bool HasUndo = false;
    bool Scanned = false;
    bool ScanStopped = false;
    bool RenameStopped = false;
    int RowCount = 0;
    int Renamed = 0;
};

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
    if (worker_.joinable()) {
        StopWork(true);
        worker_.join();
    }
    if (globalStop_)
        ClearStopRequest();
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
    pending_ = false;
    StopWork(true);
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
    Start(TJobKind::Scan, true);
}

void TFormMain::ButtonRenameClick(TObject*)
{
    // Not during a scan or a rename (the button is disabled then); after a check.
    if (!Busy() || job_->Kind == TJobKind::UndoCheck)
        Start(TJobKind::Rename, false);
}

void TFormMain::EditUndoLastRenameClick(TObject*)
{
    if (!Busy() || job_->Kind == TJobKind::UndoCheck)
        Start(TJobKind::Undo, false);
}

void TFormMain::ButtonStopClick(TObject*)
{
    if (!job_ || !Busy())
        return;
    pending_ = false;
    // A stopped rename still lists the folder again, to show what it did.
    if (job_->Scanning)
        job_->ScanStop.Request();
    else
        job_->RenameStop.Request();
    if (job_->Waiting) {
        // Only the process's stop request ends a wait for the journal's lock;
        // the worker clears it before it lists the folder again.
        job_->WaitEnded = true;
        RequestStop();
        globalStop_ = true;
    }
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
        Start(TJobKind::UndoCheck, false);
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

void TFormMain::Start(TJobKind Kind, bool Interrupt)
{
    if (closePending_)
        return;
    if (!Busy()) {
        Launch(Kind);
        return;
    }
    if (Interrupt)
        StopWork(true);
    // A check waits behind anything else; anything else replaces a check.
    if (!pending_ || Kind != TJobKind::UndoCheck)
        pendingKind_ = Kind;
    pending_ = true;
}

void TFormMain::StopWork(bool Everything)
{
    if (!job_ || !Busy())
        return;
    job_->RenameStop.Request();
    job_->ScanStop.Request();
    // A wait for the journal's lock (a rename's, an undo's, the check after a
    // scan) ends only on the process's stop request; cleared when the job ends.
    if (Everything) {
        RequestStop();
        globalStop_ = true;
    }
}

void TFormMain::Launch(TJobKind Kind)
{
    auto job = std::make_shared<TJob>();
    job->Kind = Kind;
    job->Folder = EditSourceFolder->Text();
    job->JournalFile = DefaultJournalFileName();
    job_ = job;
    if (Kind != TJobKind::UndoCheck) {
        ButtonRename->setEnabled(false);
        EditUndoLastRename->setEnabled(false);
        ButtonShowProblems->hide();
        ButtonStop->show();
        ButtonStop->setEnabled(true);
        progress_->start();
        ShowStatus();
    }
    worker_ = std::thread([this, job] {
        Run(*job);
        PostFinished();
    });
}

void TFormMain::PostFinished()
{
    QMetaObject::invokeMethod(this, [this] { Guarded([this] { Finish(); }); }, Qt::QueuedConnection);
}

void TFormMain::ScanInto(TJob& Job)
{
    {
        std::lock_guard<std::mutex> lock(Job.Mutex);
        Job.Cleared = true;
        Job.Rows.clear();
        Job.Unreadable.clear();
    }
    Job.Listed = -1;
    Job.Examined = 0;
    Job.Scanning = true;
    workflow_.Folder = Job.Folder;
    workflow_.Stop = &Job.ScanStop;
    workflow_.OnFolderListed = [&Job](int count) { Job.Listed = count; };
    workflow_.OnFileExamined = [&Job](int index, const std::string&) { Job.Examined = index + 1; };
    // Rows gather here; the window takes them at each turn of its progress
    // timer, so that it is woken a few times a second, not once per file.
    workflow_.OnRowAdded = [&Job](const std::string& fileName, const std::string& proposedName) {
        std::lock_guard<std::mutex> lock(Job.Mutex);
        Job.Rows.emplace_back(fileName, proposedName);
    };
    // A file whose header cannot be read is told and skipped: the others are listed.
    workflow_.OnFileError = [&Job](const std::string& fullPath, const Exception& error) {
        std::string line = error.Message();
        const std::string name = ExtractFileName(fullPath);
        if (line.find(name) == std::string::npos)
            line = name + ": " + line;
        std::lock_guard<std::mutex> lock(Job.Mutex);
        Job.Unreadable.push_back(std::move(line));
        return true;
    };
    struct TDetach {
        TRenameWorkflow& Workflow;
        ~TDetach()
        {
            Workflow.Stop = nullptr;
            Workflow.OnFolderListed = nullptr;
            Workflow.OnFileExamined = nullptr;
            Workflow.OnRowAdded = nullptr;
            Workflow.OnFileError = nullptr;
        }
    } detach{workflow_};
    try {
        workflow_.RescanFolder();
    } catch (const EAbort&) {
        Job.ScanStopped = true;
    }
    Job.Scanned = true;
    Job.RowCount = workflow_.RowCount();
    if (!Job.ScanStopped && !Job.ScanStop.Requested())
        Job.HasUndo = FolderHasUndo(Job.JournalFile, Job.Folder, [&Job](const std::string&) { Job.Waiting = true; });
    Job.Waiting = false;
}

void TFormMain::Run(TJob& Job)
{
    const TJournalWaitNotice waiting = [&Job](const std::string&) { Job.Waiting = true; };
    try {
        switch (Job.Kind) {
        case TJobKind::Scan:
            ScanInto(Job);
            break;
        case TJobKind::Rename: {
            workflow_.Folder = Job.Folder;
            // Journaled, so that the batch can be taken back; a journal that
            // cannot be written stops the batch before the next rename, and
            // so does Stop.
            TRenameJournal journal(Job.JournalFile);
            journal.SetSource("window");
            journal.OnWaiting = waiting;
            TRunJournal run(journal, Job.RenameStop);
            run.OnOutcome = [this, &Job](int done) {
                Job.Waiting = false;
                Job.Done = done;
                if (RenameCheckpoint && RenameCheckpoint(done))
                    Job.RenameStop.Request();
            };
            Job.Planned = workflow_.RowCount();
            std::vector<TRenameOutcome> outcomes;
            std::string stopped;
            try {
                outcomes = workflow_.RenameRows(&run);
                stopped = BatchStopReason(outcomes);
            } catch (const EJournalError& e) {
                stopped = e.Message();
            }
            Job.Waiting = false;
            for (const TRenameOutcome& row : outcomes) {
                if (row.Renamed)
                    ++Job.Renamed;
                else if (row.Attempted)
                    Job.Failed.push_back(row.OldName + " -> " + row.NewName + ": " + row.Reason);
            }
            if (Job.WaitEnded.exchange(false))
                ClearStopRequest();
            if (stopped == StoppedReason || Job.RenameStop.Requested())
                Job.RenameStopped = true;
            else if (!stopped.empty() && !Job.RenameStop.Requested())   // not a wait the window ended
                Job.Heading = JournalStoppedMessage(journal.FileName(), stopped);
            ScanInto(Job);
            break;
        }
        case TJobKind::Undo: {
            TUndoResult result = UndoLastRename(Job.JournalFile, Job.Folder, waiting);
            Job.Waiting = false;
            Job.Done = static_cast<int>(result.Lines.size()) - result.Skipped();
            Job.Heading = UndoSkippedHeading(result);
            Job.Lines = UndoSkippedLines(result);
            ScanInto(Job);
            break;
        }
        case TJobKind::UndoCheck:
            Job.HasUndo = FolderHasUndo(Job.JournalFile, Job.Folder, waiting);
            break;
        }
    } catch (const EAbort&) {
        Job.ScanStopped = true;
    } catch (const std::exception& e) {
        Job.Error = e.what();
    } catch (...) {
        Job.Error = "unknown error";
    }
}

void TFormMain::Drain()
{
    if (!job_)
        return;
    TJob& job = *job_;
    bool cleared = false;
    std::vector<std::pair<std::string, std::string>> rows;
    std::vector<std::string> unreadable;
    {
        std::lock_guard<std::mutex> lock(job.Mutex);
        std::swap(cleared, job.Cleared);
        rows.swap(job.Rows);
        unreadable.swap(job.Unreadable);
    }
    if (cleared) {
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
    if (!job_ || !Busy() || job_->Kind == TJobKind::UndoCheck) {
        LabelStatus->setText(idleText_);
        return;
    }
    const TJob& job = *job_;
    QString text;
    if (job.Waiting)
        text = tr("Waiting for the rename journal, held by another quillon process");
    else if (job.Scanning && job.Listed < 0)
        text = tr("Reading the folder");
    else if (job.Scanning)
        text = tr("Reading headers: %L1 of %L2").arg(job.Examined.load()).arg(job.Listed.load());
    else if (job.Kind == TJobKind::Rename)
        text = tr("Renaming: %L1 of %L2").arg(job.Done.load()).arg(job.Planned.load());
    else if (job.Kind == TJobKind::Undo)
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
    if (worker_.joinable())
        worker_.join();
    if (globalStop_) {
        ClearStopRequest();
        globalStop_ = false;
    }
    std::shared_ptr<TJob> job = std::move(job_);
    if (!job)
        return;
    job_ = job;
    Drain();
    job_.reset();
    progress_->stop();
    if (closePending_) {
        close();
        return;
    }
    EditUndoLastRename->setEnabled(job->HasUndo);

    if (job->Kind != TJobKind::UndoCheck) {
        for (const std::string& line : job->Failed)
            problems_ << ToQt(line);
        notRenamed_ = int(job->Failed.size());
        QString text;
        if (job->Kind == TJobKind::Rename) {
            if (job->RenameStopped)
                text = tr("Stopped after renaming %L1 of %L2 files").arg(job->Renamed).arg(job->Planned.load());
            else
                text = job->Renamed == 1 ? tr("Renamed 1 file") : tr("Renamed %L1 files").arg(job->Renamed);
            if (notRenamed_ > 0)
                text += tr(", %L1 not renamed").arg(notRenamed_);
        } else if (job->Kind == TJobKind::Undo) {
            text = job->Done == 1 ? tr("Took back 1 file") : tr("Took back %L1 files").arg(job->Done.load());
        } else if (job->ScanStopped) {
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
    if (!job->Error.empty())
        ShowMessage(job->Error);
    if (!job->Heading.empty())
        ShowList(job->Heading, job->Lines);

    if (pending_) {
        pending_ = false;
        Launch(pendingKind_);
    }
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
