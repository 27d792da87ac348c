#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// One line of /proc/self/mountinfo, escapes decoded.
struct MountEntry {
    std::uint64_t mountId = 0;
    unsigned major = 0;
    unsigned minor = 0;
    std::string root;        // the folder of the file system that is mounted
    std::string mountPoint;  // where it is mounted, without a trailing separator ("/" for the root)
    std::string fsType;
    std::string source;
    bool readOnly = false;
};

// A mounted volume that holds user data: what the program calls a drive.
struct Volume {
    std::string root;  // the mount point with a trailing '/'
    std::string fsType;
    std::string source;
    bool slow = false;  // network file systems and removable media: never probed unasked
};

// Parses mountinfo text (one mount a line). Lines that do not parse are skipped, and so are
// lines whose mount point is not "/" or an absolute path in plain form, or holds a zero byte.
std::vector<MountEntry> ParseMountInfo(std::string_view text);
// The mount table of this process; empty when /proc/self/mountinfo cannot be read.
std::vector<MountEntry> ReadMountTable();

// Whether a mount is a volume of user data rather than a pseudo, RAM or read-only image
// file system or a system folder.
bool IsUserDataVolume(const MountEntry& mount);
// The user-data volumes of a table: one per device (major:minor), ordered by mount point. A
// mount that a later one at the same point hides is not offered.
std::vector<Volume> SelectVolumes(const std::vector<MountEntry>& table);
std::vector<Volume> ListVolumes();

// The root (mount point with a trailing '/') of the volume that holds a path; a path that
// names nothing is placed by its nearest existing parent, a relative one resolves against
// the current folder. Empty when nothing can be found.
std::string VolumeRootOf(const std::string& path);

// The mount entry of a mount id; false when there is none.
bool FindMountById(std::uint64_t mountId, MountEntry& mount);

// File systems whose "files" are kernel controls and state (procfs, sysfs, cgroup, debugfs
// and the like): nothing on them is ever written or removed.
bool IsKernelFileSystem(std::string_view fsType);
// RAM-backed file systems: they have no free space on a medium to wipe.
bool IsRamFileSystem(std::string_view fsType);
// Overlays (the kernel's and fuse-overlayfs): what is written lands in the upper layer.
bool IsOverlayFileSystem(std::string_view fsType);
// Network file systems (NFS, SMB, sshfs, WebDAV, 9p): reads may hang on the network.
bool IsNetworkFileSystem(std::string_view fsType);

std::uint64_t FreeBytesOfDescriptor(int fd);
// Every free byte the volume holding fd reports, the blocks kept for root included, plus the
// reserve pool that XFS keeps out of that count (readable by root only); 0 on failure.
std::uint64_t AllFreeBytesOfDescriptor(int fd);
// False where the volume keeps a reserve out of its free count that this process cannot read
// (XFS, for anyone but root): AllFreeBytesOfDescriptor then falls short of what no write reaches.
bool ReserveIsKnown(int fd);

// A drive spec is a user-data volume's mount point followed by ':' ("/:", "/home:",
// "/media/me/USB:"); "/home/:" is read as "/home:". The volume is the one mounted last at
// that point, the one it shows. On success volumeRoot gets the mount
// point with a trailing '/'.
bool ParseDriveSpec(std::string_view text, std::string& volumeRoot);
bool ParseDriveSpec(std::string_view text, std::string& volumeRoot,
                    const std::vector<MountEntry>& table);
// The drive spec of a volume root: "/home/" gives "/home:", "/" gives "/:".
std::string FormatDriveSpec(std::string_view volumeRoot);

}  // namespace tolvane
