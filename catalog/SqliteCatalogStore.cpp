// SPDX-License-Identifier: GPL-3.0-or-later
// The catalogue's SQLite file: schema, upgrades and every statement.
#include "catalog/SqliteCatalogStore.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>
#include <utility>

#include "runtime/Application.h"
#include "runtime/FileOps.h"

const char* const CatalogWaitingMessage = "waiting for the catalogue, held by another quillon process";

namespace {

// "QCAT": tells our catalogues from other SQLite files.
constexpr int CatalogApplicationId = 0x51434154;

// The schema of each version, as steps from the one before. A new version
// appends its step; an older file runs the steps it lacks, in one transaction.
const char* const SchemaSteps[] = {
    // 1: the files and their look-ups.
    "CREATE TABLE files ("
    " id INTEGER PRIMARY KEY,"
    " path TEXT NOT NULL UNIQUE,"
    " size INTEGER NOT NULL,"
    " mtime_ns INTEGER NOT NULL,"
    " device INTEGER NOT NULL,"
    " inode INTEGER NOT NULL,"
    " format TEXT NOT NULL,"
    " satellite_code INTEGER NOT NULL DEFAULT 0,"
    " satellite_name TEXT NOT NULL DEFAULT '',"
    " image_format TEXT NOT NULL DEFAULT '',"
    " acquired INTEGER,"
    " acquired_iso TEXT,"
    " standard_name TEXT NOT NULL DEFAULT '',"
    " is_standard INTEGER NOT NULL DEFAULT 0,"
    " error TEXT);"
    "CREATE INDEX files_identity ON files(device, inode);"
    "CREATE INDEX files_satellite_time ON files(satellite_code, acquired);"
    "CREATE INDEX files_time ON files(acquired);",
    // 2: content digests for the duplicate search.
    "ALTER TABLE files ADD COLUMN content_hash TEXT;"
    "CREATE INDEX files_size ON files(size);"
    "CREATE INDEX files_standard_name ON files(standard_name);",
};
static_assert(std::size(SchemaSteps) == CatalogSchemaVersion);

#define ENTRY_COLUMNS                                                                                           \
    "id, path, size, mtime_ns, device, inode, format, satellite_code, satellite_name, image_format, acquired, " \
    "acquired_iso, standard_name, is_standard, error, content_hash"

// Identified entries in the time window ?3..?4 (either NULL: open).
#define TIME_WINDOW " AND (?3 IS NULL OR acquired >= ?3) AND (?4 IS NULL OR acquired < ?4)"

enum Statement {
    sBegin, sCommit, sRollback, sByPath, sRange, sHasDevice, sByInode, sInsert, sPut, sSetPath, sRemove, sSetHash, sTimes, sSameSize, sSameName, sPerPeriod, sPerMonth,
    sSelect0,  // sSelect0 + filter mask: the find variants
    sInsertRows = sSelect0 + 64   // InsertRows entries at once
};

// Entries one statement inserts in a batch.
constexpr size_t InsertRows = 32;
constexpr int EntryValues = 14;

const char* const StatementSql[] = {
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "SELECT " ENTRY_COLUMNS " FROM files WHERE path = ?1",
    "SELECT id, path, size, mtime_ns, device, inode, error IS NOT NULL FROM files"
    " WHERE path > ?1 AND path < ?2 ORDER BY path LIMIT ?3",
    "SELECT 1 FROM files WHERE device = ?1 LIMIT 1",
    "SELECT " ENTRY_COLUMNS " FROM files WHERE device = ?1 AND inode = ?2 ORDER BY path",
    "INSERT INTO files (path, size, mtime_ns, device, inode, format, satellite_code, satellite_name, image_format,"
    " acquired, acquired_iso, standard_name, is_standard, error)"
    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)",
    "INSERT INTO files (path, size, mtime_ns, device, inode, format, satellite_code, satellite_name, image_format,"
    " acquired, acquired_iso, standard_name, is_standard, error, content_hash)"
    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, NULL)"
    " ON CONFLICT (path) DO UPDATE SET size = excluded.size, mtime_ns = excluded.mtime_ns,"
    " device = excluded.device, inode = excluded.inode, format = excluded.format,"
    " satellite_code = excluded.satellite_code, satellite_name = excluded.satellite_name,"
    " image_format = excluded.image_format, acquired = excluded.acquired, acquired_iso = excluded.acquired_iso,"
    " standard_name = excluded.standard_name, is_standard = excluded.is_standard, error = excluded.error,"
    " content_hash = NULL"
    " RETURNING id",
    "UPDATE files SET path = ?2 WHERE id = ?1",
    "DELETE FROM files WHERE id = ?1",
    "UPDATE files SET content_hash = ?2 WHERE id = ?1",
    "SELECT DISTINCT acquired FROM files WHERE error IS NULL AND satellite_code = ?1 AND acquired IS NOT NULL"
    TIME_WINDOW " ORDER BY acquired",
    "SELECT " ENTRY_COLUMNS " FROM files WHERE size IN"
    " (SELECT size FROM files GROUP BY size HAVING COUNT(*) > 1) ORDER BY size, path",
    "SELECT " ENTRY_COLUMNS " FROM files WHERE error IS NULL AND standard_name IN"
    " (SELECT standard_name FROM files WHERE error IS NULL AND standard_name <> ''"
    " GROUP BY standard_name HAVING COUNT(*) > 1) ORDER BY standard_name, path",
    "SELECT satellite_code, MAX(satellite_name), acquired / ?1 AS period, COUNT(*), COUNT(DISTINCT acquired / ?2)"
    " FROM files WHERE error IS NULL AND acquired IS NOT NULL" TIME_WINDOW
    " GROUP BY satellite_code, period ORDER BY satellite_code, period",
    "SELECT satellite_code, MAX(satellite_name), strftime('%Y-%m', acquired, 'unixepoch') AS month, COUNT(*)"
    " FROM files WHERE error IS NULL AND acquired IS NOT NULL" TIME_WINDOW
    " GROUP BY satellite_code, month ORDER BY satellite_code, month",
};
static_assert(std::size(StatementSql) == sSelect0);

