#include "MediumInfo.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/UniqueFd.h"

namespace tolvane {
namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The first line of a small sysfs file; false when it cannot be read or is empty.
bool ReadFirstLine(const std::string& path, std::string& line) {
    std::ifstream in(path);
    return std::getline(in, line) && !line.empty();
}

// The last field of each mountinfo line is the file system's own option list. Options with
// escaped characters are not among those anyone asks for, so no decoding is done.
std::map<std::uint64_t, std::string> ParseSuperOptions(std::string_view text) {
    std::map<std::uint64_t, std::string> options;
    std::istringstream lines{std::string(text)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::uint64_t id = 0;
        if (!(fields >> id) || line.find(" - ") == std::string::npos) {
            continue;
        }
        std::string field;
        std::string last;
        while (fields >> field) {
            last = field;
        }
        options[id] = last;
    }
    return options;
}

std::string Canonical(const std::string& path) {
    std::error_code error;  // a missing node is an answer here, not a failure
    std::filesystem::path resolved = std::filesystem::canonical(path, error);
    return error ? std::string() : resolved.string();
}

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// RAM disks: zram (compressed memory) and brd ("ram0") report themselves as non-rotating;
// their name is what tells them from flash.
bool IsRamDiskName(const std::string& name) {
    for (std::string_view prefix : {"zram", "ram"}) {
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
            name[prefix.size()] >= '0' && name[prefix.size()] <= '9') {
            return true;
        }
    }
    return false;
}

BlockMedium::Kind DiskKind(const std::string& folder) {
    if (IsRamDiskName(std::filesystem::path(folder).filename().string())) {
        return BlockMedium::Kind::RamDisk;
    }
    std::string rotational;
    if (!ReadFirstLine(folder + "/queue/rotational", rotational)) {
        return BlockMedium::Kind::Unknown;
    }
    if (rotational == "0") {
        return BlockMedium::Kind::NonRotating;
    }
    return rotational == "1" ? BlockMedium::Kind::Rotating : BlockMedium::Kind::Unknown;
}

void Merge(BlockMedium& medium, BlockMedium::Kind kind) {
    medium.kind = std::max(medium.kind, kind);
}

// Attributes of a regular file, asked through a descriptor that is checked to be the file
// the path named, so a file swapped in between is never taken for it.
void ReadFileAttributes(const std::string& path, const struct statx& st, PathFacts& facts) {
    facts.compressed = (st.stx_attributes_mask & st.stx_attributes & STATX_ATTR_COMPRESSED) != 0;
    facts.encrypted = (st.stx_attributes_mask & st.stx_attributes & STATX_ATTR_ENCRYPTED) != 0;
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.Valid()) {
        return;  // not readable by us: the flags stay unknown, which errs towards a note
    }
    struct stat opened;
    if (::fstat(fd.Get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
        opened.st_ino != st.stx_ino ||
        opened.st_dev != makedev(st.stx_dev_major, st.stx_dev_minor)) {
        return;
    }
    int flags = 0;
    if (::ioctl(fd.Get(), FS_IOC_GETFLAGS, &flags) != 0) {
        return;  // ENOTTY, EOPNOTSUPP: the file system keeps no such flags
    }
    facts.noCopyOnWrite = (flags & FS_NOCOW_FL) != 0;
    facts.inlineData = (flags & FS_INLINE_DATA_FL) != 0;
    facts.journalData = (flags & FS_JOURNAL_DATA_FL) != 0;
    facts.compressed = facts.compressed || (flags & FS_COMPR_FL) != 0;
    facts.encrypted = facts.encrypted || (flags & FS_ENCRYPT_FL) != 0;
}

// The inode flags of an entry, not following a final link; 0 when they cannot be read.
int InodeFlags(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    int flags = 0;
    if (!fd.Valid() || ::ioctl(fd.Get(), FS_IOC_GETFLAGS, &flags) != 0) {
        return 0;
    }
    return flags;
}

// ext4 superblock: 1024 bytes into the device; the magic at 0x38, the incompatible features
// at 0x60, little-endian.
constexpr off_t kExt4Superblock = 1024;
constexpr std::uint32_t kExt4InlineDataFeature = 0x8000;

// True/false from the superblock; no answer when the device cannot be read.
bool ReadInlineDataFeature(const std::string& device, bool& inlineData) {
    UniqueFd fd(::open(device.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
    unsigned char block[0x64];
    struct stat st;
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISBLK(st.st_mode) ||
        ::pread(fd.Get(), block, sizeof block, kExt4Superblock) != sizeof block ||
        block[0x38] != 0x53 || block[0x39] != 0xEF) {
        return false;
    }
    const std::uint32_t incompat = block[0x60] | block[0x61] << 8 | block[0x62] << 16 |
                                   static_cast<std::uint32_t>(block[0x63]) << 24;
    inlineData = (incompat & kExt4InlineDataFeature) != 0;
    return true;
}

}  // namespace

