// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliCommon.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <sstream>

#include "runtime/Application.h"
#include "runtime/FileOps.h"

namespace {

// Where the stop signals' handler writes a wake-up byte (-1: nowhere).
volatile sig_atomic_t stopWakeFd = -1;

void OnStopSignal(int)
{
    const int saved = errno;
    RequestStop();
    if (stopWakeFd >= 0) {
        const char byte = 's';
        [[maybe_unused]] ssize_t ignored = ::write(stopWakeFd, &byte, 1);
    }
    errno = saved;
}

} // namespace

void PutJsonText(nlohmann::json& Object, const std::string& Key, std::string_view Text)
{
    if (IsValidUtf8(Text)) {
        Object[Key] = Text;
        return;
    }
    Object[Key] = Utf8OrReplacement(Text);
    Object[Key + "_bytes"] = Base64Encode(Text);
}

void PutJsonText(nlohmann::json& Object, const std::string& Key, const std::string* Text)
{
    if (Text)
        PutJsonText(Object, Key, std::string_view(*Text));
    else
        Object[Key] = nullptr;
}

void PutJsonTexts(nlohmann::json& Object, const std::string& Key, const std::vector<std::string>& Texts)
{
    nlohmann::json texts = nlohmann::json::array(), bytes = nlohmann::json::array();
    bool exact = true;
    for (const std::string& text : Texts) {
        const bool valid = IsValidUtf8(text);
        exact = exact && valid;
        texts.push_back(valid ? text : Utf8OrReplacement(text));
        bytes.push_back(valid ? nlohmann::json(nullptr) : nlohmann::json(Base64Encode(text)));
    }
    Object[Key] = std::move(texts);
    if (!exact)
        Object[Key + "_bytes"] = std::move(bytes);
}

nlohmann::json JsonTextObject(std::initializer_list<std::pair<const char*, std::string_view>> Fields)
{
    nlohmann::json object = nlohmann::json::object();
    for (const auto& [key, text] : Fields)
        PutJsonText(object, key, text);
    return object;
}

void PrintJson(const nlohmann::json& value)
{
    std::cout << value.dump(2) << '\n';
}

TProgressLine::TProgressLine() : enabled_(isatty(STDERR_FILENO) == 1) {}

void TProgressLine::Show(const char* what, int count)
{
    if (!enabled_ || count % 200 != 0)
        return;
    std::fprintf(stderr, "\r%s: %d files", what, count);
    std::fflush(stderr);
    shown_ = true;
}

void TProgressLine::Clear()
{
    if (shown_) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        shown_ = false;
    }
}

int CheckFolder(const std::string& dir)
{
    DIR* d = opendir(dir.c_str());
    if (!d)
        return errno ? errno : ENOENT;
    closedir(d);
    return 0;
}

std::optional<int> ParseCommandLine(CLI::App& app, int argc, char** argv, const char* command)
{
    app.name(std::string("quillon-cli ") + command);
    try {
        app.parse(argc, argv);
        return std::nullopt;
    } catch (const CLI::CallForHelp&) {
        // help() shows the subcommand's own help when one was named.
        std::cout << app.help();
        return ExitSuccess;
    } catch (const CLI::CallForAllHelp&) {
        std::cout << app.help("", CLI::AppFormatMode::All);
        return ExitSuccess;
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            app.exit(e);
            return ExitSuccess;
        }
        // The error belongs to the deepest sub-command reached ("map grid").
        std::string where = command;
        const CLI::App* at = &app;
        while (!at->get_subcommands().empty()) {
            at = at->get_subcommands().front();
            where += " " + at->get_name();
        }
        // An unknown option is named before anything else CLI11 found wrong
        // (a required argument it then missed), with the way to give a name
        // that begins with "-".
        const std::vector<std::string> unknown = app.remaining(true);
        for (const std::string& arg : unknown)
            if (arg.size() > 1 && arg[0] == '-')
                return UsageError(where, "unknown option " + EscapeText(arg) +
                                             " (to give a name that begins with '-', put '--' before it)");
        // A command made of sub-commands, none of which was named.
        std::string choices;
        for (const CLI::App* sub : at->get_subcommands([](const CLI::App*) { return true; }))
            choices += (choices.empty() ? "" : ", ") + sub->get_name();
        if (!choices.empty()) {
            const std::string given = unknown.empty() ? "" : "unknown sub-command '" + EscapeText(unknown.front()) + "': ";
            return UsageError(where, given + "give one of " + choices);
        }
        return UsageError(where, e.what());
    }
}

bool PrepareFolderScan(const char* Command, const std::string& Dir, bool KeepGoing, TRenameWorkflow& Workflow,
                       TProgressLine& Progress, int& Failures)
{
    if (int error = CheckFolder(Dir)) {
        std::fprintf(stderr, "quillon-cli %s: cannot read folder %s: %s\n", Command, EscapeText(Dir).c_str(),
                     FileErrorText(error).c_str());
        return false;
    }
    Workflow.Folder = Dir;
    StopOnSignals();
    Workflow.OnFileExamined = [&Progress](int index, const std::string&) {
        if (StopRequested())
            throw EAbort(StoppedReason);
        Progress.Show("scanning", index + 1);
    };
    if (KeepGoing)
        Workflow.OnFileError = [Command, &Progress, &Failures](const std::string&, const Exception& e) {
            if (StopRequested())
                return false;
            Progress.Clear();
            std::fprintf(stderr, "quillon-cli %s: %s\n", Command, EscapeText(e.Message()).c_str());
            ++Failures;
            return true;
        };
    return true;
}

int UsageError(const std::string& command, const std::string& message)
{
    std::cerr << "quillon-cli " << command << ": " << message << "\n"
              << "Run 'quillon-cli " << command << " --help' for the options.\n";
    return ExitUsage;
}

namespace {

std::string Quoted(const std::string& text) { return "'" + EscapeText(text) + "'"; }

// Accepts the whole text as one number of type T from lowest to highest.
template <typename T>
CLI::Validator NumberCheck(T lowest, T highest, const std::string& expected, const std::string& description)
{
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            T value{};
            const char* end = text.data() + text.size();
            const auto [stop, error] = std::from_chars(text.data(), end, value);
            if (text.empty() || error != std::errc() || stop != end || !(value >= lowest && value <= highest))
                return "expects " + expected + ", not " + Quoted(text);
            return {};
        },
        description);
}

} // namespace

CLI::Validator WholeNumber(long long lowest, long long highest)
{
    const std::string range = std::to_string(lowest) + " to " + std::to_string(highest);
    return NumberCheck(lowest, highest, "a whole number from " + range, range);
}

CLI::Validator NumberFrom(double lowest, double highest, const std::string& unit)
{
    std::ostringstream range;
    range << lowest << " to " << highest;
    return NumberCheck(lowest, highest, "a number of " + unit + " from " + range.str(), range.str() + " " + unit);
}

void StopOnSignals(int WakeFd)
{
    stopWakeFd = WakeFd;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}
