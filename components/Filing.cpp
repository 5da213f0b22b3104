// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/Filing.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <vector>
#include <unordered_set>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include "components/RenameWorkflow.h" // StoppedReason
#include "components/Undo.h"           // the undo's skip reasons
#include "runtime/Application.h"
#include "runtime/FileOps.h"

const char* const FilingReasonExists = "a file of that name exists";
const char* const FilingReasonTwice = "another file of the batch takes that name";
const char* const FilingReasonChanged = "changed since it was read";
const char* const FilingReasonCopyDiffers = "the copy differs from the source";

namespace {

constexpr size_t CopyChunk = 1 << 20;
constexpr int64_t CopySlice = 1 << 20;

std::atomic<int> stepsTaken{0};

// The test hook: a kill -9 right after the n-th step.
void Checkpoint(const TFilingOptions& options)
{
    if (options.StopAfterStep > 0 && ++stepsTaken == options.StopAfterStep)
        ::raise(SIGKILL);
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool Exists(const std::string& path)
{
    struct stat info{};
    return ::lstat(path.c_str(), &info) == 0;
}

bool IdentityIs(const std::string& path, const std::optional<TFileIdentity>& expected)
{
    TFileIdentity now;
    return expected && GetFileIdentity(path, now) && now == *expected;
}

std::optional<TFileIdentity> IdentityOf(const std::string& path)
{
    TFileIdentity identity;
    if (!GetFileIdentity(path, identity))
        return std::nullopt;
    return identity;
}

std::string TempNameBeside(const std::string& target)
{
    static std::mt19937_64 generator{std::random_device{}() ^ (uint64_t(::getpid()) << 32)};
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(generator()));
    return FolderOf(target) + "/.quillon-" + buffer + ".part";
}

struct TFileCloser {
    int fd;
    ~TFileCloser()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// 0 when both files hold the same bytes, 1 when they differ, or an errno value.
int CompareFiles(const std::string& a, const std::string& b)
{
    TFileCloser fa{::open(a.c_str(), O_RDONLY | O_CLOEXEC)};
    if (fa.fd < 0)
        return errno;
    TFileCloser fb{::open(b.c_str(), O_RDONLY | O_CLOEXEC)};
    if (fb.fd < 0)
        return errno;
    std::vector<char> x(CopyChunk), y(CopyChunk);
    for (;;) {
        ssize_t got = ::read(fa.fd, x.data(), x.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        size_t have = 0;
        while (have < static_cast<size_t>(got)) {
            ssize_t more = ::read(fb.fd, y.data() + have, static_cast<size_t>(got) - have);
            if (more < 0 && errno == EINTR)
                continue;
            if (more < 0)
                return errno;
            if (more == 0)
                return 1;
            have += static_cast<size_t>(more);
        }
        if (std::memcmp(x.data(), y.data(), have) != 0)
            return 1;
        if (got == 0) {
            char extra;
            return ::read(fb.fd, &extra, 1) == 0 ? 0 : 1;
        }
    }
}

// Copies up to Size bytes from In to Out through a buffer: the count, or -1.
ssize_t CopyByBuffer(int in, int out, size_t size)
{
    std::vector<char> buffer(std::min(size, CopyChunk));
    ssize_t got;
    do
        got = ::read(in, buffer.data(), buffer.size());
    while (got < 0 && errno == EINTR);
    if (got > 0 && !WriteAll(out, buffer.data(), static_cast<size_t>(got)))
        return -1;
    return got;
}

// CompareFiles through mappings of both files (no copies into buffers);
// CompareFiles itself where a file cannot be mapped.
int CompareMapped(const std::string& a, const std::string& b)
{
    TFileCloser fa{::open(a.c_str(), O_RDONLY | O_CLOEXEC)};
    TFileCloser fb{::open(b.c_str(), O_RDONLY | O_CLOEXEC)};
    if (fa.fd < 0 || fb.fd < 0)
        return errno;
    struct stat sa{}, sb{};
    if (::fstat(fa.fd, &sa) != 0 || ::fstat(fb.fd, &sb) != 0)
        return errno;
    if (sa.st_size != sb.st_size)
        return 1;
    if (sa.st_size == 0)
        return 0;
    const size_t size = static_cast<size_t>(sa.st_size);
    void* ma = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fa.fd, 0);
    void* mb = ma == MAP_FAILED ? MAP_FAILED : ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fb.fd, 0);
    if (mb == MAP_FAILED) {
        if (ma != MAP_FAILED)
            ::munmap(ma, size);
        return CompareFiles(a, b);
    }
    ::madvise(ma, size, MADV_SEQUENTIAL);
    ::madvise(mb, size, MADV_SEQUENTIAL);
    const int result = std::memcmp(ma, mb, size) == 0 ? 0 : 1;
    ::munmap(ma, size);
    ::munmap(mb, size);
    return result;
}

class TMover {
public:
    TMover(TFilingJournal& journal, std::string id, const TFilingOptions& options)
        : journal_(journal), id_(std::move(id)), options_(options)
    {
    }

