// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a rename batch tells whoever keeps a record of it. The rename workflow
// calls these in order: BeginBatch once, then for each file RecordIntent before
// the rename and RecordOutcome after it, then EndBatch. BeginBatch and
// RecordIntent throw (an Exception with a clear message) when the record cannot
// be kept; the batch then stops before the rename concerned, so nothing is
// renamed that could not be taken back.
#include <string>
#include <utility>
#include <vector>

#include "runtime/Exceptions.h"

// The rename journal cannot be written (or read): its message names the
// journal file and the reason. A batch that meets it renames nothing further.
QUILLON_EXCEPTION(EJournalError, Exception);

class IRenameJournal {
public:
    virtual ~IRenameJournal() = default;
    // folder: the absolute folder; planned: (old name, new name) pairs, file names without folder.
    virtual void BeginBatch(const std::string& folder,
                            const std::vector<std::pair<std::string, std::string>>& planned) = 0;
    // Durable on return.
    virtual void RecordIntent(const std::string& oldName, const std::string& newName) = 0;
    // renamed: whether the file now has newName; reason: why not, when it failed.
    virtual void RecordOutcome(const std::string& oldName, const std::string& newName,
                               bool renamed, const std::string& reason) = 0;
    virtual void EndBatch() = 0;
};
