#pragma once

#include "platform/UniqueFd.h"

namespace tolvane {

// Makes sure descriptors 0, 1 and 2 are open, putting /dev/null on any that is closed (input
// for 0, output for 1 and 2). Call it first in main, before anything opens a descriptor:
// otherwise the next pipe or file takes a closed standard number, and output meant for the
// terminal goes into it (an internal pipe that nobody reads fills up, and the program hangs).
// False when a closed one could not be filled (no /dev/null); the caller should not go on.
bool OpenMissingStandardDescriptors();

// The process's controlling terminal (/dev/tty) opened for reading and writing, close-on-exec;
// invalid when the process has none (started by a file manager, a service, `setsid`, ...).
UniqueFd OpenControllingTerminal();

}  // namespace tolvane
