#pragma once

#include <cstddef>

namespace tolvane {

// The erase walk keeps one open folder per level of the tree it is in; raising the soft limit
// on open files to the hard one lets it go as deep as the system allows. Best effort.
void RaiseOpenFileLimit();

// The soft limit on open files (a modest guess when it cannot be read).
std::size_t OpenFileLimit();

// The user the process acts as (the owner its new files get).
unsigned EffectiveUserId();
// This process's id.
int ProcessId();

}  // namespace tolvane