    int64_t Bytes = 0;

    void Step(const std::string& oldPath, const std::string& newPath, const char* step, bool sync,
              const std::optional<TFileIdentity>& identity = std::nullopt, const std::string& temp = {},
              const std::string& reason = {})
    {
        TFilingRecord r;
        r.Type = TFilingRecordType::Step;
        r.Id = id_;
        r.Old = oldPath;
        r.New = newPath;
        r.Step = step;
        r.Temp = temp;
        r.Identity = identity;
        r.Reason = reason;
        journal_.Write(r, sync);
    }

    // The folder of a move's target and every missing folder above it, each
    // journaled. For a copy each new folder is flushed into its parent, so
    // that the copy is on disk before its source is removed; a rename within
    // one file system needs no more than the rename itself. The error of a
    // folder that could not be made (errno), else 0.
    int MakeFolders(const TFilingMove& move)
    {
        std::string existing = FolderOf(move.New);
        while (existing != "/" && !Exists(existing))
            existing = FolderOf(existing);
        if (existing == FolderOf(move.New))
            return 0;
        struct stat source{}, target{};
        const bool copy = options_.ForceCopy || ::lstat(move.Old.c_str(), &source) != 0 ||
                          ::stat(existing.c_str(), &target) != 0 || source.st_dev != target.st_dev;
        return MakeFolders(FolderOf(move.New), copy);
    }

    int MakeFolders(const std::string& folder, bool sync)
    {
        if (folder == "/" || Exists(folder))
            return 0;
        if (const int error = MakeFolders(FolderOf(folder), sync))
            return error;
        if (::mkdir(folder.c_str(), 0777) != 0)
            return errno == EEXIST ? 0 : errno;
        TFilingRecord r;
        r.Type = TFilingRecordType::Dir;
        r.Id = id_;
        r.Path = folder;
        journal_.Write(r, false);
        if (sync)
            SyncFolderOf(folder);
        return 0;
    }

    // FolderError: why the target's folder could not be made (errno), or 0.
    TFilingOutcome Move(const TFilingMove& move, int FolderError = 0)
    {
        TFilingOutcome out{move.Old, move.New, true, false, {}};
        auto fail = [&](const std::string& reason) {
            out.Reason = reason;
            Step(move.Old, move.New, "failed", false, std::nullopt, {}, reason);
            return out;
        };
        if (FolderError)
            return fail(FileErrorText(FolderError));
        struct stat source{};
        if (::lstat(move.Old.c_str(), &source) != 0)
            return fail(FileErrorText(errno));
        if (!S_ISREG(source.st_mode))
            return fail("not a regular file");
        const std::optional<TFileIdentity> identity = IdentityOf(move.Old);
        if (move.Source && identity != move.Source)
            return fail(FilingReasonChanged);
        if (Exists(move.New))
            return fail(FilingReasonExists);
        struct stat target{};
        if (::stat(FolderOf(move.New).c_str(), &target) != 0)
            return fail(FileErrorText(errno));
        if (target.st_dev == source.st_dev && !options_.ForceCopy) {
            Step(move.Old, move.New, "intent", false, identity);
            int error = 0;
            if (!RenameFile(move.Old, move.New, &error))
                return fail(error == EEXIST ? FilingReasonExists : FileErrorText(error));
            Checkpoint(options_);
            out.Moved = true;
            Step(move.Old, move.New, "moved", false, IdentityOf(move.New));
            Checkpoint(options_);
            return out;
        }
        return Copy(move, *identity, out);
    }

