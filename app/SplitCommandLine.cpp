#include "app/SplitCommandLine.h"

#include <string_view>

namespace tolvane {
namespace {

// Index of the first space outside double quotes, or npos.
std::string_view::size_type FirstFreeSpace(std::string_view text) {
    bool quoted = false;
    for (std::string_view::size_type i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            quoted = !quoted;
        } else if (text[i] == ' ' && !quoted) {
            return i;
        }
    }
    return std::string_view::npos;
}

// What follows the first free space; empty when there is none. Views, not copies: a shell
// may pass thousands of selected files, and the remainder is rescanned once per entry.
std::string_view AfterFirstFreeSpace(std::string_view text) {
    std::string_view::size_type space = FirstFreeSpace(text);
    return space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
}

std::string_view FirstToken(std::string_view rest) {
    std::string_view::size_type space = FirstFreeSpace(rest);
    if (space != std::string_view::npos) {
        return rest.substr(0, space);
    }
    // An unbalanced quote hides the trailing space from the scan; it still ends the entry.
    if (!rest.empty() && rest.back() == ' ') {
        rest.remove_suffix(1);
    }
    return rest;
}

std::string_view UnquoteOnePair(std::string_view token) {
    // A lone '"' is not a pair: it stays, so no entry silently turns into "".
    if (token.size() >= 2 && token.front() == '"' && token.back() == '"') {
        return token.substr(1, token.size() - 2);
    }
    return token;
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> paths;
    std::string_view rest = AfterFirstFreeSpace(commandLine);
    while (!rest.empty()) {
        paths.emplace_back(UnquoteOnePair(FirstToken(rest)));
        rest = AfterFirstFreeSpace(rest);
    }
    return paths;
}

}  // namespace tolvane
