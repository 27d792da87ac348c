#include "platform/Ext4FolderBlocks.h"

#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/UniqueFd.h"

namespace tolvane {
namespace {

// Where the superblock keeps what is read here; the on-disk format does not change.
constexpr std::uint64_t kSuperblockAt = 1024;
constexpr std::size_t kLogBlockSize = 0x18, kMagic = 0x38, kIncompat = 0x60, kRoCompat = 0x64,
                      kHashSeed = 0xEC, kFlags = 0x160;
constexpr std::uint16_t kExt4Magic = 0xEF53;
constexpr std::uint32_t kIncompatLargeDir = 0x4000, kIncompatDirData = 0x1000,
                        kIncompatEncrypt = 0x10000, kIncompatCasefold = 0x20000;
constexpr std::uint32_t kRoCompatMetadataCsum = 0x400;
constexpr std::uint32_t kFlagsUnsignedHash = 0x2;
// The folder's own flags that change how its names are hashed.
constexpr long kEncryptedFolder = 0x800, kCasefoldFolder = 0x40000000;
// Hash versions 0-2 (legacy, half md4, tea) have unsigned twins 3-5.
constexpr std::uint32_t kLastSignedHash = 2, kUnsignedHashOffset = 3;
// A leaf block ends in a 12-byte record holding its checksum, where the volume has them.
constexpr std::uint32_t kChecksumRecord = 12;
constexpr std::uint32_t kEntryHeader = 8;

std::uint32_t Le32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

std::uint16_t Le16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

// A record length as stored: 64 KiB blocks need two more bits, kept in the low ones.
std::uint32_t RecordLength(const std::string& block, std::size_t at, std::uint32_t blockSize) {
    const std::uint32_t stored = Le16(block, at + 4);
    if (stored == 65535 || stored == 0) {
        return blockSize;
    }
    return (stored & 65532) | (stored & 3) << 16;
}

struct Extent {
    std::uint64_t logical, physical, length;  // bytes
};

// Where the folder's blocks are on the device.
bool MapFolder(int folderFd, std::vector<Extent>& extents) {
    constexpr unsigned kBatch = 64;
    alignas(fiemap) char buffer[sizeof(fiemap) + kBatch * sizeof(fiemap_extent)];
    for (std::uint64_t start = 0;;) {
        std::memset(buffer, 0, sizeof buffer);
        auto* map = reinterpret_cast<fiemap*>(buffer);
        map->fm_start = start;
        map->fm_length = FIEMAP_MAX_OFFSET - start;
        map->fm_extent_count = kBatch;
        if (::ioctl(folderFd, FS_IOC_FIEMAP, map) != 0) {
            return false;
        }
        if (map->fm_mapped_extents == 0) {
            return true;
        }
        for (unsigned i = 0; i < map->fm_mapped_extents; ++i) {
            const fiemap_extent& e = map->fm_extents[i];
            if (e.fe_flags & (FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC |
                              FIEMAP_EXTENT_ENCODED | FIEMAP_EXTENT_DATA_INLINE)) {
                return false;  // not a place on the device the blocks could be read from
            }
            extents.push_back({e.fe_logical, e.fe_physical, e.fe_length});
            if (e.fe_flags & FIEMAP_EXTENT_LAST) {
                return true;
            }
            start = e.fe_logical + e.fe_length;
        }
    }
}

class FolderReader {
public:
    FolderReader(int device, std::vector<Extent> extents, Ext4FolderBlocks& folder)
        : m_device(device), m_extents(std::move(extents)), m_folder(folder) {}

    bool ReadBlock(std::uint64_t block, std::string& bytes) const {
        const std::uint64_t at = block * m_folder.blockSize;
        for (const Extent& e : m_extents) {
            if (at >= e.logical && at + m_folder.blockSize <= e.logical + e.length) {
                bytes.assign(m_folder.blockSize, '\0');
                return ::pread(m_device, bytes.data(), bytes.size(),
                               static_cast<off_t>(e.physical + (at - e.logical))) ==
                       static_cast<ssize_t>(bytes.size());
            }
        }
        return false;
    }

    // The root block: the "." and ".." entries, then the index's header and entries.
    bool ReadRoot(unsigned maxLevels) {
        std::string root;
        if (!ReadBlock(0, root) || RecordLength(root, 0, m_folder.blockSize) != 12 ||
            RecordLength(root, 12, m_folder.blockSize) != m_folder.blockSize - 12 ||
            Le32(root, 24) != 0) {
            return false;
        }
        const std::uint32_t version = static_cast<unsigned char>(root[28]);
        const unsigned infoLength = static_cast<unsigned char>(root[29]);
        const unsigned levels = static_cast<unsigned char>(root[30]);
        if (version > kLastSignedHash || levels > maxLevels) {
            return false;
        }
        m_folder.hashVersion = version;
        return ReadIndex(root, 24 + infoLength, levels, 0, 0xFFFFFFFFu);
    }

private:
    // Index entries at `at`: a count and the first block, then hash and block pairs. Each
    // entry's blocks take the hashes from its own up to the next entry's.
    bool ReadIndex(const std::string& block, std::size_t at, unsigned levelsBelow,
                   std::uint32_t from, std::uint32_t to) {
        const std::uint16_t limit = Le16(block, at);
        const std::uint16_t count = Le16(block, at + 2);
        if (count == 0 || count > limit || at + std::size_t{limit} * 8 > block.size()) {
            return false;
        }
        for (std::uint16_t i = 0; i < count; ++i) {
            const std::uint32_t lower = i == 0 ? from : Le32(block, at + i * 8u);
            const std::uint32_t upper = i + 1 < count ? Le32(block, at + (i + 1) * 8u) - 1 : to;
            const std::uint32_t child = Le32(block, at + i * 8u + 4) & 0x0FFFFFFF;
            if (lower > upper || !(levelsBelow == 0 ? ReadLeaf(child, lower, upper)
                                                    : ReadNode(child, levelsBelow, lower, upper))) {
                return false;
            }
        }
        return true;
    }