    // Removes the source of a copy that has its new name, unless the source
    // changed since it was copied: then the copy goes and the source stays.
    bool FinishCopy(const std::string& oldPath, const std::string& newPath, const std::optional<TFileIdentity>& source,
                    const std::optional<TFileIdentity>& copy, std::string& reason)
    {
        if (Exists(oldPath)) {
            if (!IdentityIs(oldPath, source)) {
                if (IdentityIs(newPath, copy) && ::unlink(newPath.c_str()) == 0)
                    SyncFolderOf(newPath);
                reason = FilingReasonChanged;
                Step(oldPath, newPath, "failed", false, std::nullopt, {}, reason);
                return false;
            }
            if (::unlink(oldPath.c_str()) != 0) {
                // The copy stays; the source cannot go: take the copy back.
                const int error = errno;
                if (IdentityIs(newPath, copy) && ::unlink(newPath.c_str()) == 0)
                    SyncFolderOf(newPath);
                reason = FileErrorText(error);
                Step(oldPath, newPath, "failed", false, std::nullopt, {}, reason);
                return false;
            }
            SyncFolderOf(oldPath);
        }
        Checkpoint(options_);
        Step(oldPath, newPath, "moved", false, IdentityOf(newPath));
        Checkpoint(options_);
        return true;
    }

private:
    TFilingOutcome Copy(const TFilingMove& move, const TFileIdentity& identity, TFilingOutcome& out)
    {
        auto fail = [&](const std::string& reason) {
            out.Reason = reason;
            Step(move.Old, move.New, "failed", false, std::nullopt, {}, reason);
            return out;
        };
        const std::string temp = TempNameBeside(move.New);
        Step(move.Old, move.New, "copy", true, identity, temp);
        Checkpoint(options_);

        TFileCloser in{::open(move.Old.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC)};
        if (in.fd < 0)
            return fail(FileErrorText(errno));
        struct stat source{};
        if (::fstat(in.fd, &source) != 0)
            return fail(FileErrorText(errno));
        if (source.st_ino != identity.Inode || static_cast<uint64_t>(source.st_dev) != identity.Device ||
            source.st_size != identity.Size)
            return fail(FilingReasonChanged);
        int error = 0;
        {
            TFileCloser outFile{::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600)};
            if (outFile.fd < 0)
                return fail(FileErrorText(errno));
            // The kernel copies (sendfile), in slices, so that a kill can
            // leave a partial copy behind and the progress moves; where it
            // cannot, the bytes go through a buffer.
            int64_t copied = 0;
            bool first = true;
            while (copied < source.st_size) {
                const size_t slice = static_cast<size_t>(std::min<int64_t>(CopySlice, source.st_size - copied));
                ssize_t got = ::sendfile(outFile.fd, in.fd, nullptr, slice);
                if (got < 0 && errno == EINTR)
                    continue;
                if (got < 0 && (errno == EINVAL || errno == ENOSYS) && copied == 0) {
                    got = CopyByBuffer(in.fd, outFile.fd, slice);
                }
                if (got < 0) {
                    error = errno;
                    break;
                }
                if (got == 0)
                    break; // the source got shorter: the check below tells
                copied += got;
                Bytes += got;
                if (options_.OnProgress)
                    options_.OnProgress(-1, Bytes);
                if (first) {
                    first = false;
                    Checkpoint(options_); // a partial copy
                }
            }
            if (error == 0) {
                struct timespec times[2] = {source.st_atim, source.st_mtim};
                if (::fchmod(outFile.fd, source.st_mode & 07777) != 0 || ::futimens(outFile.fd, times) != 0 ||
                    ::fsync(outFile.fd) != 0)
                    error = errno;
            }
        }
        if (error == 0 && !SyncFolderOf(temp))
            error = errno ? errno : EIO;
        if (error != 0) {
            ::unlink(temp.c_str());
            return fail(FileErrorText(error));
        }
        Checkpoint(options_);

