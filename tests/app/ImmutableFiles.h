#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace tolvane::test {

// Marks files immutable so the engine fails on them for real; undoes it on destruction.
// Available for root on file systems with the flag (ext4, xfs, btrfs).
class ImmutableFiles {
public:
    ~ImmutableFiles() {
        for (const std::string& path : m_paths) {
            Set(path, false);
        }
    }
    bool Add(const std::string& path) {  // false when the flag cannot be set
        if (!Set(path, true)) {
            return false;
        }
        m_paths.push_back(path);
        return true;
    }

private:
    static bool Set(const std::string& path, bool on) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        int flags = 0;
        bool ok = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (fd >= 0) {
            ::close(fd);
        }
        return ok;
    }

    std::vector<std::string> m_paths;
};

}  // namespace tolvane::test
