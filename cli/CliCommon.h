// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers shared by the quillon-cli subcommands.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "components/RenameWorkflow.h" // TStoppableJournal, StoppedReason

// EscapeText, how every text line shows a name, is the runtime's.
#include "runtime/Classes.h" // TStringList
#include "runtime/Text.h"

// Exit codes of every subcommand.
constexpr int ExitSuccess = 0;
constexpr int ExitItemFailed = 1;
constexpr int ExitUsage = 2;

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

// What scan and rename begin with. false when Dir is not a folder that can
// be listed ("quillon-cli COMMAND: cannot read folder ..." on stderr).
// Otherwise Workflow is set to scan Dir with Progress showing, to end at the
// next file on SIGINT or SIGTERM (the signals only request a stop from now
// on), and, with KeepGoing, to tell a file that cannot be read on stderr,
// count it in Failures and go on.
bool PrepareFolderScan(const char* Command, const std::string& Dir, bool KeepGoing, TRenameWorkflow& Workflow,
                       TProgressLine& Progress, int& Failures);

// Parses a subcommand's arguments. Returns nothing when the command should go
// on; otherwise the exit status, after printing the help that was asked for
// (status 0) or a usage error (status 2, see UsageError) that names the
// sub-command in use ("map grid"). The app is renamed "quillon-cli COMMAND",
// so that every help starts "Usage: quillon-cli COMMAND ...". "--" ends the
// options: what follows is taken as arguments even when it begins with "-".
std::optional<int> ParseCommandLine(CLI::App& app, int argc, char** argv, const char* command);

// Prints "quillon-cli COMMAND: message" and the hint "Run 'quillon-cli COMMAND
// --help' for the options." on stderr; returns ExitUsage. COMMAND may name a
// sub-command too ("map grid").
int UsageError(const std::string& command, const std::string& message);

// Option checks whose messages say what is expected: "--count: expects a whole
// number from 1 to 100000, not 'abc'".
CLI::Validator WholeNumber(long long lowest, long long highest);
// A number (decimals allowed) of the given unit from lowest to highest.
CLI::Validator NumberFrom(double lowest, double highest, const std::string& unit);

// ---- text in JSON ------------------------------------------------------------------
// Every text field of every --json output is written through these, so that
// JSON text decodes to the text itself. A field whose bytes are valid UTF-8
// is plain JSON text (backslashes and all). A field that is not valid UTF-8
// holds the text with U+FFFD in place of each invalid byte and, beside it,
// KEY_bytes holds the exact bytes in base64 ("file" and "file_bytes"). A
// reader that finds no KEY_bytes field knows the text is exact.

// Object[Key] = Text (and Object[Key_bytes] when Text is not valid UTF-8).
void PutJsonText(nlohmann::json& Object, const std::string& Key, std::string_view Text);
// Object[Key] = Text, or null when Text is null.
void PutJsonText(nlohmann::json& Object, const std::string& Key, const std::string* Text);
// Object[Key] = an array of Texts. When any of them is not valid UTF-8,
// Object[Key_bytes] is an array as long: the exact bytes in base64 of each
// text that is not valid UTF-8, null for each that is.
void PutJsonTexts(nlohmann::json& Object, const std::string& Key, const std::vector<std::string>& Texts);
inline void PutJsonTexts(nlohmann::json& Object, const std::string& Key, const TStringList& Texts)
{
    PutJsonTexts(Object, Key, std::vector<std::string>(Texts.begin(), Texts.end()));
}
// An object of text fields: {{"file", name}, {"proposed", proposed}}.
nlohmann::json JsonTextObject(std::initializer_list<std::pair<const char*, std::string_view>> Fields);

// Prints a JSON value on stdout (indented by 2) followed by a newline.
void PrintJson(const nlohmann::json& value);

// From now on SIGINT and SIGTERM only request a stop (RequestStop): long work
// (a header search, a scan, a rename batch) ends at its next check instead of
// the process dying part-way. With WakeFd >= 0 each such signal also writes a
// byte to it, so that a poll() loop wakes up.
void StopOnSignals(int WakeFd = -1);

// StopOnSignals(WakeFd) for the guard's life; when it ends the signals stop
// writing to WakeFd, so that a descriptor closed after it (and perhaps
// reused by another file) never receives their bytes.
class TStopSignalWake {
public:
    explicit TStopSignalWake(int WakeFd) { StopOnSignals(WakeFd); }
    ~TStopSignalWake() { StopOnSignals(); }
    TStopSignalWake(const TStopSignalWake&) = delete;
    TStopSignalWake& operator=(const TStopSignalWake&) = delete;
};