        const int compared = CompareMapped(move.Old, temp);
        if (compared != 0) {
            ::unlink(temp.c_str());
            return fail(compared == 1 ? FilingReasonCopyDiffers : FileErrorText(compared));
        }
        const std::optional<TFileIdentity> copy = IdentityOf(temp);
        // A journal that fails once the copy exists takes the copy back: the
        // source stays the one file.
        try {
            Step(move.Old, move.New, "copied", true, copy, temp);
        } catch (const EJournalError&) {
            ::unlink(temp.c_str());
            throw;
        }
        Checkpoint(options_);

        if (!RenameFile(temp, move.New, &error)) {
            ::unlink(temp.c_str());
            return fail(error == EEXIST ? FilingReasonExists : FileErrorText(error));
        }
        // A new name that may not outlive a crash must not cost the source:
        // the copy goes and the source stays the one file.
        if (!SyncFolderOf(move.New)) {
            error = errno ? errno : EIO;
            if (IdentityIs(move.New, copy) && ::unlink(move.New.c_str()) == 0)
                SyncFolderOf(move.New);
            return fail(FileErrorText(error));
        }
        Checkpoint(options_);
        try {
            Step(move.Old, move.New, "placed", true, copy);
        } catch (const EJournalError&) {
            if (IdentityIs(move.New, copy) && ::unlink(move.New.c_str()) == 0)
                SyncFolderOf(move.New);
            throw;
        }
        Checkpoint(options_);
        out.Moved = FinishCopy(move.Old, move.New, identity, copy, out.Reason);
        return out;
    }

    TFilingJournal& journal_;
    std::string id_;
    const TFilingOptions& options_;
};

void EndBatch(TFilingJournal& journal, const std::string& id, bool recovered)
{
    TFilingRecord end;
    end.Type = TFilingRecordType::End;
    end.Id = id;
    end.Recovered = recovered;
    journal.Write(end, true);
}

// Runs the moves under one journal batch. A stop request ends it before the
// next move (Stopped set); in an undo batch each restore not reached is
// journaled "failed" with UndoReasonStopped, so that the batch taken back
// stays open for the next undo. Should those records fail, the batch is left
// unended: the next run recovers it, and the rest stays to take back.
std::vector<TFilingOutcome> RunMoves(TFilingJournal& journal, TFilingRecord head, const std::vector<TFilingMove>& moves,
                                     const TFilingOptions& options, bool* stopped = nullptr)
{
    std::vector<TFilingOutcome> outcomes;
    outcomes.reserve(moves.size());
    for (const TFilingMove& m : moves)
        outcomes.push_back({m.Old, m.New, false, false, {}});
    if (moves.empty() && head.Kind == "file")
        return outcomes;
    const std::string id = head.Id;
    journal.Write(head, true); // raises: nothing moved
    TMover mover(journal, id, options);
    auto stopFrom = [&](size_t first, const std::string& reason) {
        for (size_t k = first; k < outcomes.size(); ++k)
            outcomes[k].Reason = reason;
    };
    for (size_t i = 0; i < moves.size(); ++i) {
        if (StopRequested()) {
            stopFrom(i, StoppedReason);
            if (stopped)
                *stopped = true;
            if (head.Kind == "unfile") {
                try {
                    for (size_t k = i; k < moves.size(); ++k)
                        mover.Step(moves[k].Old, moves[k].New, "failed", false, std::nullopt, {}, UndoReasonStopped);
                } catch (const EJournalError&) {
                    return outcomes;
                }
            }
            break;
        }
        try {
            const int folderError = mover.MakeFolders(moves[i]);
            outcomes[i] = mover.Move(moves[i], folderError);
        } catch (const EJournalError& e) {
            stopFrom(i, std::string("not moved: the filing journal failed: ") + e.what());
            break;
        }
        if (options.OnProgress)
            options.OnProgress(static_cast<int64_t>(i + 1), mover.Bytes);
    }
    try {
        EndBatch(journal, id, false);
    } catch (const EJournalError&) {
        // Every move is done and recorded step by step.
    }
    return outcomes;
}

} // namespace

TFilingOptions FilingOptionsFromEnvironment()
{
    TFilingOptions options;
    if (const char* text = std::getenv("QUILLON_FILING_STOP_AFTER"))
        options.StopAfterStep = std::atoi(text);
    return options;
}

