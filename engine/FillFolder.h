#pragma once

#include <cstdint>
#include <string>

#include "platform/SystemError.h"

namespace tolvane {

class FileSystem;

// The folder of named fill files, for volumes whose file system cannot make unnamed ones. A
// run that ends without releasing it (a crash, kill -9, a power cut) would leave the volume
// full; so the folder carries a mark, and every later wipe of the volume releases what an
// interrupted one left before it starts.
//
// A folder counts as left over only when all of this holds: it lies directly in the volume's
// root, its name has the fill files' pattern (eight letters, a dot, three letters), it holds
// the mark, and nothing in it but regular files with that pattern. Anything else is never
// touched.
class FillFolder {
public:
    // Puts the mark into a fill folder just made (open descriptor); why it could not.
    static SystemError Mark(int folderFd, FileSystem& fs);
    // Removes the mark; the folder can then be removed once its fill files are gone.
    static void Unmark(int folderFd, FileSystem& fs);

    // Releases every fill folder an interrupted wipe left in the volume root `rootFd`: its fill
    // files are cut and removed, then the mark and the folder. Returns the bytes given back.
    static std::uint64_t ReleaseLeftovers(int rootFd, FileSystem& fs);

    // The name of the mark inside the folder.
    static const std::string& MarkName();
};

}  // namespace tolvane
