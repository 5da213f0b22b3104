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
