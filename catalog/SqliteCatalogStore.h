// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The catalogue in an SQLite database file (WAL mode). Every statement of the
// catalogue is in SqliteCatalogStore.cpp, prepared once with bound
// parameters. The file carries an application id and a schema version: a
// file of another program, or one that is not a database, is refused with a
// message naming it and never written; an older catalogue is upgraded in
// place when opened.
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "catalog/CatalogStore.h"
#include "runtime/Exceptions.h"

struct sqlite3;
struct sqlite3_stmt;

// A catalogue that cannot be used: foreign, damaged, newer, busy too long.
QUILLON_EXCEPTION(ECatalogError, Exception);

// The schema version this program writes.
constexpr int CatalogSchemaVersion = 2;

// The text the busy wait prints after a second, as the journal's does.
extern const char* const CatalogWaitingMessage;

struct TCatalogOpenOptions {
    bool Create = false;              // create a missing file (update); else a missing file is an error
    double BusyTimeoutSeconds = 30;   // waiting for another process's write
    std::function<void(const char* Notice)> OnWaiting;   // told once after a second of waiting
};

class TSqliteCatalogStore : public ICatalogStore {
public:
    TSqliteCatalogStore(const std::string& FileName, const TCatalogOpenOptions& Options);
    ~TSqliteCatalogStore() override;
    TSqliteCatalogStore(const TSqliteCatalogStore&) = delete;
    TSqliteCatalogStore& operator=(const TSqliteCatalogStore&) = delete;

    const std::string& FileName() const { return fileName_; }
    int SchemaVersion();

    // Writes an empty catalogue of an older schema version (tests of the upgrade).
    static void CreateOldSchema(const std::string& FileName, int Version);

    void Begin() override;
    void Commit() override;
    void Rollback() noexcept override;
    bool FindByPath(const std::string& Path, TCatalogEntry& Entry) override;
    void IdentitiesInRange(const std::string& After, const std::string& Before, int Limit,
                           std::vector<TCatalogEntry>& Out) override;
    bool HasDevice(uint64_t Device) override;
    std::vector<TCatalogEntry> FindByInode(uint64_t Device, uint64_t Inode) override;
    int64_t Insert(const TCatalogEntry& Entry) override;
    void InsertMany(const std::vector<TCatalogEntry>& Entries) override;
    int64_t Put(const TCatalogEntry& Entry) override;
    void SetPath(int64_t Id, const std::string& Path) override;
    void Remove(int64_t Id) override;
    void SetContentHash(int64_t Id, const std::string& Hash) override;
    void Select(const TCatalogFilter& Filter, const std::function<bool(const TCatalogEntry&)>& Row) override;
    void AcquisitionTimes(int SatelliteCode, std::optional<int64_t> From, std::optional<int64_t> To,
                          const std::function<void(int64_t)>& Time) override;
    void SameSize(const std::function<void(const TCatalogEntry&)>& Row) override;
    void SameStandardName(const std::function<void(const TCatalogEntry&)>& Row) override;
    void CountPerPeriod(int64_t PeriodSeconds, int64_t SlotSeconds, std::optional<int64_t> From,
                        std::optional<int64_t> To, const std::function<void(const TPeriodCount&)>& Row) override;
    void CountPerMonth(std::optional<int64_t> From, std::optional<int64_t> To,
                       const std::function<void(int, const std::string&, const std::string&, int64_t)>& Row) override;

    struct TStatement;

private:
    TStatement& Prepared(int Which);
    [[noreturn]] void Fail(const std::string& What, int Code);
    void Check(int Code, const std::string& What);
    void Exec(const char* Sql, const char* What);
    void CheckIdentityAndUpgrade(bool Created);
    static int BusyHandler(void* Self, int Count);

    std::string fileName_;
    TCatalogOpenOptions options_;
    sqlite3* db_ = nullptr;
    std::vector<std::unique_ptr<TStatement>> statements_;
    bool inTransaction_ = false;
    std::chrono::steady_clock::time_point busyStart_;
    bool busyNoticed_ = false;
};
