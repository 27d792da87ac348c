#pragma once

#include <errno.h>

#include <cstdint>
#include <string>

#include "platform/FindData.h"
#include "platform/SystemError.h"

namespace tolvane {

// The small rules that the parts of erasing (the engine, the batch of small files, the
// free-space wipe) share, so that each of them names, compares and judges alike. Pure
// functions and constants: any thread.

// The name every entry gets at its second rename, and the names of the free-space folder
// and of its fill files: nothing in it hints at what was there.
inline const std::string kObscureName = "aaaaaaaa.aaa";

// How a pass over a file ended.
enum class PassOutcome { kCompleted, kStopped, kFailed };

// The odometer over 'a'..'z', first character least significant; a carry past the end
// appends 'a' ("zz" -> "aaa", "" -> "a").
inline void NextName(std::string& name) {
    for (char& c : name) {
        if (c < 'z') {
            ++c;
            return;
        }
        c = 'a';
    }
    name.push_back('a');
}

inline std::uint64_t RoundUp(std::uint64_t offset, std::uint64_t unit) {
    return (offset + unit - 1) / unit * unit;
}

inline bool SameFile(const FindData& a, const FindData& b) {
    return a.device == b.device && a.inode == b.inode;
}

// A file system that has no sync for this file still took the writes; every other sync
// failure means the data may never have reached the medium.
inline bool SyncFailed(const SystemError& error) {
    return error.Failed() && error.number != EINVAL && error.number != ENOSYS &&
           error.number != EOPNOTSUPP;
}

}  // namespace tolvane
