#pragma once

#include <string>
#include <string_view>

namespace tolvane {

// Text that may hold user data (a path, an argument, a variable's value) as it should reach
// standard error: escaped with EscapeForTerminal when standard error is a terminal, so that it
// cannot control the screen; byte for byte otherwise.
std::string ForStderr(std::string_view text);

// Writes "tolvane: <text>\n" to standard error, best effort, with the text as ForStderr has it.
void PrintNote(std::string_view text);

}  // namespace tolvane
