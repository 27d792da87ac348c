#pragma once

#include <string>

#include "platform/UniqueFd.h"

namespace tolvane {

// Watches one folder for entries created, deleted or moved in or out of it (not its subtree),
// through an inotify descriptor that poll() can wait for.
//
// Threads: one thread uses a watch. Valid() is false when no inotify descriptor could be made
// (the per-user instance limit): the folder is then never reported as changed.
class FolderWatch {
public:
    FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    bool Valid() const { return m_fd.Valid(); }
    int Fd() const { return m_fd.Get(); }
    // Replaces the watched folder. False when the folder cannot be watched (gone, not a
    // folder, the watch limit reached): then nothing is watched.
    bool Watch(const std::string& folder);
    void Clear();
    // Takes every pending event away; true when there was at least one.
    bool Drain() const;

private:
    UniqueFd m_fd;
    int m_watch = -1;
};

}  // namespace tolvane