bool MountFacts::HasSuperOption(std::string_view option) const {
    std::string_view rest = superOptions;
    while (!rest.empty()) {
        std::size_t comma = rest.find(',');
        if (rest.substr(0, comma) == option) {
            return true;
        }
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    return false;
}

std::string MountFacts::SuperOptionValue(std::string_view name) const {
    std::string_view rest = superOptions;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        const std::string_view option = rest.substr(0, comma);
        if (option.size() > name.size() && option.substr(0, name.size()) == name &&
            option[name.size()] == '=') {
            return std::string(option.substr(name.size() + 1));
        }
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    return std::string();
}

MediumInfo::MediumInfo() : MediumInfo(ReadText("/proc/self/mountinfo"), "/sys") {}

MediumInfo::MediumInfo(std::string_view mountInfoText, std::string sysRoot)
    : m_table(ParseMountInfo(mountInfoText)),
      m_superOptions(ParseSuperOptions(mountInfoText)),
      m_sysRoot(std::move(sysRoot)) {}

MountFacts MediumInfo::FactsOf(const MountEntry& entry) const {
    MountFacts facts;
    facts.entry = entry;
    auto options = m_superOptions.find(entry.mountId);
    if (options != m_superOptions.end()) {
        facts.superOptions = options->second;
    }
    return facts;
}

bool MediumInfo::MountAt(std::string_view mountPoint, MountFacts& mount) const {
    // The last one: it hides those mounted before it at the same place.
    auto found = std::find_if(m_table.rbegin(), m_table.rend(), [&](const MountEntry& entry) {
        return entry.mountPoint == mountPoint;
    });
    if (found == m_table.rend()) {
        return false;
    }
    mount = FactsOf(*found);
    return true;
}

bool MediumInfo::MountById(std::uint64_t mountId, MountFacts& mount) const {
    for (const MountEntry& entry : m_table) {
        if (entry.mountId == mountId) {
            mount = FactsOf(entry);
            return true;
        }
    }
    return false;
}

bool MediumInfo::MountHolding(const std::string& path, std::uint64_t mountId, bool mountIdKnown,
                              MountFacts& mount) const {
    if (mountIdKnown) {
        return MountById(mountId, mount);
    }
    // Kernels before 5.8 give no mount id: place the path by its mount point instead.
    std::string root = VolumeRootOf(path);
    if (root.size() > 1) {
        root.pop_back();
    }
    return !root.empty() && MountAt(root, mount);
}

bool MediumInfo::Probe(const std::string& path, PathFacts& facts) const {
    facts = PathFacts();
    struct statx st;
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                STATX_TYPE | STATX_INO | STATX_MNT_ID, &st) != 0) {
        return false;
    }
    if (!MountHolding(path, st.stx_mnt_id, (st.stx_mask & STATX_MNT_ID) != 0, facts.mount)) {
        return false;
    }
    if (S_ISDIR(st.stx_mode)) {
        facts.kind = PathFacts::Kind::Folder;
        // Its small files may live in their inodes.
        facts.inlineData = StoresInlineData(facts.mount, path);
    } else if (S_ISREG(st.stx_mode)) {
        facts.kind = PathFacts::Kind::File;
        ReadFileAttributes(path, st, facts);
    }
    return true;
}

bool MediumInfo::StoresInlineData(const MountFacts& mount, const std::string& folder) const {
    if (mount.entry.fsType != "ext4") {
        return false;
    }
    bool inlineData = false;
    if (ReadInlineDataFeature(mount.entry.source, inlineData)) {
        return inlineData;
    }
    // Only root may usually read the device: a folder stored inline tells the feature is on.
    for (const std::string& path : {folder, mount.entry.mountPoint}) {
        if ((InodeFlags(path) & FS_INLINE_DATA_FL) != 0) {
            return true;
        }
    }
    return false;
}

BlockMedium MediumInfo::MediumOf(const MountFacts& mount) const {
    BlockMedium medium;
    std::set<std::string> visited;
    WalkMount(mount, medium, visited);
    return medium;
}

std::string MediumInfo::DeviceFolder(unsigned major, unsigned minor) const {
    return Canonical(m_sysRoot + "/dev/block/" + std::to_string(major) + ":" +
                     std::to_string(minor));
}

