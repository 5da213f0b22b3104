// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the rename journal's reader: a whole journal text, and each of its
// lines on its own. Every record that parses must format back to a line that
// parses to the same record.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "components/Journal.h"

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
    std::string_view text(reinterpret_cast<const char*>(data), size);
    TJournalContents contents = ParseJournal(text);
    for (const TJournalBatch& batch : contents.Batches)
        if (batch.Count(TJournalFileState::Renamed) > static_cast<int>(batch.Files.size()))
            std::abort();
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        auto record = ParseJournalLine(text.substr(start, end - start));
        if (record) {
            auto again = ParseJournalLine(FormatJournalLine(*record));
            if (!again || !SameRecord(*record, *again))
                std::abort();
        }
        start = end + 1;
    }
    return 0;
}
