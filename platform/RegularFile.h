#pragma once

#include <string>

namespace tolvane {

// True when `path` names a regular file or nothing at all, judged without following a final
// symbolic link: a file that can be read without blocking (a FIFO would hang the reader, a
// device could be anything) and replaced by writing a new one. False for everything else,
// including a link and a path that cannot be examined.
bool IsRegularFileOrAbsent(const std::string& path);

}  // namespace tolvane
