// SPDX-License-Identifier: GPL-3.0-or-later
// The fault sweep's test program. Run as `test_faults --registry-write VALUE`
// it is instead the registry store's writer that the sweep traces: it sets
// two values of the program's key in the current user's store and says what
// failed, naming the file. `test_faults --soak-feed DIR SECONDS RATE LOCK [MANIFEST]` is
// the long watch's file source (SoakFeed.cpp, run by scripts/soak.sh).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "runtime/Registry.h"

namespace {

int WriteRegistry(const std::string& value)
{
    const std::string key = "\\Software\\Vantor Quessel\\quillon";
    try {
        TRegistry registry;
        if (!registry.OpenKey(key, true)) {
            std::fprintf(stderr, "registry-write: %s: cannot open %s: %s\n", RegistryFileName(HKEY_CURRENT_USER).c_str(),
                         key.c_str(), registry.LastError().c_str());
            return 1;
        }
        registry.WriteString("SourceFolder", value);
        registry.WriteValue("Count", REG_DWORD, std::string("\x2a\0\0\0", 4));
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "registry-write: %s\n", error.what());
        return 1;
    }
}

} // namespace

int RunSoakFeed(const std::string& folder, double seconds, int rate, const std::string& journalLock,
                const std::string& manifestName);

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--registry-write") == 0)
        return WriteRegistry(argv[2]);
    if ((argc == 6 || argc == 7) && std::strcmp(argv[1], "--soak-feed") == 0)
        return RunSoakFeed(argv[2], std::atof(argv[3]), std::atoi(argv[4]), argv[5], argc == 7 ? argv[6] : "");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