// The find statement for a set of conditions: fixed text pieces, values bound.
enum FilterBit { fSatellite = 1, fFormat = 2, fFrom = 4, fTo = 8, fRoot = 16, fNonStandard = 32, fAll = 64 };

std::string SelectSql(int mask)
{
    std::string sql = "SELECT " ENTRY_COLUMNS " FROM files WHERE error IS NULL";
    if (mask & fSatellite)
        sql += " AND satellite_code = ?1";
    if (mask & fFormat)
        sql += " AND image_format = ?2";
    if (mask & fFrom)
        sql += " AND acquired >= ?3";
    if (mask & fTo)
        sql += " AND acquired < ?4";
    if (mask & fRoot)
        sql += " AND path >= ?5 AND path < ?6";
    if (mask & fNonStandard)
        sql += " AND is_standard = 0";
    sql += " ORDER BY acquired, path";
    return sql;
}

std::string InsertRowsSql()
{
    std::string sql = "INSERT INTO files (path, size, mtime_ns, device, inode, format, satellite_code, satellite_name,"
                      " image_format, acquired, acquired_iso, standard_name, is_standard, error) VALUES ";
    for (size_t row = 0; row < InsertRows; ++row) {
        sql += row ? ",(" : "(";
        for (int value = 1; value <= EntryValues; ++value)
            sql += (value > 1 ? ",?" : "?") + std::to_string(row * EntryValues + static_cast<size_t>(value));
        sql += ")";
    }
    return sql;
}

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The error number of the last system call SQLite logged as failing on this
// thread, 0 when none since it was taken. SQLite's log lines for them read
// "os_unix.c:LINE: (ERRNO) CALL(PATH) - ...": the number is the call's own,
// where sqlite3_system_errno gives errno as it is later (often 0 after a
// failing sync or unlink).
thread_local int loggedSystemError = 0;

void LogSqliteMessage(void*, int Code, const char* Message)
{
    const int primary = Code & 0xFF;
    if ((primary == SQLITE_IOERR || primary == SQLITE_CANTOPEN) && Message)
        if (const char* at = std::strstr(Message, ": ("))
            loggedSystemError = std::atoi(at + 3);
}

// The error number of the first open of a catalogue file that failed on this
// thread since it was taken. When an open for writing fails, SQLite tries the
// file again read-only and logs only that second failure (for a file not there
// yet, "No such file or directory", whatever the first one was), so the open
// call itself is watched.
thread_local int firstOpenError = 0;
using TSystemOpen = int (*)(const char*, int, int);
TSystemOpen systemOpen = nullptr;

