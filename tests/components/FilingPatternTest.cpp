// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "components/FilingPattern.h"

namespace {

TFilingFields Fields()
{
    TFilingFields f;
    f.AcquisitionTime = EncodeDate(2004, 3, 1) + (7 * 60 + 45) / 1440.0; // a leap year, after February
    f.SatelliteCode = 7;
    f.ImageFormat = "IVH";
    return f;
}

TEST(FilingPattern, ExpandsEachField)
{
    const struct {
        const char* pattern;
        const char* folder;
    } cases[] = {
        {"{yyyy}/{mm}/{dd}", "2004/03/01"},
        {"{yyyy}/{doy}", "2004/061"},
        {"{satellite}/{yyyy}-{mm}/{hh}", "E/2004-03/07"},
        {"archive/{format}", "archive/IVH"},
        {"plain", "plain"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TFilingPattern::Parse(c.pattern).Expand(Fields()), c.folder) << c.pattern;
}

TEST(FilingPattern, SatelliteWithoutPrefixIsM)
{
    TFilingFields f = Fields();
    f.SatelliteCode = 5;
    EXPECT_EQ(TFilingPattern::Parse("{satellite}").Expand(f), "M");
}

TEST(FilingPattern, RefusesWhatIsNotAFolderPattern)
{
    for (const char* pattern : {"", "/abs/{yyyy}", "{yyyy}//{mm}", "{yyyy}/", "../{yyyy}", "{yyyy}/./x", "{year}",
                                "{yyyy", "yyyy}", "a\\b", "a\tb", "{yyyy}/..", "{}"})
        EXPECT_THROW(TFilingPattern::Parse(pattern), EFilingPatternError) << pattern;
}

TEST(FilingPattern, FieldGivingNoFolderNameIsRefused)
{
    TFilingFields f = Fields();
    f.ImageFormat.clear();
    EXPECT_THROW(TFilingPattern::Parse("{yyyy}/{format}").Expand(f), EFilingPatternError);
    f.ImageFormat = "..";
    EXPECT_THROW(TFilingPattern::Parse("{format}").Expand(f), EFilingPatternError);
}

} // namespace
