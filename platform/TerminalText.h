#pragma once

#include <string>
#include <string_view>

namespace tolvane {

// True when `fd` is open and refers to a terminal.
bool IsTerminal(int fd);

// False when `fd` is a terminal on which this process cannot ask anyone: its foreground is
// another process group (the run was put in the background, or the job that started it ended
// and the shell took the terminal back), or it is no longer this process's (hung up). True
// for anything that is not a terminal.
bool MayAskOn(int fd);

// `text` (bytes, normally UTF-8) made safe to show on a terminal, in the style of `ls -b`:
// \a \b \t \n \v \f \r and \e for those controls; every other C0 byte, DEL, the C1 controls
// (UTF-8 C2 80..C2 9F) and every byte that is not part of valid UTF-8 as \xhh (two lowercase
// hex digits per byte); a backslash as \\. Everything else, including valid multi-byte
// characters, stays as it is. A name can then neither move the cursor, rewrite what is on
// the screen nor hide part of itself, and two different names never look the same.
// Use it only where the output is a terminal: scripts reading a pipe need the exact bytes.
std::string EscapeForTerminal(std::string_view text);

}  // namespace tolvane
