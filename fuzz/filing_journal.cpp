// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the filing journal's reader: a whole journal text, and each of its
// lines on its own. Every record that parses must format back to a line that
// parses to the same record.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "components/FilingJournal.h"

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
    std::string_view text(reinterpret_cast<const char*>(data), size);
    TFilingJournalContents contents = ParseFilingJournal(text);
    for (const TFilingBatch& batch : contents.Batches)
        for (const TFilingFile& file : batch.Files)
            if (file.Old.empty() || file.Old[0] != '/' || file.New.empty() || file.New[0] != '/')
                std::abort();
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        auto record = ParseFilingLine(text.substr(start, end - start));
        if (record) {
            auto again = ParseFilingLine(FormatFilingLine(*record));
            if (!again || !SameRecord(*record, *again))
                std::abort();
        }
        start = end + 1;
    }
    return 0;
}
