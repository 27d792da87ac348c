#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tolvane {

// What the process was asked to do by its arguments.
struct CommandLine {
    enum class Action { Run, Help, Version, UsageError };

    Action action = Action::Run;
    bool assumeYes = false;     // --yes: no confirmation, run in the terminal
    std::optional<int> passes;  // --passes N (0..9) for this run only; the setting stays
    // The paths, byte for byte as the shell passed them (no text conversion: Linux names
    // need not be valid UTF-8). Empty entries are kept; the engine skips them.
    std::vector<std::string> paths;
    // For UsageError: what was wrong, one line; the argument it quotes is escaped as for a
    // terminal (EscapeForTerminal), so it holds no newline and no control character.
    std::string error;
};

// Parses argv[1..]. Options may stand anywhere before "--"; everything after "--" is a
// path, and so is a lone "-". Any other argument starting with '-' is an unknown option.
// A path longer than PATH_MAX - 1 bytes is a usage error: the program refuses it up front
// rather than failing halfway through a run.
CommandLine ParseCommandLine(int argc, const char* const* argv);

// The --help text and the --version line, each ending with a newline.
std::string HelpText();
std::string VersionText();
// The two lines printed on standard error for a usage error.
std::string UsageErrorText(const std::string& error);

}  // namespace tolvane
