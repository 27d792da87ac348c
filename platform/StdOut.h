#pragma once

#include <string_view>

namespace tolvane {

// Writes text to the process's standard output, best effort: no standard output, a closed
// pipe or a full disk are ignored. Only the erase worker writes while a run lasts; the
// function itself takes no lock.
void WriteStdOut(std::string_view text);

}  // namespace tolvane