std::vector<TFilingOutcome> PredictFiling(const std::vector<TFilingMove>& Moves)
{
    std::vector<TFilingOutcome> outcomes;
    std::set<std::string> taken, freed;
    const auto exists = [&](const std::string& path) {
        return taken.count(path) != 0 || (freed.count(path) == 0 && Exists(path));
    };
    for (const TFilingMove& m : Moves) {
        TFilingOutcome out{m.Old, m.New, true, false, {}};
        if (!exists(m.Old))
            out.Reason = FileErrorText(ENOENT);
        else if (taken.count(m.New))
            out.Reason = FilingReasonTwice;
        else if (exists(m.New))
            out.Reason = FilingReasonExists;
        else {
            out.Moved = true;
            taken.erase(m.Old);
            freed.insert(m.Old);
            freed.erase(m.New);
            taken.insert(m.New);
        }
        outcomes.push_back(std::move(out));
    }
    return outcomes;
}

std::vector<TFilingOutcome> RunFiling(TFilingJournal& Journal, const std::string& Folder, const std::string& Dest,
                                      const std::vector<TFilingMove>& Moves, const TFilingOptions& Options)
{
    TPathPairs pairs;
    pairs.reserve(Moves.size());
    for (const TFilingMove& m : Moves)
        pairs.emplace_back(m.Old, m.New);
    return RunMoves(Journal, NewFilingBatchRecord("file", Folder, Dest, std::move(pairs)), Moves, Options);
}

std::vector<std::string> RecoverFilingJournal(const std::string& JournalFile, const TFilingOptions& Options)
{
    std::vector<std::string> messages;
    // The batches cut short (read from the journal's end, a batch at a time),
    // oldest first.
    std::vector<TFilingBatch> interrupted;
    {
        TFilingJournalBackwardReader reader(JournalFile);
        TFilingBatch batch;
        while (reader.Previous(batch))
            if (!batch.Ended && !FilingBatchIsLive(batch.Head))
                interrupted.push_back(std::move(batch));
    }
    std::reverse(interrupted.begin(), interrupted.end());
    TFilingJournal journal(JournalFile);
    for (const TFilingBatch& batch : interrupted) {
        TMover mover(journal, batch.Head.Id, Options);
        for (const TFilingFile& f : batch.Files) {
            if (f.Step == "copy" || (f.Step == "copied" && !IdentityIs(f.New, f.Copy))) {
                if (!f.Temp.empty() && Exists(f.Temp) && ::unlink(f.Temp.c_str()) == 0)
                    SyncFolderOf(f.Temp);
                mover.Step(f.Old, f.New, "failed", true, std::nullopt, {}, "interrupted; the copy was removed");
                messages.push_back("an interrupted move of " + f.Old + " was rolled back");
            } else if (f.Step == "copied" || f.Step == "placed") {
                std::string reason;
                if (mover.FinishCopy(f.Old, f.New, f.Source, f.Copy, reason))
                    messages.push_back("an interrupted move of " + f.Old + " to " + f.New + " was finished");
                else
                    messages.push_back("an interrupted move of " + f.Old + " was rolled back: " + reason);
            }
        }
        EndBatch(journal, batch.Head.Id, true);
    }
    return messages;
}

// ---- undo -------------------------------------------------------------------------
int TFilingUndoResult::Skipped() const
{
    return static_cast<int>(std::count_if(Lines.begin(), Lines.end(), [](const TFilingUndoLine& l) { return !l.Restored; }));
}

