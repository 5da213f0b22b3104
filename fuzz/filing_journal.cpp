// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the filing journal's reader: a whole journal text, in the shape of
// fuzz/JournalInput.h.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "components/FilingJournal.h"
#include "fuzz/JournalInput.h"

namespace {

bool SameRecord(const TFilingRecord& a, const TFilingRecord& b)
{
    return a.Type == b.Type && a.Id == b.Id && a.Time == b.Time && a.UnixTime == b.UnixTime && a.Kind == b.Kind &&
           a.Undoes == b.Undoes && a.Folder == b.Folder && a.Dest == b.Dest && a.Files == b.Files &&
           a.Path == b.Path && a.Old == b.Old && a.New == b.New && a.Step == b.Step && a.Temp == b.Temp &&
           a.Identity == b.Identity && a.Recovered == b.Recovered;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzJournalText<TFilingJournalTraits>(
        data, size, [](std::string_view text) { return ParseFilingJournal(text); }, FormatFilingLine, SameRecord,
        [](const TFilingJournalContents& contents) {
            for (const TFilingBatch& batch : contents.Batches)
                for (const TFilingFile& file : batch.Files)
                    if (file.Old.empty() || file.Old[0] != '/' || file.New.empty() || file.New[0] != '/')
                        std::abort();
        });
    return 0;
}
