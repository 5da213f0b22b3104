// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's documents checked against the commands themselves: every
// command and sub-command that --help lists, and every option and choice each
// one's --help shows, must appear in the man page, the bash completion and the
// README; the README's "$ " examples must print what they show.
//
// A failure says what to add where. Adding a command or an option means:
//  - packaging/quillon-cli.1: the command's ".TP" entry under ".SH COMMANDS"
//    (".BR name ..."), naming each option ("\-\-json") and sub-command;
//  - packaging/quillon-cli.bash: in _quillon_cli, the option list of the
//    command (or of "command sub-command") and its sub-commands;
//  - README.md: a "### name" section whose text names each option and
//    sub-command.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string SourceDir = QUILLON_SOURCE_DIR;
const std::string ManPage = "packaging/quillon-cli.1";
const std::string Completion = "packaging/quillon-cli.bash";
const std::string Readme = "README.md";

std::string ReadSource(const std::string& name)
{
    std::ifstream in(SourceDir + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Output of a shell command line (stderr too), and its exit status.
std::pair<std::string, int> Shell(const std::string& command)
{
    FILE* pipe = ::popen(("exec 2>&1; " + command).c_str(), "r");
    if (!pipe)
        return {"", -1};
    std::string out;
    std::array<char, 4096> chunk;
    size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        out.append(chunk.data(), n);
    const int status = ::pclose(pipe);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// ---- what the commands say of themselves -------------------------------------------

struct TCommandHelp {
    std::string Path;                      // "scan", "map grid"
    std::vector<std::string> Options;      // long options but --help
    std::vector<std::string> Subcommands;
    std::vector<std::string> Choices;      // words a positional takes ({a,b,c} in its help)
};

// The lines of one section ("Options:") of a help text, up to the next blank line.
std::vector<std::string> HelpSection(const std::string& help, const std::string& title)
{
    std::vector<std::string> section;
    bool in = false;
    for (const std::string& line : Lines(help)) {
        if (line == title)
            in = true;
        else if (in && line.empty())
            break;
        else if (in)
            section.push_back(line);
    }
    return section;
}

TCommandHelp ReadCommandHelp(const std::string& path)
{
    TCommandHelp h;
    h.Path = path;
    const std::string help = Shell(Quote(QUILLON_CLI) + " " + path + " --help").first;
    for (const std::string& line : HelpSection(help, "Options:")) {
        if (line.rfind("  -", 0) != 0)
            continue;
        std::string names = line.substr(2, line.find(' ', 2) - 2);
        std::istringstream split(names);
        for (std::string name; std::getline(split, name, ',');)
            if (name.rfind("--", 0) == 0 && name != "--help")
                h.Options.push_back(name);
    }
    for (const std::string& line : HelpSection(help, "Subcommands:"))
        if (line.rfind("  ", 0) == 0 && line.size() > 2 && line[2] != ' ')
            h.Subcommands.push_back(line.substr(2, line.find(' ', 2) - 2));
    for (const std::string& line : HelpSection(help, "Positionals:")) {
        const size_t open = line.find(":{"), close = line.find('}', open);
        if (line.rfind("  ", 0) != 0 || open == std::string::npos || close == std::string::npos)
            continue;
        std::istringstream split(line.substr(open + 2, close - open - 2));
        for (std::string word; std::getline(split, word, ',');)
            h.Choices.push_back(word);
    }
    return h;
}

// Every command that quillon-cli --help lists, then each one's sub-commands.
std::vector<TCommandHelp> AllCommands()
{
    std::vector<TCommandHelp> all;
    for (const std::string& line : HelpSection(Shell(Quote(QUILLON_CLI) + " --help").first, "Commands:")) {
        const std::string name = line.substr(2, line.find(' ', 2) - 2);
        all.push_back(ReadCommandHelp(name));
        for (const std::string& sub : std::vector<std::string>(all.back().Subcommands))
            all.push_back(ReadCommandHelp(name + " " + sub));
    }
    return all;
}

std::string TopCommand(const std::string& path) { return path.substr(0, path.find(' ')); }

// ---- the documents ------------------------------------------------------------------

// The man page's entry of a command: its ".TP" paragraph under COMMANDS,
// from ".BR name" to the next ".TP" or ".SH", with "\-" read as "-".
std::string ManEntry(const std::string& man, const std::string& command)
{
    const size_t commands = man.find(".SH COMMANDS");
    const size_t at = man.find("\n.BR " + command + " ", commands);
    if (commands == std::string::npos || at == std::string::npos)
        return "";
    size_t end = std::min(man.find("\n.TP", at + 1), man.find("\n.SH", at + 1));
    std::string entry = man.substr(at, end == std::string::npos ? std::string::npos : end - at);
    for (size_t p; (p = entry.find("\\-")) != std::string::npos;)
        entry.replace(p, 2, "-");
    return entry;
}

// The README's section of a command: "### name" up to the next heading.
std::string ReadmeSection(const std::string& readme, const std::string& command)
{
    const std::string heading = "\n### " + command + "\n";
    const size_t at = readme.find(heading);
    if (at == std::string::npos)
        return "";
    const size_t end = readme.find("\n#", at + heading.size());
    return readme.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// What the completion offers for the words after quillon-cli, the last one
// being completed.
std::set<std::string> Complete(const std::vector<std::string>& words)
{
    std::string array = "quillon-cli";
    for (const std::string& w : words)
        array += " " + Quote(w);
    const std::string script = "source " + Quote(SourceDir + "/" + Completion) + "; COMP_WORDS=(" + array +
                               "); COMP_CWORD=" + std::to_string(words.size()) +
                               "; COMP_LINE=\"${COMP_WORDS[*]}\"; COMP_POINT=${#COMP_LINE}; _quillon_cli; "
                               "printf '%s\\n' \"${COMPREPLY[@]}\"";
    const auto lines = Lines(Shell("cd / && bash --norc --noprofile -c " + Quote(script)).first);
    return std::set<std::string>(lines.begin(), lines.end());
}

bool Has(const std::string& text, const std::string& word) { return text.find(word) != std::string::npos; }

class CliDocs : public ::testing::Test {
protected:
    static void SetUpTestSuite() { commands_ = new std::vector<TCommandHelp>(AllCommands()); }
    static void TearDownTestSuite()
    {
        delete commands_;
        commands_ = nullptr;
    }
    static const std::vector<TCommandHelp>& Commands() { return *commands_; }

private:
    static std::vector<TCommandHelp>* commands_;
};

std::vector<TCommandHelp>* CliDocs::commands_ = nullptr;

TEST_F(CliDocs, HelpListsTheCommands)
{
    ASSERT_GE(Commands().size(), 11u);
    EXPECT_EQ(Commands()[0].Path, "scan");
    EXPECT_NE(std::find(Commands()[0].Options.begin(), Commands()[0].Options.end(), "--json"), Commands()[0].Options.end());
}

TEST_F(CliDocs, ManPageNamesEveryCommandOptionAndSubcommand)
{
    const std::string man = ReadSource(ManPage);
    for (const TCommandHelp& c : Commands()) {
        const std::string top = TopCommand(c.Path);
        const std::string entry = ManEntry(man, top);
        if (entry.empty()) {
            ADD_FAILURE() << ManPage << ": no entry for the command '" << top << "'; add a .TP paragraph under "
                          << ".SH COMMANDS starting '.BR " << top << " \" [options]\"' that says what it does";
            continue;
        }
        for (const std::string& word : c.Subcommands)
            EXPECT_TRUE(Has(entry, word))
                << ManPage << ": the entry of '" << top << "' (.BR " << top << ") does not name its sub-command '"
                << word << "'; add it (e.g. '\\fB" << word << "\\fR')";
        for (const std::string& option : c.Options)
            EXPECT_TRUE(Has(entry, option))
                << ManPage << ": the entry of '" << top << "' (.BR " << top << ") does not name the option " << option
                << " of 'quillon-cli " << c.Path << "'; add it, writing each '-' as '\\-'";
    }
}

// Every environment variable the command line's libraries read is in the man page.
TEST_F(CliDocs, ManPageNamesEveryEnvironmentVariable)
{
    const std::string man = ReadSource(ManPage);
    const std::regex read(R"re((?:getenv|EnvironmentValue)\("([A-Z_]+)"\))re");
    for (const char* folder : {"cli", "components", "satellite", "mapping", "graphics"}) {
        for (const auto& file : fs::directory_iterator(SourceDir + "/" + folder)) {
            if (file.path().extension() != ".cpp")
                continue;
            const std::string text = ReadSource(std::string(folder) + "/" + file.path().filename().string());
            for (std::sregex_iterator m(text.begin(), text.end(), read), end; m != end; ++m) {
                const std::string name = (*m)[1];
                if (name != "HOME")
                    EXPECT_TRUE(Has(man, name))
                        << ManPage << ": " << folder << "/" << file.path().filename().string() << " reads $" << name
                        << "; describe it under .SH ENVIRONMENT (.TP, .B " << name << ", what it sets)";
            }
        }
    }
}

TEST_F(CliDocs, CompletionOffersEveryCommandOptionSubcommandAndChoice)
{
    const std::set<std::string> top = Complete({""});
    for (const TCommandHelp& c : Commands()) {
        if (c.Path.find(' ') == std::string::npos)
            EXPECT_TRUE(top.count(c.Path)) << Completion << ": 'quillon-cli <TAB>' does not offer '" << c.Path
                                           << "'; add it to 'commands' in _quillon_cli";
        std::vector<std::string> words = Lines(std::regex_replace(c.Path, std::regex(" "), "\n"));
        words.push_back("--");
        const std::set<std::string> options = Complete(words);
        for (const std::string& option : c.Options)
            EXPECT_TRUE(options.count(option))
                << Completion << ": 'quillon-cli " << c.Path << " --<TAB>' does not offer " << option
                << "; add it to the options of '" << c.Path << "' in _quillon_cli";
        words.back() = "";
        const std::set<std::string> next = Complete(words);
        for (const std::string& word : c.Subcommands)
            EXPECT_TRUE(next.count(word)) << Completion << ": 'quillon-cli " << c.Path << " <TAB>' does not offer '"
                                          << word << "'; add it to the sub-commands of '" << c.Path << "' in _quillon_cli";
        for (const std::string& word : c.Choices)
            EXPECT_TRUE(next.count(word)) << Completion << ": 'quillon-cli " << c.Path << " <TAB>' does not offer '"
                                          << word << "', a value its argument takes; complete its words, not file names";
    }
}

TEST_F(CliDocs, ReadmeSectionNamesEveryOptionAndSubcommand)
{
    const std::string readme = ReadSource(Readme);
    for (const TCommandHelp& c : Commands()) {
        const std::string top = TopCommand(c.Path);
        const std::string section = ReadmeSection(readme, top);
        if (section.empty()) {
            ADD_FAILURE() << Readme << ": no section '### " << top << "'; add one after '<!-- commands: ... -->' "
                          << "with its usage line and what it does";
            continue;
        }
        for (const std::string& word : c.Subcommands)
            EXPECT_TRUE(Has(section, top + " " + word))
                << Readme << ": section '### " << top << "' does not show 'quillon-cli " << top << " " << word
                << "'; add it to the section's usage block";
        for (const std::string& option : c.Options)
            EXPECT_TRUE(Has(section, option))
                << Readme << ": section '### " << top << "' does not name the option " << option << " of 'quillon-cli "
                << c.Path << "'; add it to the usage line and say what it does";
    }
}

// ---- the README's examples ----------------------------------------------------------

struct TExample {
    std::string Command;   // after "$ ", continuation lines joined
    std::string Shown;     // the lines shown after it, each ending in a newline
};

// The "$ " examples of each ```sh block that shows any output.
std::vector<std::vector<TExample>> ReadmeExamples(const std::string& readme)
{
    std::vector<std::vector<TExample>> blocks;
    std::vector<TExample> block;
    bool inBlock = false, continued = false;
    for (const std::string& line : Lines(readme)) {
        if (!inBlock) {
            inBlock = line == "```sh";
            block.clear();
            continue;
        }
        if (line == "```") {
            inBlock = false;
            const bool shows = std::any_of(block.begin(), block.end(), [](const TExample& e) { return !e.Shown.empty(); });
            if (shows)
                blocks.push_back(block);
            continue;
        }
        const bool command = continued || line.rfind("$ ", 0) == 0;
        if (continued)
            block.back().Command += "\n" + line;
        else if (command)
            block.push_back({line.substr(2), ""});
        else if (!block.empty())
            block.back().Shown += line + "\n";
        continued = command && !line.empty() && line.back() == '\\';
    }
    return blocks;
}

// Each example runs from the top of a scratch copy of what it reads (the
// demo folder scripts/run.sh writes, docs/grid.png) with quillon-cli on the
// PATH, and prints exactly what the README shows.
TEST_F(CliDocs, ReadmeExamplesPrintWhatTheyShow)
{
    const fs::path scratch = fs::temp_directory_path() / ("quillon-clidocs-" + std::to_string(::getpid()));
    fs::remove_all(scratch);
    fs::create_directories(scratch / "docs");
    fs::copy_file(SourceDir + "/docs/grid.png", scratch / "docs/grid.png");
    const std::string prefix = "cd " + Quote(scratch.string()) + " && export PATH=" +
                               Quote(fs::path(QUILLON_CLI).parent_path().string()) + ":\"$PATH\" XDG_STATE_HOME=" +
                               Quote((scratch / "state").string()) + " QT_QPA_PLATFORM=offscreen; ";
    ASSERT_EQ(Shell(prefix + "quillon-cli sample build/demo >/dev/null").second, 0);
    const auto blocks = ReadmeExamples(ReadSource(Readme));
    EXPECT_GE(blocks.size(), 5u);
    for (const auto& block : blocks)
        for (const TExample& e : block)
            EXPECT_EQ(Shell(prefix + e.Command).first, e.Shown)
                << Readme << ": the example '$ " << e.Command << "' prints other lines than it shows; "
                << "copy what it prints (from the top of a clone, after scripts/run.sh wrote build/demo)";
    fs::remove_all(scratch);
}

} // namespace
