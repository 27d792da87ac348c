#include "WalkTestHelpers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "TempDir.h"

namespace tolvane::test {

std::vector<std::string> RecordingWalker::Log() const {
    std::vector<std::string> log;
    for (const WalkCall& call : calls) {
        log.push_back(call.path.empty() ? call.kind : call.kind + " " + call.path);
    }
    return log;
}

std::vector<WalkCall> RecordingWalker::Calls(const std::string& kind) const {
    std::vector<WalkCall> found;
    for (const WalkCall& call : calls) {
        if (call.kind == kind) {
            found.push_back(call);
        }
    }
    return found;
}

void RecordingWalker::OnFile(std::string& path, const FindData& entry) {
    calls.push_back({"file", path, entry, {}});
    if (stopOnAnyEntry) {
        RequestCancel();
    }
    if (onFile) {
        onFile(*this, path);
    }
}

void RecordingWalker::OnEnterFolder(std::string& path, const FindData& entry) {
    calls.push_back({"enter", path, entry, {}});
    if (stopOnAnyEntry) {
        RequestCancel();
    }
}

void RecordingWalker::OnLeaveFolder(std::string& path, const FindData& entry) {
    calls.push_back({"leave", path, entry, {}});
}

void RecordingWalker::OnDrive(std::string& path, const std::string& volumeRoot) {
    calls.push_back({"drive", path, {}, volumeRoot});
}

void RecordingWalker::OnItemBegin(const EraseItem& item) {
    calls.push_back({"begin", item.path, {}, {}});
}

void RecordingWalker::OnItemEnd(const EraseItem& item) {
    calls.push_back({"end", item.path, {}, {}});
}

void RecordingWalker::OnFinish() {
    calls.push_back({"finish", "", {}, {}});
}

void RecordingWalker::OnRootRefused(const EraseItem& item) {
    calls.push_back({"refused", item.path, {}, {}});
}

EraseItemList MakeItems(const std::vector<std::string>& paths) {
    EraseItemList items;
    for (const std::string& path : paths) {
        items.push_back({ItemKind::Ordinary, path});
    }
    return items;
}

std::vector<std::string> WalkLog(const std::vector<std::string>& paths) {
    EraseItemList items = MakeItems(paths);
    RecordingWalker walker;
    walker.SetItems(&items);
    walker.Walk();
    return walker.Log();
}

namespace {
bool IsDirectChild(const std::string& folder, const std::string& path) {
    if (path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) {
        return false;
    }
    std::string rest = path.substr(folder.size());
    if (!rest.empty() && rest.back() == '/') {
        rest.pop_back();
    }
    return !rest.empty() && rest.find('/') == std::string::npos;
}
}  // namespace

std::string NestingError(const std::vector<WalkCall>& calls) {
    std::vector<std::string> open;
    for (const WalkCall& call : calls) {
        if (call.kind == "enter") {
            if (call.path.empty() || call.path.back() != '/') {
                return "entered folder without trailing '/': " + call.path;
            }
            if (!open.empty() && !IsDirectChild(open.back(), call.path)) {
                return call.path + " entered inside " + open.back();
            }
            open.push_back(call.path);
        } else if (call.kind == "leave") {
            if (open.empty() || open.back() != call.path) {
                return "leave " + call.path + " does not close the folder entered last";
            }
            open.pop_back();
        } else if (call.kind == "file" && !open.empty() && !IsDirectChild(open.back(), call.path)) {
            return call.path + " visited inside " + open.back();
        }
    }
    return open.empty() ? std::string() : "folder never left: " + open.back();
}

BindMount::BindMount(const std::string& source, const std::string& target) : m_target(target) {
    if (::geteuid() != 0) {
        m_skipReason = "bind mounts need root";
        return;
    }
    std::string output;
    if (RunCommand("mount --bind '" + source + "' '" + target + "'", &output) != 0) {
        m_skipReason = "mount --bind failed: " + output;
        return;
    }
    m_mounted = true;
}

BindMount::~BindMount() {
    if (m_mounted && RunCommand("umount '" + m_target + "'") != 0) {
        RunCommand("umount -l '" + m_target + "'");
    }
}

bool MakeChain(const std::string& root, const std::string& name, int levels,
               const std::string& fileName, std::size_t fileSize) {
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < levels && fd >= 0; ++level) {
        int child = -1;
        if (::mkdirat(fd, name.c_str(), 0700) == 0) {
            child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        }
        ::close(fd);
        fd = child;
    }
    if (fd < 0) {
        return false;
    }
    int file = ::openat(fd, fileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    ::close(fd);
    if (file < 0) {
        return false;
    }
    bool ok = ::ftruncate(file, static_cast<off_t>(fileSize)) == 0;
    ::close(file);
    return ok;
}

void RemoveChain(const std::string& root, const std::string& name, int levels,
                 const std::string& fileName) {
    // Descend keeping every descriptor, then remove from the bottom up.
    std::vector<int> fds{::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    while (static_cast<int>(fds.size()) <= levels && fds.back() >= 0) {
        fds.push_back(::openat(fds.back(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    if (fds.back() >= 0 && static_cast<int>(fds.size()) == levels + 1) {
        ::unlinkat(fds.back(), fileName.c_str(), 0);
    }
    for (std::size_t k = fds.size() - 1; k > 0; --k) {
        if (fds[k] >= 0) {
            ::close(fds[k]);
        }
        if (fds[k - 1] >= 0) {
            ::unlinkat(fds[k - 1], name.c_str(), AT_REMOVEDIR);
        }
    }
    if (fds[0] >= 0) {
        ::close(fds[0]);
    }
}

}  // namespace tolvane::test
