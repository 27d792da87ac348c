#include "Volumes.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/Directory.h"

namespace tolvane {
namespace {

// mountinfo escapes space, tab, newline and backslash as \ooo.
std::string DecodeOctalEscapes(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && field.size() - i >= 4) {
            auto digit = [](char c) { return c >= '0' && c <= '7'; };
            if (digit(field[i + 1]) && digit(field[i + 2]) && digit(field[i + 3])) {
                out.push_back(static_cast<char>((field[i + 1] - '0') * 64 +
                                                (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (start < line.size()) {
        std::size_t end = line.find(' ', start);
        if (end == std::string_view::npos) {
            end = line.size();
        }
        if (end > start) {
            fields.push_back(line.substr(start, end - start));
        }
        start = end + 1;
    }
    return fields;
}

bool StartsWithFolder(const std::string& path, std::string_view folder) {
    return path == folder ||
           (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
            path[folder.size()] == '/');
}

std::string WithTrailingSeparator(std::string path) {
    if (path.empty() || path.back() != '/') {
        path.push_back('/');
    }
    return path;
}

// Pseudo, RAM and read-only image file systems: nothing on them is user data to wipe. An
// overlay is not among them: containers and live sessions keep the user's files on one, and
// what is written to it lands in its upper layer.
constexpr std::array<std::string_view, 32> kPseudoFileSystems = {
    "proc",       "sysfs",         "cgroup",      "cgroup2",     "devtmpfs",        "devpts",
    "tmpfs",      "ramfs",         "squashfs",    "iso9660",     "autofs",          "securityfs",
    "debugfs",    "tracefs",       "pstore",      "bpf",         "mqueue",          "hugetlbfs",
    "configfs",   "fusectl",       "binfmt_misc", "fuse.portal", "fuse.gvfsd-fuse", "nsfs",
    "rpc_pipefs", "efivarfs",      "selinuxfs",   "erofs",       "cramfs",          "romfs",
    "fuse.lxcfs", "fuse.snapfuse",
};
// Kernel interfaces presented as files: writing "random bytes" there changes the running
// system (sysrq-trigger, cgroup limits, EFI variables), never user data.
constexpr std::array<std::string_view, 20> kKernelFileSystems = {
    "proc",      "sysfs",       "devtmpfs", "devpts",   "cgroup",     "cgroup2",   "debugfs",
    "tracefs",   "securityfs",  "configfs", "efivarfs", "bpf",        "pstore",    "mqueue",
    "hugetlbfs", "binfmt_misc", "fusectl",  "nsfs",     "rpc_pipefs", "selinuxfs",
};
constexpr std::array<std::string_view, 2> kRamFileSystems = {"tmpfs", "ramfs"};

constexpr std::array<std::string_view, 8> kNetworkFileSystems = {
    "nfs", "nfs4", "cifs", "smb3", "fuse.sshfs", "sshfs", "davfs", "9p",
};

// A mount of a single file (a container's /etc/hosts) holds no folder to browse and no free
// space of its own. Asked from cached attributes without automounting, as the table is read
// every second; network file systems are not asked at all (a dead server would hang the
// call), and a mount point that cannot be examined counts as a folder.
bool IsFileMount(const MountEntry& mount) {
    if (IsNetworkFileSystem(mount.fsType)) {
        return false;
    }
    struct statx st;
    if (::statx(AT_FDCWD, mount.mountPoint.c_str(),
                AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC, STATX_TYPE, &st) != 0) {
        return false;
    }
    return !S_ISDIR(st.stx_mode);
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
    std::vector<MountEntry> table;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::vector<std::string_view> fields = SplitFields(text.substr(start, end - start));
        start = end + 1;
        // id parent major:minor root mountpoint options [optional...] - fstype source superopts
        auto dash = std::find(fields.begin(), fields.end(), std::string_view("-"));
        if (fields.size() < 7 || dash == fields.end() || fields.end() - dash < 3 ||
            dash - fields.begin() < 6) {
            continue;
        }
        MountEntry entry;
        entry.mountId = std::strtoull(std::string(fields[0]).c_str(), nullptr, 10);
        std::string device(fields[2]);
        if (std::sscanf(device.c_str(), "%u:%u", &entry.major, &entry.minor) != 2) {
            continue;
        }
        entry.root = DecodeOctalEscapes(fields[3]);
        entry.mountPoint = DecodeOctalEscapes(fields[4]);
        // The kernel writes mount points absolute and plain. Anything else would be taken
        // for another folder: a relative one against the current folder, "\000" cut short
        // where it is passed on as a C string.
        if (entry.mountPoint != "/" && !IsPlainAbsolutePath(entry.mountPoint)) {
            continue;
        }
        if (entry.mountPoint.find('\0') != std::string::npos) {
            continue;
        }
        std::string options(fields[5]);
        entry.readOnly = options == "ro" || options.rfind("ro,", 0) == 0;
        entry.fsType = DecodeOctalEscapes(dash[1]);
        entry.source = DecodeOctalEscapes(dash[2]);
        table.push_back(std::move(entry));
    }
    return table;
}

std::vector<MountEntry> ReadMountTable() {
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    return ParseMountInfo(text.str());
}

bool IsUserDataVolume(const MountEntry& mount) {
    for (std::string_view system : {"/proc", "/sys", "/dev", "/run"}) {
        if (StartsWithFolder(mount.mountPoint, system) &&
            !StartsWithFolder(mount.mountPoint, "/run/media")) {
            return false;
        }
    }
    if (std::find(kPseudoFileSystems.begin(), kPseudoFileSystems.end(), mount.fsType) !=
            kPseudoFileSystems.end() ||
        mount.fsType.rfind("cgroup", 0) == 0) {
        return false;
    }
    return !mount.mountPoint.empty() && mount.mountPoint[0] == '/' && !IsFileMount(mount);
}

std::vector<Volume> SelectVolumes(const std::vector<MountEntry>& table) {
    // One volume per device: a file system mounted twice (bind mounts) is offered once,
    // at the mount that shows its whole tree, else at its shortest mount point.
    // A mount hides whatever was mounted at the same point before it: only the last one
    // there is what the mount point shows, and only it may stand for that drive.
    std::map<std::string_view, const MountEntry*> shownAt;
    for (const MountEntry& mount : table) {
        shownAt[mount.mountPoint] = &mount;
    }
    std::map<std::pair<unsigned, unsigned>, const MountEntry*> chosen;
    for (const MountEntry& mount : table) {
        if (!IsUserDataVolume(mount) || shownAt[mount.mountPoint] != &mount) {
            continue;
        }
        auto key = std::make_pair(mount.major, mount.minor);
        auto it = chosen.find(key);
        auto better = [](const MountEntry& a, const MountEntry& b) {
            if ((a.root == "/") != (b.root == "/")) {
                return a.root == "/";
            }
            return a.mountPoint.size() < b.mountPoint.size();
        };
        if (it == chosen.end() || better(mount, *it->second)) {
            chosen[key] = &mount;
        }
    }
    std::vector<Volume> volumes;
    // "/" is always there to browse, even where the table has no entry for it (a chroot
    // whose root is no mount point of its own) or its entry is no volume of user data.
    const bool rootChosen = std::any_of(chosen.begin(), chosen.end(), [](const auto& entry) {
        return entry.second->mountPoint == "/";
    });
    if (!rootChosen) {
        Volume root;
        root.root = "/";
        auto entry = std::find_if(table.rbegin(), table.rend(),
                                  [](const MountEntry& mount) { return mount.mountPoint == "/"; });
        if (entry != table.rend()) {
            root.fsType = entry->fsType;
            root.source = entry->source;
        }
        volumes.push_back(std::move(root));
    }
    for (const auto& [key, mount] : chosen) {
        Volume volume;
        volume.root = WithTrailingSeparator(mount->mountPoint);
        volume.fsType = mount->fsType;
        volume.source = mount->source;
        volume.slow = IsNetworkFileSystem(mount->fsType) ||
                      StartsWithFolder(mount->mountPoint, "/media") ||
                      StartsWithFolder(mount->mountPoint, "/run/media");
        volumes.push_back(std::move(volume));
    }
    std::sort(volumes.begin(), volumes.end(),
              [](const Volume& a, const Volume& b) { return a.root < b.root; });
    return volumes;
}

std::vector<Volume> ListVolumes() {
    return SelectVolumes(ReadMountTable());
}

// The folder that holds a path: "a/b" gives "a", "a" gives ".", "/a" gives "/".
static std::string ParentFolder(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string VolumeRootOf(const std::string& path) {
    std::string probe = path.empty() ? std::string(".") : path;
    struct statx st;
    // A path that names nothing (a pattern, a deleted file) lies on its parent's volume.
    while (::statx(AT_FDCWD, probe.c_str(), 0, STATX_MNT_ID, &st) != 0) {
        std::string parent = ParentFolder(probe);
        if (parent == probe) {
            return std::string();
        }
        probe = parent;
    }
    std::vector<MountEntry> table = ReadMountTable();
    if (st.stx_mask & STATX_MNT_ID) {
        for (const MountEntry& mount : table) {
            if (mount.mountId == st.stx_mnt_id) {
                return WithTrailingSeparator(mount.mountPoint);
            }
        }
    }
    // Older kernels: the longest mount point that prefixes the resolved path.
    char resolved[PATH_MAX];
    if (::realpath(probe.c_str(), resolved) == nullptr) {
        return std::string();
    }
    std::string best;
    for (const MountEntry& mount : table) {
        if (StartsWithFolder(resolved, mount.mountPoint) || mount.mountPoint == "/") {
            if (mount.mountPoint.size() > best.size() || best.empty()) {
                best = mount.mountPoint;
            }
        }
    }
    return best.empty() ? std::string() : WithTrailingSeparator(best);
}

bool FindMountById(std::uint64_t mountId, MountEntry& mount) {
    for (MountEntry& entry : ReadMountTable()) {
        if (entry.mountId == mountId) {
            mount = std::move(entry);
            return true;
        }
    }
    return false;
}

bool IsKernelFileSystem(std::string_view fsType) {
    return std::find(kKernelFileSystems.begin(), kKernelFileSystems.end(), fsType) !=
               kKernelFileSystems.end() ||
           fsType.rfind("cgroup", 0) == 0;
}

bool IsRamFileSystem(std::string_view fsType) {
    return std::find(kRamFileSystems.begin(), kRamFileSystems.end(), fsType) !=
           kRamFileSystems.end();
}

bool IsOverlayFileSystem(std::string_view fsType) {
    return fsType == "overlay" || fsType == "fuse.fuse-overlayfs";
}

bool IsNetworkFileSystem(std::string_view fsType) {
    return std::find(kNetworkFileSystems.begin(), kNetworkFileSystems.end(), fsType) !=
           kNetworkFileSystems.end();
}

std::uint64_t FreeBytesOfDescriptor(int fd) {
    struct statvfs st;
    if (::fstatvfs(fd, &st) != 0) {
        return 0;
    }
    // Root may fill the blocks kept back for it, and whatever lies there must be wiped too.
    std::uint64_t blocks = ::geteuid() == 0 ? st.f_bfree : st.f_bavail;
    return blocks * st.f_frsize;
}

namespace {

// XFS keeps a pool of blocks for its own emergencies that statfs never counts as free.
struct XfsReserve {
    std::uint64_t blocks;
    std::uint64_t available;
};
constexpr unsigned long kXfsGetReserve = _IOR('X', 115, XfsReserve);
constexpr long kXfsMagic = 0x58465342;

std::uint64_t HiddenReserveBytes(int fd, const struct statfs& fs) {
    XfsReserve reserve{};
    if (fs.f_type != kXfsMagic || ::ioctl(fd, kXfsGetReserve, &reserve) != 0) {
        return 0;  // another file system, or not root: nothing more is known
    }
    return reserve.available * static_cast<std::uint64_t>(fs.f_bsize);
}

}  // namespace

std::uint64_t AllFreeBytesOfDescriptor(int fd) {
    struct statfs fs;
    if (::fstatfs(fd, &fs) != 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(fs.f_bfree) * static_cast<std::uint64_t>(fs.f_frsize) +
           HiddenReserveBytes(fd, fs);
}

bool ReserveIsKnown(int fd) {
    struct statfs fs;
    XfsReserve reserve{};
    return ::fstatfs(fd, &fs) == 0 &&
           (fs.f_type != kXfsMagic || ::ioctl(fd, kXfsGetReserve, &reserve) == 0);
}

bool ParseDriveSpec(std::string_view text, std::string& volumeRoot,
                    const std::vector<MountEntry>& table) {
    if (text.size() < 2 || text.back() != ':' || text.front() != '/') {
        return false;
    }
    std::string mountPoint(text.substr(0, text.size() - 1));
    while (mountPoint.size() > 1 && mountPoint.back() == '/') {
        mountPoint.pop_back();
    }
    // Only the last mount at that point is what the point shows: a RAM file system mounted
    // over a disk must not pass for the disk.
    const MountEntry* shown = nullptr;
    for (const MountEntry& mount : table) {
        if (mount.mountPoint == mountPoint) {
            shown = &mount;
        }
    }
    // A root the table does not list (a chroot) is still the root of whatever holds it.
    if (mountPoint == "/" && shown == nullptr) {
        volumeRoot.assign(1, '/');  // not = "/": GCC 12 warns (-Wrestrict) about that at -O3
        return true;
    }
    if (shown == nullptr || !IsUserDataVolume(*shown)) {
        return false;
    }
    volumeRoot = WithTrailingSeparator(mountPoint);
    return true;
}

bool ParseDriveSpec(std::string_view text, std::string& volumeRoot) {
    // Cheap test first: most paths do not end in ':'.
    if (text.size() < 2 || text.back() != ':' || text.front() != '/') {
        return false;
    }
    return ParseDriveSpec(text, volumeRoot, ReadMountTable());
}

std::string FormatDriveSpec(std::string_view volumeRoot) {
    std::string spec(volumeRoot);
    while (spec.size() > 1 && spec.back() == '/') {
        spec.pop_back();
    }
    return spec + ":";
}

}  // namespace tolvane
