// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The catalogue's rules: bringing it up to date with an archive tree, and the
// answers it gives (missing slots, duplicates). The storage is any
// ICatalogStore; nothing here writes to the archive.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/CatalogStore.h"
#include "runtime/FileIO.h"

// $XDG_DATA_HOME/quillon/catalog.sqlite, or ~/.local/share/quillon/catalog.sqlite.
std::string DefaultCatalogPath();

// Seconds to wait for another update: $QUILLON_CATALOG_LOCK_TIMEOUT when it is
// a number of at least 0, else 30.
double CatalogLockTimeout();

// Held by an update for its whole run, so that two updates take turns: a lock
// file beside the catalogue (FILE.lock). Waiting is told once after a second
// (CatalogWaitingMessage); ECatalogError naming the catalogue after the
// timeout, EAbort on a stop request.
class TCatalogUpdateLock {
public:
    TCatalogUpdateLock(const std::string& CatalogFile, double TimeoutSeconds,
                       const std::function<void(const char*)>& OnWaiting);

private:
    TAdvisoryLock lock_;
};

// Files the catalogue reads: the extensions the satellite readers handle
// (.mpd .hrm .rah .met .pdu .open_mtp .hdf, any case).
bool IsCatalogFile(std::string_view Name);
// The format of such a file by its extension: "MPD", "OPEN_MTP", ...
std::string CatalogFormatOf(std::string_view Name);

// Reads one file's header into an entry for Path with the identity the walk
// saw. A file that cannot be identified gets Error set. When the file changed
// while it was read, the entry's identity is marked so that the next update
// reads it again.
TCatalogEntry IdentifyCatalogFile(const std::string& Path, const TFileIdentity& Identity,
                                  const std::atomic<bool>* Cancel = nullptr);

struct TCatalogUpdateOptions {
    bool CrossFilesystems = false;
    int Threads = 0;            // header readers: 0 one per core
    int BatchSize = 2000;       // files per transaction
    int ReadAhead = 0;          // files handed to the readers at most at once (0: 64 per reader)
    std::function<void(int64_t Files)> OnProgress;            // files met so far, every ProgressEvery files
    int64_t ProgressEvery = 1000;
    std::function<void(const std::string& Message)> OnWarning; // a folder that cannot be read
};

struct TCatalogUpdateCounts {
    int64_t Added = 0, Changed = 0, Removed = 0, Unchanged = 0, Unreadable = 0;
    bool Stopped = false;       // a stop request ended it at a transaction boundary; the
                                // counts are then those of the transactions written
};

// Walks each root (a folder; symbolic links never followed, other file
// systems only with CrossFilesystems) and brings the catalogue up to date:
// files of unchanged identity are not read again, a file moved inside the
// roots (same device and inode, size and time) keeps its entry, entries of
// files gone from the roots are removed. Headers are read on worker threads
// while the walk goes on. On a stop request the transaction under way is
// rolled back, nothing is removed, and Stopped is set. Roots must be absolute
// and without a trailing '/' (ResolveCatalogRoot). Unreadable counts the
// files met that cannot be identified, whichever other count they are in.
TCatalogUpdateCounts UpdateCatalog(ICatalogStore& Store, const std::vector<std::string>& Roots,
                                   const TCatalogUpdateOptions& Options = {});

// The absolute, resolved path of a folder to catalogue; EInOutError naming it
// when it is not a folder that can be read.
std::string ResolveCatalogRoot(const std::string& Root);

// A run of missing slots: starts of the first and the last missing slot.
struct TGapRun {
    int64_t From = 0;
    int64_t To = 0;
    int64_t Count = 0;
};
// The runs of slots of SlotSeconds with no file of the satellite between its
// first and last file inside [From, To); returns the missing slots' total.
int64_t FindGaps(ICatalogStore& Store, int SatelliteCode, std::optional<int64_t> From, std::optional<int64_t> To,
                 int64_t SlotSeconds, const std::function<void(const TGapRun&)>& Run);

// Groups of files holding the same bytes: same size, then the same content
// digest (read only for files whose size another shares, kept in the
// catalogue for the next time), then the same bytes compared.
void FindSameContent(ICatalogStore& Store, const std::function<void(const std::vector<TCatalogEntry>&)>& Group);
// Groups of different files (not links to one file) proposing one standard name.
void FindSameStandardName(ICatalogStore& Store, const std::function<void(const std::vector<TCatalogEntry>&)>& Group);

// The 64-bit FNV-1a digest of a file's bytes as 16 hex digits; "" when it
// cannot be read.
std::string ContentDigest(const std::string& Path);