namespace {

bool UnderFolder(const std::string& folder, const std::string& root)
{
    return folder == root || (folder.size() > root.size() && folder.compare(0, root.size(), root) == 0 &&
                              (root == "/" || folder[root.size()] == '/'));
}

// A file the batch may have moved: its move was recorded done, or begun
// within one file system (the rename's outcome was not recorded); in a batch
// that was cut short, also a file only planned, whose records were lost
// with the process: the disk tells.
bool MayHaveMoved(const TFilingBatch& batch, const TFilingFile& file)
{
    return file.Step == "moved" || file.Step == "intent" || (file.Step.empty() && (!batch.Ended || batch.Recovered));
}

void AddUnfileBatch(TFilingUndoneMap& undone, const TFilingBatch& batch)
{
    TFilingUndone& u = undone[batch.Head.Undoes];
    u.TakenBack = u.TakenBack || FilingUndoRanToItsEnd(batch);
    for (const TFilingFile& f : batch.Files)
        if (f.Step == "moved")
            u.Restored.insert(f.New); // the old path of the batch taken back
}

// The filing batch to take back, read from the journal's end: the one
// Options name, or the newest one not taken back that may have moved a file.
struct TChosenFiling {
    bool Found = false;
    TFilingBatch Batch;
    TFilingUndone Undone; // what earlier undos of it did
    std::vector<std::string> Messages;
};

TChosenFiling ChooseFilingBatch(const std::string& journalFile, const TFilingUndoOptions& options)
{
    TChosenFiling chosen;
    const std::string folder = options.Folder.empty() ? std::string() : NormalizeJournalFolder(options.Folder);
    TFilingJournalBackwardReader reader(journalFile);
    TFilingUndoneMap undone;
    TFilingBatch b;
    while (!chosen.Found && reader.Previous(b)) {
        const bool named = !options.BatchId.empty() && b.Head.Id == options.BatchId;
        if (b.Head.Kind != "file") {
            if (named)
                throw Exception("batch " + b.Head.Id + " is an undo; an undo is not taken back");
            AddUnfileBatch(undone, b);
            continue;
        }
        auto found = undone.find(b.Head.Id);
        const bool takenBack =
            found != undone.end() && found->second.TakenBack &&
            std::none_of(b.Files.begin(), b.Files.end(), [&](const TFilingFile& f) {
                return MayHaveMoved(b, f) && !found->second.Restored.count(f.Old) && FilingFileLeftInPlace(f);
            });
        if (named) {
            if (takenBack)
                throw Exception("batch " + b.Head.Id + " has already been taken back");
            chosen.Found = true;
        } else if (options.BatchId.empty() && !takenBack &&
                   (folder.empty() || (options.Recursive ? UnderFolder(b.Head.Folder, folder) : b.Head.Folder == folder)) &&
                   std::any_of(b.Files.begin(), b.Files.end(), [&](const TFilingFile& f) { return MayHaveMoved(b, f); })) {
            chosen.Found = true;
        }
        if (chosen.Found) {
            if (found != undone.end())
                chosen.Undone = std::move(found->second);
            chosen.Batch = std::move(b);
        } else if (found != undone.end()) {
            undone.erase(found); // no undo of it comes any more
        }
    }
    chosen.Messages = FilingDamagedLineMessages(journalFile, reader.DamagedLines());
    return chosen;
}

} // namespace

std::optional<TFilingCandidate> FindFilingCandidate(const std::string& JournalFile, const TFilingUndoOptions& Options)
{
    TChosenFiling chosen = ChooseFilingBatch(JournalFile, Options);
    if (!chosen.Found)
        return std::nullopt;
    return TFilingCandidate{chosen.Batch.Head.Id, chosen.Batch.Head.UnixTime};
}

