#include "app/StderrNote.h"

#include "platform/AppNames.h"
#include "platform/Descriptors.h"
#include "platform/TerminalText.h"

namespace tolvane {
namespace {

constexpr int kStderr = 2;

}  // namespace

std::string ForStderr(std::string_view text) {
    return IsTerminal(kStderr) ? EscapeForTerminal(text) : std::string(text);
}

void PrintNote(std::string_view text) {
    // Nobody listens when this fails: there is nothing else to do.
    (void)WriteToDescriptor(kStderr, std::string(ProgramName) + ": " + ForStderr(text) + "\n");
}

}  // namespace tolvane
