#pragma once

#include <string_view>

namespace tolvane {

// Writes text to the process's standard output, best effort: no standard output, a closed
// pipe or a full disk are ignored. Only the erase worker writes while a run lasts; the
// function itself takes no lock.
void WriteStdOut(std::string_view text);

// Writes a name (a path, user data) the same way: escaped with EscapeForTerminal when
// standard output is a terminal, so a name cannot control the screen, and byte for byte
// otherwise, for scripts. Whether it is a terminal is decided at the first call and kept.
void WriteStdOutName(std::string_view name);

}  // namespace tolvane
