// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli: the command-line companion of Quillon. The first argument names
// the subcommand; each subcommand parses the rest itself.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "runtime/Exceptions.h"
#include "startup/Startup.h"

namespace {

struct Command {
    const char* name;
    const char* summary;
    int (*run)(int argc, char** argv); // argv[0] is the subcommand's name
};

const Command commands[] = {
    QUILLON_CLI_COMMANDS
};

void PrintUsage(std::FILE* out)
{
    std::fprintf(out, "Usage: quillon-cli COMMAND [OPTIONS] [ARGS]\n\n"
                      "Names satellite image files by their headers and exposes the Quillon library.\n\n"
                      "Commands:\n");
    for (const Command& c : commands)
        std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(out, "\nRun 'quillon-cli COMMAND --help' for the options of a command.\n"
                      "Exit status: 0 success, 1 some item failed, 2 usage error.\n");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        PrintUsage(stderr);
        return ExitUsage;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return ExitSuccess;
    }
    if (name == "--version") {
        std::printf("quillon-cli %s\n", QUILLON_VERSION);
        return ExitSuccess;
    }
    for (const Command& c : commands) {
        if (name == c.name) {
            TUnitLifetime units;
            try {
                return c.run(argc - 1, argv + 1);
            } catch (const Exception& e) {
                std::fprintf(stderr, "quillon-cli %s: %s\n", c.name, e.what());
                return ExitItemFailed;
            } catch (const std::exception& e) {
                std::fprintf(stderr, "quillon-cli %s: %s\n", c.name, e.what());
                return ExitItemFailed;
            }
        }
    }
    std::fprintf(stderr, "quillon-cli: unknown command '%s'\n\n", name.c_str());
    PrintUsage(stderr);
    return ExitUsage;
}