int OpenNotingFailure(const char* Path, int Flags, int Mode)
{
    const int fd = systemOpen(Path, Flags, Mode);
    if (fd < 0 && firstOpenError == 0)
        firstOpenError = errno;
    return fd;
}

// The error number of the last read of a catalogue file that failed on this
// thread: SQLite turns a read failing with EIO into "database disk image is
// malformed", which would wrongly call a whole catalogue damaged.
thread_local int lastReadError = 0;
using TSystemPread = ssize_t (*)(int, void*, size_t, off_t);
TSystemPread systemPread = nullptr, systemPread64 = nullptr;

ssize_t PreadNotingFailure(int Fd, void* Buffer, size_t Count, off_t Offset)
{
    const ssize_t got = systemPread(Fd, Buffer, Count, Offset);
    if (got < 0)
        lastReadError = errno;
    return got;
}

ssize_t Pread64NotingFailure(int Fd, void* Buffer, size_t Count, off_t Offset)
{
    const ssize_t got = systemPread64(Fd, Buffer, Count, Offset);
    if (got < 0)
        lastReadError = errno;
    return got;
}

// The error number of the last write of a catalogue file that failed on this
// thread: SQLite logs no failing write, and says "disk I/O error" or
// "database or disk is full" whatever the reason (a quota, a failing disk).
thread_local int lastWriteError = 0;
using TSystemPwrite = ssize_t (*)(int, const void*, size_t, off_t);
using TSystemWrite = ssize_t (*)(int, const void*, size_t);
TSystemPwrite systemPwrite = nullptr, systemPwrite64 = nullptr;
TSystemWrite systemWrite = nullptr;

ssize_t NotingWriteFailure(ssize_t Wrote)
{
    if (Wrote < 0 && errno != EINTR) // SQLite writes again after EINTR
        lastWriteError = errno;
    return Wrote;
}

ssize_t PwriteNotingFailure(int Fd, const void* Data, size_t Count, off_t Offset)
{
    return NotingWriteFailure(systemPwrite(Fd, Data, Count, Offset));
}

ssize_t Pwrite64NotingFailure(int Fd, const void* Data, size_t Count, off_t Offset)
{
    return NotingWriteFailure(systemPwrite64(Fd, Data, Count, Offset));
}

ssize_t WriteNotingFailure(int Fd, const void* Data, size_t Count)
{
    return NotingWriteFailure(systemWrite(Fd, Data, Count));
}

// Puts Wrapper in place of SQLite's system call Name, keeping the call it
// replaces in Original for the wrapper to make.
template <typename TCall>
void WatchSystemCall(sqlite3_vfs* Vfs, const char* Name, TCall& Original, TCall Wrapper)
{
    Original = reinterpret_cast<TCall>(Vfs->xGetSystemCall(Vfs, Name));
    if (Original)
        Vfs->xSetSystemCall(Vfs, Name, reinterpret_cast<sqlite3_syscall_ptr>(Wrapper));
}

// Before SQLite's first use (sqlite3_config refuses later: then the log
// stays unset and only sqlite3_system_errno tells).
void ListenToSqliteLog()
{
    static std::once_flag once;
    std::call_once(once, [] {
        sqlite3_config(SQLITE_CONFIG_LOG, &LogSqliteMessage, nullptr);
        sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
        if (vfs && vfs->iVersion >= 3 && vfs->xGetSystemCall && vfs->xSetSystemCall) {
            WatchSystemCall(vfs, "open", systemOpen, &OpenNotingFailure);
            WatchSystemCall(vfs, "pread", systemPread, &PreadNotingFailure);
            WatchSystemCall(vfs, "pread64", systemPread64, &Pread64NotingFailure);
            WatchSystemCall(vfs, "pwrite", systemPwrite, &PwriteNotingFailure);
            WatchSystemCall(vfs, "pwrite64", systemPwrite64, &Pwrite64NotingFailure);
            WatchSystemCall(vfs, "write", systemWrite, &WriteNotingFailure);
        }
    });
}

