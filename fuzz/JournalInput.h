// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one shape of the journal fuzz targets. The input is a journal text:
//  - its lines read from the start and from the end (with a small line
//    bound, so that too long lines are met) come out the same, in turn;
//  - it is read as a journal (Parse, then Check on the result);
//  - each line on its own: a record that parses formats back to a line that
//    parses to the same record (Same).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "components/JournalLines.h"

template <typename Traits, typename ParseText, typename Format, typename Same, typename Check>
void FuzzJournalText(const uint8_t* data, size_t size, ParseText parseText, Format format, Same same, Check check)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    constexpr size_t SmallLine = 64;
    struct TSeen {
        TJournalLine Line;
        std::string Text;
    };
    std::vector<TSeen> forward;
    ForEachJournalLine(text, [&](const TJournalLine& line) { forward.push_back({line, std::string(line.Text)}); }, SmallLine);
    TJournalLinesBackward backward{TJournalBytes(text), SmallLine};
    TJournalLine line;
    for (auto it = forward.rbegin(); it != forward.rend(); ++it) {
        if (!backward.Previous(line) || line.Offset != it->Line.Offset || line.TooLong != it->Line.TooLong ||
            line.Text != it->Text || backward.NumberOf(line.Offset) != it->Line.Number)
            std::abort();
    }
    if (backward.Previous(line))
        std::abort();

    check(parseText(text));

    ForEachJournalLine(text, [&](const TJournalLine& l) {
        auto record = Traits::Parse(l.Text);
        if (record) {
            auto again = Traits::Parse(format(*record));
            if (!again || !same(*record, *again))
                std::abort();
        }
    });
}
