// The rename journal under trouble, from the command line: a journal that
// cannot be written, a file that replaced a renamed one, a batch taken back in
// two goes, a journal held by another process, counts after a killed batch.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/cli/CliJournalSupport.h"

namespace {

using CliJournalFaultTest = TCliScratch;

TEST_F(CliJournalFaultTest, AnUnwritableJournalRenamesNothingAndSaysSoOnce)
{
    WriteSamples(3);
    const auto before = FolderContents(folder);
    { std::ofstream(state) << "a file where the state folder belongs"; }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"rename", folder}, std::vector<std::string>{"rename", "--json", folder}}) {
        SCOPED_TRACE(args[1]);
        TCliRun rename = Cli(args);
        EXPECT_EQ(rename.Exit, 1);
        EXPECT_EQ(rename.Out, ""); // no line per file
        auto lines = SplitLines(rename.Err);
        ASSERT_EQ(lines.size(), 1u) << rename.Err;
        EXPECT_NE(lines[0].find(state + "/quillon/journal.jsonl"), std::string::npos) << lines[0];
        EXPECT_NE(lines[0].find("Not a directory"), std::string::npos) << lines[0];
        EXPECT_NE(lines[0].find("nothing renamed"), std::string::npos) << lines[0];
        EXPECT_EQ(FolderContents(folder), before);
    }
}

} // namespace
