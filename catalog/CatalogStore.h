// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the catalogue keeps of one archive file, and the narrow storage
// interface the catalogue's rules work through. The SQLite store
// (catalog/SqliteCatalogStore.h) is the one real implementation.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "runtime/FileIO.h"

// One file of the archive as the catalogue records it.
struct TCatalogEntry {
    int64_t Id = 0;
    std::string Path;                 // absolute
    TFileIdentity Identity;           // device, inode, size, modification time
    std::string Format;               // from the extension: MPD, HRM, RAH, MET, PDU, OPEN_MTP, HDF
    int SatelliteCode = 0;
    std::string SatelliteName;
    std::string ImageFormat;          // transmission-format letters
    std::optional<int64_t> Acquired;  // acquisition time, UTC seconds since 1970
    std::string AcquiredIso;          // the same as YYYY-MM-DDTHH:MM:SS, "" without a time
    std::string StandardName;
    bool IsStandard = false;          // the file's name (without extension) is its standard name
    std::string Error;                // why the file cannot be identified; "" when it can
    std::string ContentHash;          // hex digest of the bytes, "" until computed
};

// What catalog find selects. Unset fields select everything.
struct TCatalogFilter {
    std::optional<int> SatelliteCode;
    std::string ImageFormat;          // exact letters
    std::optional<int64_t> From;      // acquired >= From
    std::optional<int64_t> To;        // acquired < To
    std::string Root;                 // paths inside this folder (absolute, no trailing '/')
    bool NonStandardOnly = false;
};

class ICatalogStore {
public:
    virtual ~ICatalogStore() = default;

    // Transactions of an update: every change between Begin and Commit
    // reaches the file together or not at all.
    virtual void Begin() = 0;
    virtual void Commit() = 0;
    virtual void Rollback() noexcept = 0;

    virtual bool FindByPath(const std::string& Path, TCatalogEntry& Entry) = 0;
    // Up to Limit entries whose path lies strictly between After and Before,
    // in path order (byte order), into Out (cleared first): the id, the path,
    // the identity and, for an entry that records an error, a non-empty Error;
    // the other fields are left empty. What an update compares a folder's
    // listing with.
    virtual void IdentitiesInRange(const std::string& After, const std::string& Before, int Limit,
                                   std::vector<TCatalogEntry>& Out) = 0;
    // Whether any entry is of that device.
    virtual bool HasDevice(uint64_t Device) = 0;
    // Entries of that device and inode (a moved file, hard links).
    virtual std::vector<TCatalogEntry> FindByInode(uint64_t Device, uint64_t Inode) = 0;
    // Records a file at a path the catalogue does not hold; returns its id.
    virtual int64_t Insert(const TCatalogEntry& Entry) = 0;
    // The same for several files at once.
    virtual void InsertMany(const std::vector<TCatalogEntry>& Entries) = 0;
    // Inserts the entry, or replaces the one of the same path keeping its id;
    // returns the id.
    virtual int64_t Put(const TCatalogEntry& Entry) = 0;
    virtual void SetPath(int64_t Id, const std::string& Path) = 0;
    virtual void Remove(int64_t Id) = 0;
    virtual void SetContentHash(int64_t Id, const std::string& Hash) = 0;

    // Identified entries matching Filter, ordered by acquisition time then
    // path; the callback returns false to stop.
    virtual void Select(const TCatalogFilter& Filter, const std::function<bool(const TCatalogEntry&)>& Row) = 0;
    // Acquisition times (ascending, distinct) of one satellite inside [From, To).
    virtual void AcquisitionTimes(int SatelliteCode, std::optional<int64_t> From, std::optional<int64_t> To,
                                  const std::function<void(int64_t)>& Time) = 0;
    // Entries whose size another entry shares, ordered by size then path.
    virtual void SameSize(const std::function<void(const TCatalogEntry&)>& Row) = 0;
    // Identified entries whose standard name another entry shares, ordered by
    // name then path.
    virtual void SameStandardName(const std::function<void(const TCatalogEntry&)>& Row) = 0;
    // Identified entries counted per satellite and per UTC period: Period
    // seconds long (86400: days) with, for each, the distinct slots of
    // SlotSeconds that hold a file. Ordered by satellite, then period.
    struct TPeriodCount {
        int SatelliteCode;
        std::string SatelliteName;
        int64_t Period;     // period index: acquired / PeriodSeconds
        int64_t Files;
        int64_t Slots;
    };
    virtual void CountPerPeriod(int64_t PeriodSeconds, int64_t SlotSeconds, std::optional<int64_t> From,
                                std::optional<int64_t> To, const std::function<void(const TPeriodCount&)>& Row) = 0;
    // Files per satellite per calendar month ("YYYY-MM"), ordered by satellite then month.
    virtual void CountPerMonth(std::optional<int64_t> From, std::optional<int64_t> To,
                               const std::function<void(int Code, const std::string& Name, const std::string& Month,
                                                        int64_t Files)>& Row) = 0;
};