// SQLite's message, and for a failing system call (a read, a write, a sync,
// an open, a full disk) the system's reason, which SQLite's message leaves
// out ("disk I/O error").
std::string ErrorDetail(sqlite3* Db, int Code)
{
    std::string detail = sqlite3_errmsg(Db);
    const int primary = Code & 0xFF;
    int error = std::exchange(loggedSystemError, 0);
    const int openError = std::exchange(firstOpenError, 0);
    const int writeError = std::exchange(lastWriteError, 0);
    if (error <= 0 && (primary == SQLITE_IOERR || primary == SQLITE_FULL))
        error = writeError;
    if (error <= 0)
        error = sqlite3_system_errno(Db);
    // A file that could not be opened: the first attempt's reason. SQLite
    // says "attempt to write a readonly database" when only its read-only
    // retry of the open succeeded.
    if ((primary == SQLITE_CANTOPEN || primary == SQLITE_READONLY) && openError > 0)
        error = openError;
    if ((primary == SQLITE_IOERR || primary == SQLITE_CANTOPEN || primary == SQLITE_FULL ||
         (primary == SQLITE_READONLY && openError > 0)) &&
        error > 0)
        detail += " (" + FileErrorText(error) + ")";
    return detail;
}

} // namespace

struct TSqliteCatalogStore::TStatement {
    sqlite3_stmt* Handle = nullptr;
    ~TStatement() { sqlite3_finalize(Handle); }
};

namespace {

// Binds and steps one statement; resets it when done.
class TRun {
public:
    TRun(sqlite3_stmt* s) : s_(s) {}
    ~TRun()
    {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }
    void Int(int i, int64_t v) { sqlite3_bind_int64(s_, i, v); }
    void Int(int i, std::optional<int64_t> v)
    {
        if (v)
            sqlite3_bind_int64(s_, i, *v);
        else
            sqlite3_bind_null(s_, i);
    }
    // The text is not copied: it must outlive the run, whose end clears it.
    void Text(int i, const std::string& v) { sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_STATIC); }
    void TextOrNull(int i, const std::string& v)
    {
        if (v.empty())
            sqlite3_bind_null(s_, i);
        else
            Text(i, v);
    }
    int Step() { return sqlite3_step(s_); }
    sqlite3_stmt* Handle() const { return s_; }

private:
    sqlite3_stmt* s_;
};

std::string ColumnText(sqlite3_stmt* s, int i)
{
    const unsigned char* text = sqlite3_column_text(s, i);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_column_bytes(s, i)))
                : std::string();
}

TCatalogEntry ReadEntry(sqlite3_stmt* s)
{
    TCatalogEntry e;
    e.Id = sqlite3_column_int64(s, 0);
    e.Path = ColumnText(s, 1);
    e.Identity.Size = sqlite3_column_int64(s, 2);
    e.Identity.ModifiedNs = sqlite3_column_int64(s, 3);
    e.Identity.Device = static_cast<uint64_t>(sqlite3_column_int64(s, 4));
    e.Identity.Inode = static_cast<uint64_t>(sqlite3_column_int64(s, 5));
    e.Format = ColumnText(s, 6);
    e.SatelliteCode = sqlite3_column_int(s, 7);
    e.SatelliteName = ColumnText(s, 8);
    e.ImageFormat = ColumnText(s, 9);
    if (sqlite3_column_type(s, 10) != SQLITE_NULL)
        e.Acquired = sqlite3_column_int64(s, 10);
    e.AcquiredIso = ColumnText(s, 11);
    e.StandardName = ColumnText(s, 12);
    e.IsStandard = sqlite3_column_int(s, 13) != 0;
    e.Error = ColumnText(s, 14);
    e.ContentHash = ColumnText(s, 15);
    return e;
}

} // namespace

