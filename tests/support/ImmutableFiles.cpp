#include "ImmutableFiles.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tolvane::test {
namespace {

bool SetImmutable(const std::string& path, bool on) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

}  // namespace

ImmutableFiles::~ImmutableFiles() {
    for (const std::string& path : m_paths) {
        SetImmutable(path, false);  // best effort: the temporary folder's removal reports it
    }
}

bool ImmutableFiles::Add(const std::string& path) {
    if (!SetImmutable(path, true)) {
        return false;
    }
    m_paths.push_back(path);
    return true;
}

}  // namespace tolvane::test