    // An index block below the root: one empty entry over the whole block, then its index.
    bool ReadNode(std::uint64_t number, unsigned levelsBelow, std::uint32_t from,
                  std::uint32_t to) {
        std::string node;
        return ReadBlock(number, node) && Le32(node, 0) == 0 &&
               RecordLength(node, 0, m_folder.blockSize) == m_folder.blockSize &&
               ReadIndex(node, kEntryHeader, levelsBelow - 1, from, to);
    }

    bool ReadLeaf(std::uint64_t number, std::uint32_t from, std::uint32_t to) {
        Ext4FolderBlocks::Leaf leaf;
        leaf.block = number;
        leaf.hashFrom = from;
        leaf.hashTo = to;
        if (!ReadBlock(number, leaf.bytes)) {
            return false;
        }
        for (std::uint32_t at = 0; at < m_folder.entryArea;) {
            if (at + kEntryHeader > m_folder.entryArea) {
                return false;
            }
            Ext4FolderBlocks::Record record;
            record.offset = at;
            record.length = RecordLength(leaf.bytes, at, m_folder.blockSize);
            const unsigned nameLength = static_cast<unsigned char>(leaf.bytes[at + 6]);
            record.used = Le32(leaf.bytes, at) == 0 ? 0 : (kEntryHeader + nameLength + 3) & ~3u;
            if (record.length < kEntryHeader || record.length % 4 != 0 ||
                record.used > record.length || at + record.length > m_folder.entryArea) {
                return false;  // not a leaf as this reads them
            }
            leaf.records.push_back(record);
            at += record.length;
        }
        m_folder.leaves.push_back(std::move(leaf));
        return true;
    }

    int m_device;
    std::vector<Extent> m_extents;
    Ext4FolderBlocks& m_folder;
};

}  // namespace

bool IsHashedFolder(int folderFd) {
    long flags = 0;
    return ::ioctl(folderFd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_INDEX_FL) != 0;
}

bool Ext4WipesRemovedEntries() {
    utsname system{};
    int major = 0, minor = 0;
    return ::uname(&system) == 0 && std::sscanf(system.release, "%d.%d", &major, &minor) == 2 &&
           (major > 5 || (major == 5 && minor >= 15));
}

bool ReadExt4FolderBlocks(int folderFd, const std::string& deviceName, Ext4FolderBlocks& folder) {
    long flags = 0;
    if (deviceName.empty() || ::ioctl(folderFd, FS_IOC_GETFLAGS, &flags) != 0 ||
        !(flags & FS_INDEX_FL) || (flags & (kEncryptedFolder | kCasefoldFolder))) {
        return false;
    }
    // Only the device's owner (root) may read it: for everyone else this is where it ends.
    UniqueFd device(::open(("/dev/" + deviceName).c_str(), O_RDONLY | O_CLOEXEC));
    std::string super(1024, '\0');
    if (!device.Valid() ||
        ::pread(device.Get(), super.data(), super.size(), kSuperblockAt) != 1024 ||
        Le16(super, kMagic) != kExt4Magic || Le32(super, kLogBlockSize) > 6) {
        return false;
    }
    const std::uint32_t incompat = Le32(super, kIncompat);
    if (incompat & (kIncompatEncrypt | kIncompatCasefold | kIncompatDirData)) {
        return false;  // names hashed or stored otherwise
    }
    folder = Ext4FolderBlocks();
    folder.blockSize = 1024u << Le32(super, kLogBlockSize);
    folder.entryArea =
        folder.blockSize - (Le32(super, kRoCompat) & kRoCompatMetadataCsum ? kChecksumRecord : 0);
    for (int i = 0; i < 4; ++i) {
        folder.hashSeed[i] = Le32(super, kHashSeed + 4 * i);
    }
    std::vector<Extent> extents;
    if (!MapFolder(folderFd, extents)) {
        return false;
    }
    FolderReader reader(device.Get(), std::move(extents), folder);
    if (!reader.ReadRoot(incompat & kIncompatLargeDir ? 2 : 1)) {
        return false;
    }
    if (Le32(super, kFlags) & kFlagsUnsignedHash) {
        folder.hashVersion += kUnsignedHashOffset;
    }
    return true;
}

}  // namespace tolvane
