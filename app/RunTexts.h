#pragma once

#include "engine/RunTexts.h"

namespace tolvane {

inline constexpr char kWindowNotAvailable[] =
    "The main window is not available without a display. Give the paths to erase on the "
    "command line (see --help).";
// After the reason why no display could be used.
inline constexpr char kWindowCannotOpen[] =
    "The main window is not available. Give the paths to erase on the command line (see --help).";

}  // namespace tolvane