TSqliteCatalogStore::TSqliteCatalogStore(const std::string& FileName, const TCatalogOpenOptions& Options)
    : fileName_(FileName), options_(Options)
{
    struct stat info {};
    const bool exists = ::stat(FileName.c_str(), &info) == 0;
    if (!exists && !Options.Create)
        throw ECatalogError("no catalogue at " + FileName + " (make one with 'quillon-cli catalog update')");
    if (exists && !S_ISREG(info.st_mode))
        throw ECatalogError(FileName + ": not a Quillon catalogue (not a regular file); left as it is");
    ListenToSqliteLog();
    loggedSystemError = 0;
    firstOpenError = 0;
    lastReadError = 0;
    lastWriteError = 0;
    // One thread at a time uses a store: no locking inside SQLite.
    const int flags = SQLITE_OPEN_READWRITE | (Options.Create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOFOLLOW |
                      SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(FileName.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        const std::string message = db_ ? ErrorDetail(db_, rc) : sqlite3_errstr(rc);
        sqlite3_close(db_);
        db_ = nullptr;
        throw ECatalogError("cannot open the catalogue " + FileName + ": " + message);
    }
    sqlite3_extended_result_codes(db_, 0);
    sqlite3_busy_handler(db_, &TSqliteCatalogStore::BusyHandler, this);
    try {
        CheckIdentityAndUpgrade(!exists || info.st_size == 0);
        Exec("PRAGMA journal_mode = WAL", "setting the journal mode");
        Exec("PRAGMA synchronous = NORMAL", "setting the sync mode");
        // A page cache of fixed size (16 MiB), whatever the catalogue's size.
        Exec("PRAGMA cache_size = -16384", "setting the cache size");
        Exec("PRAGMA temp_store = MEMORY", "setting the scratch storage");
    } catch (...) {
        statements_.clear();
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
}

TSqliteCatalogStore::~TSqliteCatalogStore()
{
    if (inTransaction_)
        Rollback();
    statements_.clear();
    sqlite3_close(db_);
}

int TSqliteCatalogStore::BusyHandler(void* Self, int Count)
{
    auto* self = static_cast<TSqliteCatalogStore*>(Self);
    if (Count == 0) {
        self->busyStart_ = std::chrono::steady_clock::now();
        self->busyNoticed_ = false;
    }
    const double waited = SecondsSince(self->busyStart_);
    if (StopRequested() || (self->options_.BusyTimeoutSeconds >= 0 && waited >= self->options_.BusyTimeoutSeconds))
        return 0;
    if (waited >= 1 && !self->busyNoticed_) {
        self->busyNoticed_ = true;
        if (self->options_.OnWaiting)
            self->options_.OnWaiting(CatalogWaitingMessage);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(Count < 10 ? 2 : 20));
    return 1;
}

void TSqliteCatalogStore::Fail(const std::string& What, int Code)
{
    // SQLite reports a read failing with EIO as a damaged file: the file may
    // well be whole, so the system's reason is given, not the advice to
    // move the catalogue away.
    const int systemError = std::exchange(lastReadError, 0);
    if ((Code & 0xFF) == SQLITE_CORRUPT && (systemError == EIO || systemError == ENXIO))
        throw ECatalogError("cannot read the catalogue " + fileName_ + " (" + What + "): " +
                            FileErrorText(systemError));
    const std::string detail = db_ ? ErrorDetail(db_, Code) : sqlite3_errstr(Code);
    switch (Code & 0xFF) {
    case SQLITE_NOTADB:
        throw ECatalogError(fileName_ + ": not a Quillon catalogue (" + detail + "); left as it is");
    case SQLITE_CORRUPT:
        throw ECatalogError(fileName_ + ": the catalogue is damaged (" + detail + ", " + What +
                            "); left as it is: move it away to start a new one");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        if (StopRequested())
            throw EAbort("stopped while waiting for the catalogue " + fileName_);
        throw ECatalogError("the catalogue " + fileName_ + " is held by another quillon process; gave up waiting (" +
                            What + ")");
    default:
        throw ECatalogError("the catalogue " + fileName_ + ": " + What + ": " + detail);
    }
}

void TSqliteCatalogStore::Check(int Code, const std::string& What)
{
    if (Code != SQLITE_OK && Code != SQLITE_DONE && Code != SQLITE_ROW)
        Fail(What, Code);
}

void TSqliteCatalogStore::Exec(const char* Sql, const char* What)
{
    Check(sqlite3_exec(db_, Sql, nullptr, nullptr, nullptr), What);
}

TSqliteCatalogStore::TStatement& TSqliteCatalogStore::Prepared(int Which)
{
    if (statements_.size() <= static_cast<size_t>(Which))
        statements_.resize(static_cast<size_t>(Which) + 1);
    std::unique_ptr<TStatement>& slot = statements_[static_cast<size_t>(Which)];
    if (!slot) {
        auto statement = std::make_unique<TStatement>();
        const std::string sql = Which == sInsertRows ? InsertRowsSql()
                                : Which >= sSelect0   ? SelectSql(Which - sSelect0)
                                                      : StatementSql[Which];
        Check(sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &statement->Handle, nullptr),
              "preparing a statement");
        slot = std::move(statement);
    }
    return *slot;
}

namespace {

int64_t PragmaInt(sqlite3* db, const char* sql, int& rc)
{
    sqlite3_stmt* s = nullptr;
    rc = sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    int64_t value = 0;
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) {
            value = sqlite3_column_int64(s, 0);
            rc = SQLITE_OK;
        }
    }
    sqlite3_finalize(s);
    return value;
}

} // namespace

