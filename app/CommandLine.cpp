#include "app/CommandLine.h"

#include <climits>
#include <string_view>

#include "engine/EraseJob.h"
#include "platform/AppNames.h"
#include "platform/TerminalText.h"

#ifndef TOLVANE_VERSION
#define TOLVANE_VERSION "unknown"
#endif

namespace tolvane {
namespace {

constexpr int kMaxPasses = 9;

// Only a single digit 0..9 is a pass count: "07", "+3" or "3x" are refused rather than
// guessed at, as the count decides how thoroughly data is destroyed.
std::optional<int> ParsePasses(std::string_view text) {
    if (text.size() != 1 || text[0] < '0' || text[0] > '0' + kMaxPasses) {
        return std::nullopt;
    }
    return text[0] - '0';
}

// An argument quoted in an error message, which goes to a terminal: a newline or an escape
// sequence in it must not break the message into lines or act on the screen.
std::string Shown(std::string_view argument) {
    return EscapeForTerminal(argument);
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
    CommandLine result;
    auto fail = [&result](std::string error) {
        result.action = CommandLine::Action::UsageError;
        result.error = std::move(error);
        return result;
    };
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            if (argument.size() > PATH_MAX - 1) {
                return fail("path longer than " + std::to_string(PATH_MAX - 1) +
                            " bytes: " + Shown(argument.substr(0, 64)) + "...");
            }
            result.paths.emplace_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help") {
            result.action = CommandLine::Action::Help;
            return result;
        } else if (argument == "--version") {
            result.action = CommandLine::Action::Version;
            return result;
        } else if (argument == "--yes") {
            result.assumeYes = true;
        } else if (argument == "--passes" || argument.starts_with("--passes=")) {
            std::string_view value;
            if (argument == "--passes") {
                if (i + 1 >= argc) {
                    return fail("option '--passes' needs a number from 0 to 9");
                }
                value = argv[++i];
            } else {
                value = argument.substr(std::string_view("--passes=").size());
            }
            result.passes = ParsePasses(value);
            if (!result.passes) {
                return fail("invalid pass count '" + Shown(value) + "' (a number from 0 to 9)");
            }
        } else {
            return fail("unknown option '" + Shown(argument) +
                        "' (to erase a file whose name starts with '-', put '--' before it)");
        }
    }
    // A path named twice is one item: erased once, counted once.
    result.paths = WithoutRepeats(result.paths);
    return result;
}

std::string HelpText() {
    return std::string("Usage: ") + ProgramName + " [OPTION]... [--] [PATH]...\n" +
           "Securely erase files, folders, file patterns and the free space of volumes.\n"
           "\n"
           "Every file is overwritten in place, renamed twice to a meaningless name, cut to\n"
           "zero length and deleted; folders are removed once empty. A volume's mount point\n"
           "followed by ':' (for example /home:) stands for its free space.\n"
           "\n"
           "With paths the program asks for confirmation and erases them: in a small\n"
           "window when a display is available, otherwise in the terminal. Without paths\n"
           "it opens the main window.\n"
           "\n"
           "  --yes         do not ask for confirmation; run in the terminal\n"
           "  --passes N    overwrite N times (0 to 9) for this run; default: the pass\n"
           "                count saved in the settings, else 3\n"
           "  --            treat every following argument as a path\n"
           "  --help        show this help and exit\n"
           "  --version     show the version and exit\n"
           "\n"
           "In the terminal, Ctrl+C asks whether to stop erasing (on the terminal, also when\n"
           "standard input is a pipe); with no terminal to ask on, Ctrl+C stops at once.\n"
           "\n"
           "Exit status: 0 when everything was erased (or nothing was confirmed), 1 when some\n"
           "items failed or were not found, 2 for usage errors, 130 when stopped by the user.\n";
}

std::string VersionText() {
    return std::string(ProgramName) + " " + TOLVANE_VERSION + "\n";
}

std::string UsageErrorText(const std::string& error) {
    return std::string(ProgramName) + ": " + error + "\nTry '" + ProgramName +
           " --help' for more information.\n";
}

}  // namespace tolvane