void MediumInfo::WalkMount(const MountFacts& mount, BlockMedium& medium,
                           std::set<std::string>& visited) const {
    std::string folder = DeviceFolder(mount.entry.major, mount.entry.minor);
    if (IsOverlayFileSystem(mount.entry.fsType)) {
        WalkUpperLayer(mount, medium, visited);
        return;
    }
    // btrfs gives its mounts anonymous device numbers: its block device is the source.
    const std::string& source = mount.entry.source;
    struct stat st;
    if (folder.empty() && !source.empty() && source[0] == '/' && ::stat(source.c_str(), &st) == 0 &&
        S_ISBLK(st.st_mode)) {
        folder = DeviceFolder(major(st.st_rdev), minor(st.st_rdev));
    }
    if (!folder.empty()) {
        WalkDevice(folder, medium, visited);
    }
    // Otherwise no block device (tmpfs, network and virtual file systems): nothing to add.
}

void MediumInfo::WalkDevice(const std::string& folder, BlockMedium& medium,
                            std::set<std::string>& visited) const {
    if (!visited.insert(folder).second) {
        return;  // a cycle, or a disk reached twice (two partitions in one array)
    }
    if (FileExists(folder + "/partition")) {
        WalkDevice(std::filesystem::path(folder).parent_path().string(), medium, visited);
        return;
    }
    std::string backingFile;
    if (ReadFirstLine(folder + "/loop/backing_file", backingFile)) {
        // The loop device's own "rotational" only echoes its backing file's device, and says
        // nothing of a file in memory: follow the file instead.
        WalkBackingFile(backingFile, medium, visited);
        return;
    }
    bool stacked = false;
    std::error_code error;  // no slaves folder: not a stacked device
    for (const auto& slave : std::filesystem::directory_iterator(folder + "/slaves", error)) {
        std::string slaveFolder = Canonical(slave.path().string());
        if (!slaveFolder.empty()) {
            WalkDevice(slaveFolder, medium, visited);
            stacked = true;
        }
    }
    if (!stacked) {
        Merge(medium, DiskKind(folder));
    }
}

void MediumInfo::WalkBackingFile(const std::string& path, BlockMedium& medium,
                                 std::set<std::string>& visited) const {
    struct statx st;
    if (::statx(AT_FDCWD, path.c_str(), AT_NO_AUTOMOUNT, STATX_TYPE | STATX_MNT_ID, &st) != 0) {
        medium.inImageFile = true;
        return;  // deleted since, or outside this process's view: the medium stays unknown
    }
    if (S_ISBLK(st.stx_mode)) {
        std::string folder = DeviceFolder(st.stx_rdev_major, st.stx_rdev_minor);
        if (!folder.empty()) {
            WalkDevice(folder, medium, visited);
        }
        return;
    }
    medium.inImageFile = true;
    MountFacts host;
    if (!MountHolding(path, st.stx_mnt_id, (st.stx_mask & STATX_MNT_ID) != 0, host)) {
        return;
    }
    WalkHost(host, medium.imageHostFsTypes, medium, visited);
}

void MediumInfo::WalkUpperLayer(const MountFacts& overlay, BlockMedium& medium,
                                std::set<std::string>& visited) const {
    // The lower layers are only read; the upper one is written, and its medium is what a
    // write (and a free-space wipe) reaches. fuse-overlayfs does not show its layers, and a
    // container does not see the host's folders: the medium then stays unknown.
    const std::string upper = overlay.SuperOptionValue("upperdir");
    struct statx st;
    if (upper.empty() ||
        ::statx(AT_FDCWD, upper.c_str(), AT_NO_AUTOMOUNT, STATX_TYPE | STATX_MNT_ID, &st) != 0) {
        return;
    }
    MountFacts host;
    if (!MountHolding(upper, st.stx_mnt_id, (st.stx_mask & STATX_MNT_ID) != 0, host) ||
        !visited.insert("mount:" + std::to_string(host.entry.mountId)).second) {
        return;
    }
    WalkHost(host, medium.upperLayerFsTypes, medium, visited);
}

void MediumInfo::WalkHost(const MountFacts& host, std::vector<std::string>& hostFsTypes,
                          BlockMedium& medium, std::set<std::string>& visited) const {
    const std::string& fsType = host.entry.fsType;
    if (std::find(hostFsTypes.begin(), hostFsTypes.end(), fsType) == hostFsTypes.end()) {
        hostFsTypes.push_back(fsType);
    }
    WalkMount(host, medium, visited);
}

}  // namespace tolvane