TFilingUndoResult UndoFiling(const std::string& JournalFile, const TFilingUndoOptions& Options,
                             const TFilingOptions& MoveOptions)
{
    TFilingUndoResult result;
    if (!Options.DryRun)
        result.Messages = RecoverFilingJournal(JournalFile, MoveOptions);
    TChosenFiling chosen = ChooseFilingBatch(JournalFile, Options);
    for (std::string& message : chosen.Messages)
        result.Messages.push_back(std::move(message));
    if (!chosen.Found)
        return result;
    const TFilingBatch* batch = &chosen.Batch;
    result.Found = true;
    result.BatchId = batch->Head.Id;
    result.Folder = batch->Head.Folder;
    result.Dest = batch->Head.Dest;
    // Files an earlier, interrupted undo already brought back.
    const std::set<std::string>& restoredEarlier = chosen.Undone.Restored;

    std::vector<TFilingMove> restores;
    for (auto it = batch->Files.rbegin(); it != batch->Files.rend(); ++it) {
        const TFilingFile& f = *it;
        if (!MayHaveMoved(*batch, f) || restoredEarlier.count(f.Old))
            continue;
        const std::optional<TFileIdentity>& expected = f.Step == "moved" ? f.Moved : f.Source;
        TFilingUndoLine line{false, f.New, f.Old, {}};
        if (!Exists(f.New)) {
            if (f.Step != "moved" && Exists(f.Old))
                continue; // the move never happened
            if (f.Step.empty())
                continue; // only planned: nothing to tell
            line.Reason = UndoReasonMissing;
        } else if (expected && !IdentityIs(f.New, expected)) {
            line.Reason = UndoReasonChanged;
        } else if (Exists(f.Old)) {
            line.Reason = UndoReasonTaken;
        } else {
            line.Restored = true;
            restores.push_back({f.New, f.Old, IdentityOf(f.New)});
        }
        result.Lines.push_back(std::move(line));
    }
    if (Options.DryRun)
        return result;

    TFilingJournal journal(JournalFile);
    TPathPairs pairs;
    for (const TFilingMove& m : restores)
        pairs.emplace_back(m.Old, m.New);
    TFilingRecord head = NewFilingBatchRecord("unfile", batch->Head.Folder, batch->Head.Dest, std::move(pairs));
    head.Undoes = batch->Head.Id;
    result.UndoBatchId = head.Id;
    std::vector<TFilingOutcome> outcomes = RunMoves(journal, head, restores, MoveOptions, &result.Stopped);
    // What trimming met, each told once (a damaged line is told above too).
    for (std::string& warning : journal.TakeWarnings())
        if (std::find(result.Messages.begin(), result.Messages.end(), warning) == result.Messages.end())
            result.Messages.push_back(std::move(warning));
    // A stop leaves the files it did not reach untold, as the rename undo
    // does: they stay for the next undo.
    std::vector<TFilingUndoLine> lines;
    size_t k = 0;
    for (TFilingUndoLine& line : result.Lines) {
        if (line.Restored) {
            const TFilingOutcome& o = outcomes[k++];
            if (result.Stopped && !o.Attempted)
                continue;
            line.Restored = o.Moved;
            line.Reason = o.Reason;
        }
        lines.push_back(std::move(line));
    }
    result.Lines = std::move(lines);
    // The folders the batch made, deepest first, where they are empty now.
    std::vector<std::string> dirs = batch->Dirs;
    std::sort(dirs.begin(), dirs.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& dir : dirs) {
        if (::rmdir(dir.c_str()) == 0)
            SyncFolderOf(dir);
        else if (errno != ENOENT && errno != ENOTEMPTY && errno != EEXIST)
            result.Messages.push_back("folder " + dir + " left: " + FileErrorText(errno));
    }
    return result;
}

// ---- history ----------------------------------------------------------------------
TFilingHistoryReader::TFilingHistoryReader(const std::string& JournalFile) : file_(JournalFile), reader_(JournalFile) {}

bool TFilingHistoryReader::Previous(THistoryEntry& Entry)
{
    TFilingBatch batch;
    while (reader_.Previous(batch)) {
        if (batch.Head.Kind != "file") {
            AddUnfileBatch(undone_, batch);
            continue;
        }
        TFilingUndone undone;
        if (auto found = undone_.find(batch.Head.Id); found != undone_.end()) {
            undone = std::move(found->second);
            undone_.erase(found);
        }
        Entry = THistoryEntry{};
        Entry.Id = batch.Head.Id;
        Entry.Time = batch.Head.Time;
        Entry.UnixTime = batch.Head.UnixTime;
        Entry.Folder = batch.Head.Folder;
        Entry.Dest = batch.Head.Dest;
        Entry.Filing = true;
        for (const TFilingFile& f : batch.Files) {
            const bool restored = undone.Restored.count(f.Old) != 0;
            Entry.Restored += restored ? 1 : 0;
            Entry.Renamed += restored || f.Step == "moved" ? 1 : 0;
            Entry.Failed += f.Step == "failed" ? 1 : 0;
        }
        Entry.Complete = batch.Ended && !batch.Recovered;
        Entry.TakenBack = undone.TakenBack;
        return true;
    }
    return false;
}

std::vector<std::string> TFilingHistoryReader::Warnings()
{
    return FilingDamagedLineMessages(file_, reader_.DamagedLines());
}
