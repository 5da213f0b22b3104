// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli catalog, run as the user runs it, on a generated archive tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/cli/CliShellRun.h"

namespace fs = std::filesystem;

namespace {

TEST(CatalogCli, FindAgreesWithInfoOnEveryFileOfATree)
{
    const fs::path dir = fs::temp_directory_path() / "quillon-catalog-cli";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string tree = (dir / "archive").string(), db = " --db '" + (dir / "c.sqlite").string() + "' ";
    ASSERT_EQ(RunCliShell("sample --tree 2 '" + tree + "'").Status, 0);
    const TShellRun update = RunCliShell("catalog update --json" + db + "'" + tree + "'");
    ASSERT_EQ(update.Status, 0);
    const nlohmann::json counts = nlohmann::json::parse(update.Out);
    EXPECT_EQ(counts["unreadable"], 2);

    const TShellRun find = RunCliShell("catalog find --json" + db);
    ASSERT_EQ(find.Status, 0);
    const nlohmann::json found = nlohmann::json::parse(find.Out);
    EXPECT_EQ(found.size(), counts["added"].get<size_t>() - 2);
    std::string paths;
    for (const nlohmann::json& f : found)
        paths += " '" + f["path"].get<std::string>() + "'";
    const nlohmann::json infos = nlohmann::json::parse(RunCliShell("info --json" + paths).Out);
    ASSERT_EQ(infos.size(), found.size());
    std::string previous;
    for (size_t i = 0; i < found.size(); ++i) {
        const nlohmann::json& f = found[i];
        const nlohmann::json& info = infos[i];
        EXPECT_EQ(f["satellite_code"], info["satellite_code"]);
        EXPECT_EQ(f["image_format"], info["image_format"]);
        EXPECT_EQ(f["standard_name"], info["standard_name"]);
        EXPECT_EQ(f["acquired_iso"], info["acquisition_iso"]);
        EXPECT_LE(previous, f["acquired_iso"].get<std::string>());   // ordered by time
        previous = f["acquired_iso"];
    }
    // The same rows as text and as CSV, with a header row.
    const TShellRun text = RunCliShell("catalog find --satellite met-7 --from 2005-03-02 --to 2005-03-02" + db);
    EXPECT_EQ(std::count(text.Out.begin(), text.Out.end(), '\n'), 48 - 6);   // six slots missing that day
    const TShellRun csv = RunCliShell("catalog find --csv --format xiv" + db);
    EXPECT_EQ(csv.Out.rfind("time,satellite_code,", 0), 0u);
    EXPECT_EQ(std::count(csv.Out.begin(), csv.Out.end(), '\n'), 1 + 2 * 8);
    EXPECT_EQ(RunCliShell("catalog find --from 2005-02-30" + db).Status, 2);
    fs::remove_all(dir);
}

} // namespace
