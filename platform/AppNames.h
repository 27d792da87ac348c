#pragma once

namespace tolvane {

// The name the windows show (captions, the confirmation box). The program file and the
// messages on the terminal say "tolvane".
inline constexpr char AppDisplayName[] = "Brevorn";
inline constexpr char ProgramName[] = "tolvane";

}  // namespace tolvane
