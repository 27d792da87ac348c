#include "Directory.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace tolvane {
namespace {
constexpr unsigned kStatxMask = STATX_BASIC_STATS | STATX_BTIME | STATX_MNT_ID;

bool StatxAt(int dirFd, const char* name, int flags, FindData& data, int* error) {
    struct statx st;
    if (::statx(dirFd, name, flags | AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kStatxMask, &st) != 0) {
        if (error) {
            *error = errno;
        }
        return false;
    }
    FillFindData(st, data);
    return true;
}
}  // namespace

UniqueFd OpenDirectory(int dirFd, const std::string& name, int* error) {
    int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && error) {
        *error = errno;
    }
    return UniqueFd(fd);
}

UniqueFd OpenFolderForLookup(const std::string& path, int* error) {
    int fd = ::open(path.empty() ? "." : path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && error) {
        *error = errno;
    }
    return UniqueFd(fd);
}

UniqueFd OpenFolder(const std::string& path, int* error) {
    int fd = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && error) {
        *error = errno;
    }
    return UniqueFd(fd);
}

bool StatFollowingLinks(const std::string& path, FindData& data, int* error) {
    struct statx st;
    if (::statx(AT_FDCWD, path.c_str(), AT_NO_AUTOMOUNT, kStatxMask, &st) != 0) {
        if (error) {
            *error = errno;
        }
        return false;
    }
    FillFindData(st, data);
    return true;
}

bool StatEntry(int dirFd, const std::string& name, FindData& data, int* error) {
    std::string folder;
    SplitPath(name, folder, data.name);
    return StatxAt(dirFd, name.c_str(), 0, data, error);
}

bool StatDescriptor(int fd, FindData& data) {
    return StatxAt(fd, "", AT_EMPTY_PATH, data, nullptr);
}

DirectoryReader::DirectoryReader(int dirFd) : m_dirFd(dirFd) {
    // fdopendir takes the descriptor over, so it gets a duplicate; the caller's stays usable.
    int copy = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) {
        m_error = errno;
        return;
    }
    m_dir = ::fdopendir(copy);
    if (m_dir == nullptr) {
        m_error = errno;
        ::close(copy);
        return;
    }
    ::rewinddir(m_dir);  // the duplicate shares the offset with the caller's descriptor
}

DirectoryReader::~DirectoryReader() {
    if (m_dir) {
        ::closedir(m_dir);
    }
}

bool DirectoryReader::Next(FindData& entry, int* statError) {
    if (m_dir == nullptr) {
        return false;
    }
    for (;;) {
        errno = 0;
        const dirent* d = ::readdir(m_dir);
        if (d == nullptr) {
            m_error = errno;  // 0 at the end of the listing
            return false;
        }
        if (d->d_name[0] == '.' &&
            (d->d_name[1] == '\0' || (d->d_name[1] == '.' && d->d_name[2] == '\0'))) {
            continue;
        }
        entry = FindData();
        entry.name = d->d_name;
        int error = 0;
        if (StatxAt(m_dirFd, d->d_name, 0, entry, &error)) {
            error = 0;
        } else if (error == ENOENT) {
            continue;  // gone between readdir and statx: not an entry any more
        }
        if (statError != nullptr) {
            *statError = error;
        }
        return true;
    }
}

bool ReadDirectory(int dirFd, std::vector<FindData>& entries,
                   std::vector<UnreadableEntry>* unreadable) {
    DirectoryReader reader(dirFd);
    if (!reader.Opened()) {
        errno = reader.Error();
        return false;
    }
    FindData entry;
    int statError = 0;
    while (reader.Next(entry, &statError)) {
        if (statError == 0) {
            entries.push_back(std::move(entry));
        } else if (unreadable != nullptr) {
            unreadable->push_back({entry.name, statError});
        }
    }
    errno = reader.Error();
    return reader.Error() == 0;
}

std::string CurrentDirectory() {
    std::string buffer(256, '\0');
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
            buffer.resize(buffer.find('\0'));
            return buffer;
        }
        if (errno != ERANGE) {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool ReadNames(int dirFd, std::vector<std::string>& names, const std::atomic<bool>& stop) {
    // fdopendir takes the descriptor over, so it gets a duplicate; the caller's stays usable.
    int copy = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) {
        return false;
    }
    DIR* dir = ::fdopendir(copy);
    if (dir == nullptr) {
        ::close(copy);
        return false;
    }
    ::rewinddir(dir);  // the duplicate shares its offset with the caller's descriptor
    while (const dirent* d = ::readdir(dir)) {
        if (d->d_name[0] == '.' &&
            (d->d_name[1] == '\0' || (d->d_name[1] == '.' && d->d_name[2] == '\0'))) {
            continue;
        }
        names.emplace_back(d->d_name);
        if ((names.size() & 1023) == 0 && stop.load(std::memory_order_relaxed)) {
            ::closedir(dir);
            return false;
        }
    }
    ::closedir(dir);
    return true;
}

void SplitPath(const std::string& path, std::string& folder, std::string& name) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        folder.clear();
        name = path;
    } else {
        folder = path.substr(0, slash + 1);
        name = path.substr(slash + 1);
    }
}

bool IsPlainAbsolutePath(std::string_view path) {
    if (path.size() < 2 || path.front() != '/') {
        return false;
    }
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        std::string_view component = path.substr(start, end - start);
        if (component.empty() || component == "." || component == "..") {
            return false;
        }
        start = end + 1;
    }
    return true;
}

}  // namespace tolvane
