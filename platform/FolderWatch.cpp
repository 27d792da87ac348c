#include "platform/FolderWatch.h"

#include <errno.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "platform/Descriptors.h"

namespace tolvane {

FolderWatch::FolderWatch() : m_fd(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {}

bool FolderWatch::Watch(const std::string& folder) {
    Clear();
    if (!Valid()) {
        return false;
    }
    // The folder going away or being moved is a change too: its listing must fall back.
    constexpr std::uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                      IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    m_watch = ::inotify_add_watch(m_fd.Get(), folder.c_str(), kEvents);
    return m_watch >= 0;
}

void FolderWatch::Clear() {
    if (m_watch >= 0) {
        // Fails only when the kernel dropped the watch already (folder deleted): fine.
        ::inotify_rm_watch(m_fd.Get(), m_watch);
        m_watch = -1;
    }
    Drain();
}

bool FolderWatch::Drain() const {
    if (!Valid()) {
        return false;
    }
    bool any = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = ReadSome(m_fd.Get(), buffer, sizeof buffer);
        if (got <= 0) {
            return any;  // EAGAIN: empty now
        }
        any = true;
    }
}

}  // namespace tolvane