void TSqliteCatalogStore::CheckIdentityAndUpgrade(bool Empty)
{
    Exec(options_.Create ? "BEGIN IMMEDIATE" : "BEGIN", "reading the catalogue");
    try {
        int rc = SQLITE_OK;
        const int64_t appId = PragmaInt(db_, "PRAGMA application_id", rc);
        Check(rc, "reading the catalogue's header");
        const int64_t version = PragmaInt(db_, "PRAGMA user_version", rc);
        Check(rc, "reading the catalogue's header");
        const int64_t objects = PragmaInt(db_, "SELECT COUNT(*) FROM sqlite_master", rc);
        Check(rc, "reading the catalogue's schema");
        // No page at all: a file of no bytes, or one its rollback journal
        // took back to none (the first update failed before it was made).
        const int64_t pages = PragmaInt(db_, "PRAGMA page_count", rc);
        Check(rc, "reading the catalogue's header");
        Empty = Empty || pages == 0;
        int64_t from = version;
        if (appId == 0 && version == 0 && objects == 0 && (Empty || options_.Create)) {
            if (!options_.Create)
                throw ECatalogError(fileName_ + ": an empty catalogue (make one with 'quillon-cli catalog update')");
            from = 0;
        } else if (appId != CatalogApplicationId) {
            throw ECatalogError(fileName_ + ": not a Quillon catalogue (an SQLite file of another program); left as it is");
        } else if (version > CatalogSchemaVersion) {
            throw ECatalogError(fileName_ + ": a catalogue of a newer Quillon (schema " + std::to_string(version) +
                                ", this program knows up to " + std::to_string(CatalogSchemaVersion) +
                                "); left as it is");
        } else if (version < 1) {
            throw ECatalogError(fileName_ + ": not a Quillon catalogue (no schema version); left as it is");
        }
        for (int64_t v = from; v < CatalogSchemaVersion; ++v)
            Exec(SchemaSteps[v], "upgrading the catalogue's schema");
        if (from < CatalogSchemaVersion) {
            Exec(("PRAGMA application_id = " + std::to_string(CatalogApplicationId)).c_str(), "marking the catalogue");
            Exec(("PRAGMA user_version = " + std::to_string(CatalogSchemaVersion)).c_str(), "marking the catalogue");
        }
        Exec("COMMIT", "writing the catalogue's schema");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void TSqliteCatalogStore::CreateOldSchema(const std::string& FileName, int Version)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(FileName.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK) {
        for (int v = 0; v < Version && v < CatalogSchemaVersion; ++v)
            sqlite3_exec(db, SchemaSteps[v], nullptr, nullptr, nullptr);
        sqlite3_exec(db, ("PRAGMA application_id = " + std::to_string(CatalogApplicationId)).c_str(), nullptr, nullptr,
                     nullptr);
        sqlite3_exec(db, ("PRAGMA user_version = " + std::to_string(Version)).c_str(), nullptr, nullptr, nullptr);
    }
    sqlite3_close(db);
}

int TSqliteCatalogStore::SchemaVersion()
{
    int rc = SQLITE_OK;
    const int64_t version = PragmaInt(db_, "PRAGMA user_version", rc);
    Check(rc, "reading the catalogue's header");
    return static_cast<int>(version);
}

void TSqliteCatalogStore::Begin()
{
    TRun run(Prepared(sBegin).Handle);
    Check(run.Step(), "starting a transaction");
    inTransaction_ = true;
}

void TSqliteCatalogStore::Commit()
{
    TRun run(Prepared(sCommit).Handle);
    Check(run.Step(), "writing the catalogue");
    inTransaction_ = false;
}

void TSqliteCatalogStore::Rollback() noexcept
{
    if (!inTransaction_)
        return;
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    inTransaction_ = false;
}

bool TSqliteCatalogStore::FindByPath(const std::string& Path, TCatalogEntry& Entry)
{
    TRun run(Prepared(sByPath).Handle);
    run.Text(1, Path);
    const int rc = run.Step();
    Check(rc, "looking up a file");
    if (rc != SQLITE_ROW)
        return false;
    Entry = ReadEntry(run.Handle());
    return true;
}

void TSqliteCatalogStore::IdentitiesInRange(const std::string& After, const std::string& Before, int Limit,
                                            std::vector<TCatalogEntry>& Out)
{
    Out.clear();
    TRun run(Prepared(sRange).Handle);
    run.Text(1, After);
    run.Text(2, Before);
    run.Int(3, int64_t{Limit});
    int rc;
    while ((rc = run.Step()) == SQLITE_ROW) {
        sqlite3_stmt* s = run.Handle();
        TCatalogEntry& e = Out.emplace_back();
        e.Id = sqlite3_column_int64(s, 0);
        e.Path = ColumnText(s, 1);
        e.Identity.Size = sqlite3_column_int64(s, 2);
        e.Identity.ModifiedNs = sqlite3_column_int64(s, 3);
        e.Identity.Device = static_cast<uint64_t>(sqlite3_column_int64(s, 4));
        e.Identity.Inode = static_cast<uint64_t>(sqlite3_column_int64(s, 5));
        if (sqlite3_column_int(s, 6))
            e.Error = "unreadable";
    }
    Check(rc, "looking up files");
}

bool TSqliteCatalogStore::HasDevice(uint64_t Device)
{
    TRun run(Prepared(sHasDevice).Handle);
    run.Int(1, static_cast<int64_t>(Device));
    const int rc = run.Step();
    Check(rc, "looking up files");
    return rc == SQLITE_ROW;
}

std::vector<TCatalogEntry> TSqliteCatalogStore::FindByInode(uint64_t Device, uint64_t Inode)
{
    TRun run(Prepared(sByInode).Handle);
    run.Int(1, static_cast<int64_t>(Device));
    run.Int(2, static_cast<int64_t>(Inode));
    std::vector<TCatalogEntry> found;
    int rc;
    while ((rc = run.Step()) == SQLITE_ROW)
        found.push_back(ReadEntry(run.Handle()));
    Check(rc, "looking up a file");
    return found;
}

namespace {

// The values of an entry's columns as ?1..?14 of the insert statements, or
// the next fourteen after First.
void BindEntry(TRun& run, const TCatalogEntry& e, int First = 0)
{
    run.Text(First + 1, e.Path);
    run.Int(First + 2, e.Identity.Size);
    run.Int(First + 3, e.Identity.ModifiedNs);
    run.Int(First + 4, static_cast<int64_t>(e.Identity.Device));
    run.Int(First + 5, static_cast<int64_t>(e.Identity.Inode));
    run.Text(First + 6, e.Format);
    run.Int(First + 7, e.SatelliteCode);
    run.Text(First + 8, e.SatelliteName);
    run.Text(First + 9, e.ImageFormat);
    run.Int(First + 10, e.Acquired);
    run.TextOrNull(First + 11, e.AcquiredIso);
    run.Text(First + 12, e.StandardName);
    run.Int(First + 13, e.IsStandard ? 1 : 0);
    run.TextOrNull(First + 14, e.Error);
}

} // namespace

int64_t TSqliteCatalogStore::Insert(const TCatalogEntry& e)
{
    TRun run(Prepared(sInsert).Handle);
    BindEntry(run, e);
    Check(run.Step(), "recording a file");
    return sqlite3_last_insert_rowid(db_);
}

void TSqliteCatalogStore::InsertMany(const std::vector<TCatalogEntry>& Entries)
{
    size_t i = 0;
    for (; i + InsertRows <= Entries.size(); i += InsertRows) {
        TRun run(Prepared(sInsertRows).Handle);
        for (size_t row = 0; row < InsertRows; ++row)
            BindEntry(run, Entries[i + row], static_cast<int>(row) * EntryValues);
        Check(run.Step(), "recording files");
    }
    for (; i < Entries.size(); ++i)
        Insert(Entries[i]);
}

int64_t TSqliteCatalogStore::Put(const TCatalogEntry& e)
{
    TRun run(Prepared(sPut).Handle);
    BindEntry(run, e);
    const int rc = run.Step();
    Check(rc, "recording a file");
    return sqlite3_column_int64(run.Handle(), 0);
}

void TSqliteCatalogStore::SetPath(int64_t Id, const std::string& Path)
{
    TRun run(Prepared(sSetPath).Handle);
    run.Int(1, Id);
    run.Text(2, Path);
    Check(run.Step(), "recording a moved file");
}

void TSqliteCatalogStore::Remove(int64_t Id)
{
    TRun run(Prepared(sRemove).Handle);
    run.Int(1, Id);
    Check(run.Step(), "removing a file");
}

void TSqliteCatalogStore::SetContentHash(int64_t Id, const std::string& Hash)
{
    TRun run(Prepared(sSetHash).Handle);
    run.Int(1, Id);
    run.Text(2, Hash);
    Check(run.Step(), "recording a content digest");
}

void TSqliteCatalogStore::Select(const TCatalogFilter& f, const std::function<bool(const TCatalogEntry&)>& Row)
{
    int mask = 0;
    if (f.SatelliteCode)
        mask |= fSatellite;
    if (!f.ImageFormat.empty())
        mask |= fFormat;
    if (f.From)
        mask |= fFrom;
    if (f.To)
        mask |= fTo;
    if (!f.Root.empty())
        mask |= fRoot;
    if (f.NonStandardOnly)
        mask |= fNonStandard;
    const std::string inside = f.Root + "/", beyond = f.Root + "0";   // bound as they are: kept until the end
    TRun run(Prepared(sSelect0 + mask).Handle);
    if (f.SatelliteCode)
        run.Int(1, *f.SatelliteCode);
    if (mask & fFormat)
        run.Text(2, f.ImageFormat);
    if (f.From)
        run.Int(3, *f.From);
    if (f.To)
        run.Int(4, *f.To);
    if (mask & fRoot) {
        run.Text(5, inside);
        run.Text(6, beyond);
    }
    int rc;
    while ((rc = run.Step()) == SQLITE_ROW)
        if (!Row(ReadEntry(run.Handle())))
            return;
    Check(rc, "reading the catalogue");
}

void TSqliteCatalogStore::AcquisitionTimes(int SatelliteCode, std::optional<int64_t> From, std::optional<int64_t> To,
                                           const std::function<void(int64_t)>& Time)
{
    TRun run(Prepared(sTimes).Handle);
    run.Int(1, SatelliteCode);
    run.Int(3, From);
    run.Int(4, To);
    int rc;
    while ((rc = run.Step()) == SQLITE_ROW)
        Time(sqlite3_column_int64(run.Handle(), 0));
    Check(rc, "reading the catalogue");
}

void TSqliteCatalogStore::SameSize(const std::function<void(const TCatalogEntry&)>& Row)
{
    TRun run(Prepared(sSameSize).Handle);
    int rc;
    while ((rc = run.Step()) == SQLITE_ROW)
        Row(ReadEntry(run.Handle()));
    Check(rc, "reading the catalogue");
}

void TSqliteCatalogStore::SameStandardName(const std::function<void(const TCatalogEntry&)>& Row)
{
    TRun run(Prepared(sSameName).Handle);
    int rc;
    while ((rc = run.Step()) == SQLITE_ROW)
        Row(ReadEntry(run.Handle()));
    Check(rc, "reading the catalogue");
}

void TSqliteCatalogStore::CountPerPeriod(int64_t PeriodSeconds, int64_t SlotSeconds, std::optional<int64_t> From,
                                         std::optional<int64_t> To, const std::function<void(const TPeriodCount&)>& Row)
{
    TRun run(Prepared(sPerPeriod).Handle);
    run.Int(1, PeriodSeconds);
    run.Int(2, SlotSeconds);
    run.Int(3, From);
    run.Int(4, To);
    int rc;
    while ((rc = run.Step()) == SQLITE_ROW) {
        sqlite3_stmt* s = run.Handle();
        Row({sqlite3_column_int(s, 0), ColumnText(s, 1), sqlite3_column_int64(s, 2), sqlite3_column_int64(s, 3),
             sqlite3_column_int64(s, 4)});
    }
    Check(rc, "reading the catalogue");
}

void TSqliteCatalogStore::CountPerMonth(
    std::optional<int64_t> From, std::optional<int64_t> To,
    const std::function<void(int, const std::string&, const std::string&, int64_t)>& Row)
{
    TRun run(Prepared(sPerMonth).Handle);
    run.Int(3, From);
    run.Int(4, To);
    int rc;
    while ((rc = run.Step()) == SQLITE_ROW) {
        sqlite3_stmt* s = run.Handle();
        Row(sqlite3_column_int(s, 0), ColumnText(s, 1), ColumnText(s, 2), sqlite3_column_int64(s, 3));
    }
    Check(rc, "reading the catalogue");
}
