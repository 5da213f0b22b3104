// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli run through the shell as a user types it: the arguments come
// already quoted, stdout is captured, stderr dropped.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

struct TShellRun {
    int Status; // the exit status, or -1 when it did not exit
    std::string Out;
};

inline TShellRun RunCliShell(const std::string& args)
{
    const std::string command = std::string("'") + QUILLON_CLI + "' " + args + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return {-1, ""};
    std::string out;
    std::array<char, 4096> chunk;
    size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        out.append(chunk.data(), n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}
