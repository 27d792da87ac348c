#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Volumes.h"

namespace tolvane {

// A mount and the options its file system was mounted with.
struct MountFacts {
    MountEntry entry;
    // The file system's own options from mountinfo ("rw,data=journal"), as the kernel shows
    // them.
    std::string superOptions;

    // Whether superOptions holds `option` as a whole comma-separated element.
    bool HasSuperOption(std::string_view option) const;
    // The value of a "name=value" element of superOptions; empty when there is none.
    std::string SuperOptionValue(std::string_view name) const;
};

// What an erase path names, where it lives and what its file system says about it.
struct PathFacts {
    enum class Kind { File, Folder, Other };
    Kind kind = Kind::Other;
    MountFacts mount;
    // Attributes of a regular file (false for anything else, and when the file system keeps
    // no such attribute or the file could not be opened to ask).
    bool noCopyOnWrite = false;  // FS_NOCOW_FL: the file system rewrites its blocks in place
    // FS_INLINE_DATA_FL: the content sits inside the inode; for a folder, the volume keeps
    // small files so.
    bool inlineData = false;
    bool journalData = false;  // FS_JOURNAL_DATA_FL: the content goes through the journal
    bool compressed = false;   // FS_COMPR_FL or STATX_ATTR_COMPRESSED
    bool encrypted = false;    // FS_ENCRYPT_FL or STATX_ATTR_ENCRYPTED
};

// What holds a volume's blocks, found by following the block devices in sysfs down to the
// disks: partitions to their disk, device-mapper (LUKS, LVM) and md devices to their slaves,
// loop devices to the volume holding their backing file.
struct BlockMedium {
    // Ordered by how little an overwrite can be trusted: a volume on several disks gets the
    // least trustworthy one's kind.
    enum class Kind { Unknown, Rotating, NonRotating, RamDisk };
    Kind kind = Kind::Unknown;  // Unknown: no block device (tmpfs, network, overlay) found
    // A loop device lies on the way: the volume lives in an image file.
    bool inImageFile = false;
    // The file-system types of the volumes that hold those image files, in the order found.
    std::vector<std::string> imageHostFsTypes;
    // For an overlay (whatever is written to it lands in its upper layer): the file-system
    // types of the volumes holding its upper layers, in the order found; empty when the upper
    // layer cannot be seen from here (a container, fuse-overlayfs).
    std::vector<std::string> upperLayerFsTypes;
};

// Probes volumes for what decides whether overwriting a file in place reaches the medium.
// The mount table is read once, when the object is made; use a fresh object for a fresh
// look. Nothing is written or changed. Not thread-safe; one object per thread.
class MediumInfo {
public:
    // This process's mount table and the sysfs at /sys.
    MediumInfo();
    // A mount table given as /proc/self/mountinfo text and a folder standing for /sys (tests
    // build fake device trees there). Paths are still looked up on the real file system.
    MediumInfo(std::string_view mountInfoText, std::string sysRoot);

    const std::vector<MountEntry>& MountTable() const { return m_table; }

    // The mount mounted at a mount point (without a trailing separator but for "/"), the
    // last one when several are stacked there. False when there is none.
    bool MountAt(std::string_view mountPoint, MountFacts& mount) const;
    // What a path names, without following a final symbolic link. False when the path names
    // nothing or its mount is not in the table.
    bool Probe(const std::string& path, PathFacts& facts) const;
    // Whether the volume keeps small files inside their inodes (ext4's inline_data), read from
    // its superblock where the device can be read, else from the flags of `folder` (a folder
    // on the volume) and of the volume's root, which such a volume stores inline while they
    // are small.
    bool StoresInlineData(const MountFacts& mount, const std::string& folder) const;
    // The medium under a mount. Never fails: what cannot be found stays Unknown.
    BlockMedium MediumOf(const MountFacts& mount) const;

private:
    bool MountById(std::uint64_t mountId, MountFacts& mount) const;
    bool MountHolding(const std::string& path, std::uint64_t mountId, bool mountIdKnown,
                      MountFacts& mount) const;
    MountFacts FactsOf(const MountEntry& entry) const;
    std::string DeviceFolder(unsigned major, unsigned minor) const;
    void WalkMount(const MountFacts& mount, BlockMedium& medium,
                   std::set<std::string>& visited) const;
    void WalkDevice(const std::string& folder, BlockMedium& medium,
                    std::set<std::string>& visited) const;
    void WalkBackingFile(const std::string& path, BlockMedium& medium,
                         std::set<std::string>& visited) const;
    void WalkUpperLayer(const MountFacts& overlay, BlockMedium& medium,
                        std::set<std::string>& visited) const;
    // Records the type of a volume holding an image file or an upper layer, and walks it.
    void WalkHost(const MountFacts& host, std::vector<std::string>& hostFsTypes,
                  BlockMedium& medium, std::set<std::string>& visited) const;

    std::vector<MountEntry> m_table;
    std::map<std::uint64_t, std::string> m_superOptions;  // by mount id
    std::string m_sysRoot;
};

}  // namespace tolvane
