#pragma once

// What the programs that drive a real window under a private X server share: their start,
// with a guard that ends a scenario which never gets where it should, and xdotool run beside
// the event loop.
#include <QStringList>
#include <functional>

namespace tolvane::test {

// Runs xdotool with `args` without blocking the event loop; `then`, when given, runs
// `settleMs` after xdotool has ended, once the window has had time to handle what it sent.
void Xdotool(const QStringList& args, std::function<void()> then = {}, int settleMs = 300);

// The start of a driver program: at least `arguments` arguments after the program's name
// (else `usage` on standard error and 2), the application, and a guard that says "the
// scenario did not end in time" and ends the event loop with 3 after `guardMs`. Returns what
// `body` returns; `body` runs the event loop.
int RunDriver(int argc, char** argv, int arguments, const char* usage, int guardMs,
              const std::function<int()>& body);

}  // namespace tolvane::test
