#pragma once
// Helpers shared by the quillon-cli subcommands.
#include <optional>
#include <string>
#include <string_view>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

// Exit codes of every subcommand.
constexpr int ExitSuccess = 0;
constexpr int ExitItemFailed = 1;
constexpr int ExitUsage = 2;

// A name made safe for one field of a tab-separated text line: backslash,
// tab, CR, LF and other control bytes become \\ \t \r \n \xHH, and bytes that
// are not part of valid UTF-8 become \xHH.
std::string EscapeText(std::string_view s);

// Text made safe for JSON: valid UTF-8 passes unchanged, each byte of an
// invalid sequence becomes the text \xHH (nlohmann::json refuses invalid UTF-8).
std::string JsonSafe(std::string_view s);

// A running count of work done ("scanning: 1200 files") redrawn in place on
// stderr every 200 items, only when stderr is a terminal; cleared on
// destruction so that the next line starts clean.
class TProgressLine {
public:
    TProgressLine();
    ~TProgressLine() { Clear(); }
    TProgressLine(const TProgressLine&) = delete;
    TProgressLine& operator=(const TProgressLine&) = delete;
    void Show(const char* what, int count);
    void Clear();

private:
    bool enabled_;
    bool shown_ = false;
};

// 0 when dir is a folder that can be listed, else an errno value.
int CheckFolder(const std::string& dir);

// Parses a subcommand's arguments. Returns nothing when the command should go
// on; otherwise the exit status, after printing the help that was asked for
// (status 0) or "quillon-cli COMMAND: what is wrong" with a hint (status 2).
std::optional<int> ParseCommandLine(CLI::App& app, int argc, char** argv, const char* command);

// Prints a JSON value on stdout (indented by 2) followed by a newline.
void PrintJson(const nlohmann::json& value);
