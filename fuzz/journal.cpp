// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the rename journal's reader: a whole journal text, in the shape of
// fuzz/JournalInput.h.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "components/Journal.h"
#include "fuzz/JournalInput.h"

namespace {

bool SameRecord(const TJournalRecord& a, const TJournalRecord& b)
{
    return a.Type == b.Type && a.Id == b.Id && a.Time == b.Time && a.UnixTime == b.UnixTime && a.Kind == b.Kind &&
           a.Source == b.Source && a.Folder == b.Folder && a.Undoes == b.Undoes && a.Files == b.Files &&
           a.OldName == b.OldName && a.NewName == b.NewName && a.Renamed == b.Renamed && a.Reason == b.Reason &&
           a.Identity == b.Identity;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzJournalText<TRenameJournalTraits>(
        data, size, [](std::string_view text) { return ParseJournal(text); }, FormatJournalLine, SameRecord,
        [](const TJournalContents& contents) {
            for (const TJournalBatch& batch : contents.Batches)
                if (batch.Count(TJournalFileState::Renamed) > static_cast<int>(batch.Files.size()))
                    std::abort();
        });
    return 0;
}
