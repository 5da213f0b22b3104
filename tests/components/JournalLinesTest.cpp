// SPDX-License-Identifier: GPL-3.0-or-later
// Journal lines read from the start and from the end, with a bound on a line's length.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "components/JournalLines.h"

namespace {

// Each line as "number:text", "number:(too long)" for one over the bound.
std::string Shown(size_t number, const TJournalLine& line)
{
    return std::to_string(number) + ":" + (line.TooLong ? std::string("(too long)") : std::string(line.Text));
}

TEST(JournalLinesTest, LinesComeTheSameFromEitherEndWithTooLongOnesLeftOut)
{
    struct {
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"a\nb\n", {"1:a", "2:b"}},
        {"a\nb", {"1:a", "2:b"}},        // a last line cut off
        {"\n\na\n", {"1:", "2:", "3:a"}}, // blank lines count
        {"short\n" + std::string(70, 'x') + "\nend", {"1:short", "2:(too long)", "3:end"}},
        {std::string(200000, 'y') + "\n{}\n", {"1:(too long)", "2:{}"}}, // longer than a read
        {"a\n" + std::string(70, 'z'), {"1:a", "2:(too long)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 20));
        std::vector<std::string> forward;
        ForEachJournalLine(c.text, [&](const TJournalLine& line) { forward.push_back(Shown(line.Number, line)); }, 64);
        EXPECT_EQ(forward, c.lines);
        std::vector<std::string> backward;
        TJournalLinesBackward lines{TJournalBytes(c.text), 64};
        TJournalLine line;
        while (lines.Previous(line))
            backward.insert(backward.begin(), Shown(lines.NumberOf(line.Offset), line));
        EXPECT_EQ(backward, c.lines);
    }
}

TEST(JournalLinesTest, ALineStillBeingWrittenIsLeftForLater)
{
    const std::string text = "{\"a\":1}\n{\"b\"";
    TJournalLinesForward lines{TJournalBytes(text)};
    TJournalLine line;
    ASSERT_TRUE(lines.Next(line, true));
    EXPECT_EQ(line.Text, "{\"a\":1}");
    EXPECT_FALSE(lines.Next(line, true));
    EXPECT_EQ(lines.Offset(), 8u);
}

} // namespace
