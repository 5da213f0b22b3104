// SPDX-License-Identifier: GPL-3.0-or-later
// Messages that make a typo visible: a file named on the command line that is
// not there, or is not a regular file.
#include <sys/stat.h>

#include "CliScanSupport.h"

namespace {

class CliMessages : public TScanCliScratch {};

TEST_F(CliMessages, MissingOrIrregularFilesAreNamedOnStderr)
{
    const std::string fifo = InFolder("pipe.mpd");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string missing = InFolder("missing.mpd");
    struct Case {
        std::string command, option, file;
        int status;
        std::string err;
    };
    const Case cases[] = {
        // info keeps its blank result and exit status, and says why on stderr.
        {"info", "", missing, 0, "quillon-cli info: " + missing + ": no such file\n"},
        {"info", "", fifo, 0, "quillon-cli info: " + fifo + ": not a regular file\n"},
        {"info", "", folder, 0, "quillon-cli info: " + folder + ": not a regular file\n"},
        {"version", "", missing, 1, "quillon-cli version: cannot read '" + missing + "': No such file or directory\n"},
        {"version", "--json", missing, 1, "quillon-cli version: cannot read '" + missing + "': No such file or directory\n"},
    };
    for (const Case& c : cases) {
        const TScanCliResult r = c.option.empty() ? RunCli({c.command, c.file}) : RunCli({c.command, c.option, c.file});
        EXPECT_EQ(r.status, c.status) << c.command << " " << c.file;
        EXPECT_EQ(r.err, c.err) << c.command << " " << c.file;
    }
}

} // namespace

namespace {

// Every command's usage errors: exit status 2, the first line of stderr names
// the command (and sub-command) and says what is wrong, and the next line
// points at that same command's --help.
TEST_F(CliMessages, UsageErrorsOfEveryCommand)
{
    const std::vector<std::string> map1 = {"--predefined", "1"};
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string first;
    };
    const auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const Case cases[] = {
        {{}, 2, "Usage: quillon-cli COMMAND [OPTIONS] [ARGS]"},
        {{"nonsense"}, 2, "quillon-cli: unknown command 'nonsense'"},
        {{"scan"}, 2, "quillon-cli scan: DIR is required"},
        {{"scan", "-incoming"}, 2,
         "quillon-cli scan: unknown option -incoming (to give a name that begins with '-', put '--' before it)"},
        {{"rename", "--bogus", "x"}, 2,
         "quillon-cli rename: unknown option --bogus (to give a name that begins with '-', put '--' before it)"},
        {{"undo", "a", "b"}, 2, "quillon-cli undo: The following argument was not expected: b"},
        {{"history", "x"}, 2, "quillon-cli history: The following argument was not expected: x"},
        {{"watch"}, 2, "quillon-cli watch: DIR is required"},
        {{"watch", "--settle", "-1", "x"}, 2,
         "quillon-cli watch: --settle: expects a number of seconds from 0 to 86400, not '-1'"},
        {{"watch", "--settle", "soon", "x"}, 2,
         "quillon-cli watch: --settle: expects a number of seconds from 0 to 86400, not 'soon'"},
        {{"info"}, 2, "quillon-cli info: FILE is required"},
        {{"tables", "nonsense"}, 2, "quillon-cli tables: TABLE: nonsense not in {satellites,segments,calibration}"},
        {{"sample"}, 2, "quillon-cli sample: DIR is required"},
        {{"sample", "--count", "abc", "x"}, 2,
         "quillon-cli sample: --count: expects a whole number from 1 to 100000, not 'abc'"},
        {{"sample", "--count", "0", "x"}, 2,
         "quillon-cli sample: --count: expects a whole number from 1 to 100000, not '0'"},
        {{"version", "a", "b"}, 2, "quillon-cli version: The following argument was not expected: b"},
        {{"map"}, 2, "quillon-cli map: give one of geo2pixel, pixel2geo, info, kinds, grid, warp"},
        {{"map", "nonsense"}, 2, "quillon-cli map: unknown sub-command 'nonsense': give one of geo2pixel, pixel2geo, info, kinds, grid, warp"},
        {{"map", "kinds", "x"}, 2, "quillon-cli map kinds: The following argument was not expected: x"},
        {{"map", "geo2pixel"}, 2, "quillon-cli map geo2pixel: give --predefined N, or --kind K --width W --height H"},
        {{"map", "info", "--predefined", "5"}, 2,
         "quillon-cli map info: --predefined: expects a whole number from 1 to 4, not '5'"},
        {{"map", "pixel2geo", "--kind", "12", "--width", "9", "--height", "9", "--sector", "14"}, 2,
         "quillon-cli map pixel2geo: --sector: expects a whole number from 0 to 13, not '14'"},
        {{"map", "grid", "--predefined", "1", "--lat-step", "10", "--trace"}, 2,
         "quillon-cli map grid: --lon-step is required"},
        {with({"map", "grid", "--lon-step", "10", "--lat-step", "10"}, map1), 2,
         "quillon-cli map grid: give --trace or --png OUT"},
        {with({"map", "grid", "--lon-step", "10", "--lat-step", "10", "--trace", "--origin", "3"}, map1), 2,
         "quillon-cli map grid: --origin takes X,Y (two whole numbers)"},
        {{"picture"}, 2, "quillon-cli picture: give one of info, convert, dump"},
        {{"picture", "info"}, 2, "quillon-cli picture info: FILE is required"},
        {{"picture", "convert", "a.gif", "b.tif"}, 2,
         "quillon-cli picture convert: cannot write 'b.tif': the output must end in .bmp or .png"},
        {{"picture", "dump", "a.gif"}, 2, "quillon-cli picture dump: OUT is required"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& a : c.args)
            joined += " " + a;
        const TScanCliResult r = RunCli(c.args);
        EXPECT_EQ(r.status, c.status) << joined;
        const size_t end = r.err.find('\n');
        EXPECT_EQ(r.err.substr(0, end), c.first) << joined;
        // "quillon-cli map grid: ..." is followed by the hint for "map grid".
        const size_t colon = c.first.find(": ");
        if (c.first.rfind("quillon-cli ", 0) == 0 && colon > 12 && end != std::string::npos) {
            EXPECT_EQ(r.err.substr(end + 1), "Run '" + c.first.substr(0, colon) + " --help' for the options.\n")
                << joined;
        }
    }
}

// "--" ends the options, so names that begin with "-" can be given.
TEST_F(CliMessages, DoubleDashEndsTheOptions)
{
    TScanCliResult r = RunCli({"info", "--", "-missing.mpd"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "quillon-cli info: -missing.mpd: no such file\n");
    r = RunCli({"scan", "--json", "--", "-incoming"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("-incoming"), std::string::npos) << r.err;
    r = RunCli({"picture", "info", "--", "-missing.gif"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("-missing.gif"), std::string::npos) << r.out;
}

} // namespace
