#pragma once

#include <functional>

namespace tolvane::test {

// Polls `done` until it holds. Gives up (false) only after a minute, far beyond any normal
// scheduling delay, so a broken worker fails the test instead of hanging it.
bool Eventually(const std::function<bool()>& done);

// The number of threads of this process, from /proc/self/task. A sanitizer's own helper
// thread, which starts with the first thread a program makes, is counted from the first call
// on, so counts taken before and after some work compare.
int ThreadCount();

}  // namespace tolvane::test
