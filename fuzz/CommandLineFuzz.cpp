// Command-line arguments: any bytes the caller passes, and a command line received as one
// string from a desktop shell.
#include <algorithm>
#include <climits>

#include "FuzzChecks.h"
#include "app/CommandLine.h"
#include "app/SplitCommandLine.h"

using namespace tolvane;
using namespace tolvane::fuzz;

namespace {

CommandLine Parse(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv = {"tolvane"};
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

bool HasControl(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return true;
        }
    }
    return false;
}

// The arguments with each later naming of a path already given left out: "dir" and "dir/"
// name the same folder.
std::vector<std::string> FirstNamings(const std::vector<std::string>& arguments) {
    std::vector<std::string> kept, keys;
    for (const std::string& argument : arguments) {
        std::string key = argument;
        while (key.size() > 1 && key.back() == '/') {
            key.pop_back();
        }
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
            keys.push_back(key);
            kept.push_back(argument);
        }
    }
    return kept;
}

void CheckArguments(const std::vector<std::string>& arguments) {
    const CommandLine line = Parse(arguments);
    if (line.action == CommandLine::Action::UsageError) {
        Require(!line.error.empty() && !HasControl(line.error),
                "a usage error is one line with no control character");
    }
    if (line.passes) {
        Require(*line.passes >= 0 && *line.passes <= 9, "a pass count is 0 to 9");
    }
    // Paths keep the order and bytes of the arguments they came from.
    std::size_t next = 0;
    for (const std::string& path : line.paths) {
        while (next < arguments.size() && arguments[next] != path) {
            ++next;
        }
        Require(next < arguments.size(), "every path is one of the arguments, in order");
        ++next;
    }
    // After "--" every argument is a path exactly as given, whatever it looks like.
    std::vector<std::string> guarded = {"--yes", "--"};
    guarded.insert(guarded.end(), arguments.begin(), arguments.end());
    const CommandLine plain = Parse(guarded);
    bool fits = true;
    for (const std::string& argument : arguments) {
        fits = fits && argument.size() <= PATH_MAX - 1;
    }
    if (fits) {
        Require(plain.action == CommandLine::Action::Run && plain.assumeYes &&
                    plain.paths == FirstNamings(arguments),
                "after \"--\" every argument is a path, byte for byte, each path once");
    }
}

void CheckSplit(std::string_view text, const std::vector<std::string>& arguments) {
    const std::vector<std::string> entries = SplitCommandLine(std::string(text));
    std::size_t spaces = 0;
    for (char c : text) {
        spaces += c == ' ';
    }
    Require(entries.size() <= spaces, "each entry follows a space of the command line");
    // Arguments without '"', each quoted, come back exactly.
    std::string quoted = "tolvane";
    for (const std::string& argument : arguments) {
        if (argument.find('"') != std::string::npos) {
            return;
        }
        quoted += " \"" + argument + "\"";
    }
    Require(SplitCommandLine(quoted) == arguments, "quoted paths split back exactly");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = AsText(data, size);
    std::vector<std::string> arguments = SplitAt(text, '\0');
    CheckArguments(arguments);
    CheckSplit(text, arguments);
    return 0;
}
