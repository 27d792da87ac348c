#include "platform/VolumeJournal.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/Descriptors.h"

namespace tolvane {
namespace {

constexpr long kXfsMagic = 0x58465342;  // "XFSB"

// The kernel's headers of this distribution do not carry these; their values are the
// kernel's interface and do not change.
constexpr unsigned long kExt4Checkpoint = _IOW('f', 43, std::uint32_t);
constexpr std::uint32_t kExt4CheckpointZeroOut = 0x2;

struct XfsGeometryV1 {
    std::uint32_t blocksize, rtextsize, agblocks, agcount, logblocks, sectsize, inodesize, imaxpct;
    std::uint64_t datablocks, rtblocks, rtextents, logstart;
    unsigned char uuid[16];
    std::uint32_t sunit, swidth;
    std::int32_t version;
    std::uint32_t flags, logsectsize, rtsectsize, dirblocksize;
};
constexpr unsigned long kXfsGeometryV1 = _IOR('X', 100, XfsGeometryV1);

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The block device's kernel name ("loop0", "sda1"), from sysfs.
std::string DeviceName(dev_t device) {
    const std::string link =
        "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    char target[4096];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) {
        return std::string();
    }
    std::string path(target, static_cast<std::size_t>(n));
    return path.substr(path.rfind('/') + 1);
}

// The journal size mke2fs gives a volume of `blocks` blocks, in blocks: each row holds for
// volumes smaller than its bound (both in 1024 blocks).
std::uint64_t DefaultExt4JournalBlocks(std::uint64_t blocks) {
    constexpr struct {
        std::uint64_t volumeBelow;
        std::uint64_t journal;
    } kSizes[] = {{32, 1}, {256, 4}, {512, 8}, {4096, 16}, {8192, 32}, {16384, 64}, {32768, 128}};
    const std::uint64_t k = 1024;
    for (const auto& size : kSizes) {
        if (blocks < size.volumeBelow * k) {
            return size.journal * k;
        }
    }
    return 256 * k;
}

// The kernel publishes the largest transaction, a fixed fraction of the journal (a third or
// a quarter, by kernel version), not the journal's size. The size mke2fs would have chosen
// is taken when it agrees with that; otherwise the larger bound, so the journal is never
// underestimated. mke2fs chose by the whole volume, which statfs tells less what the file
// system's own tables take (a few percent; an eighth on the smallest volumes): the size
// for a volume up to a quarter larger is tried too.
std::uint64_t Ext4JournalBlocks(const std::string& device, std::uint64_t volumeBlocks) {
    const std::string info = ReadText("/proc/fs/jbd2/" + device + "-8/info");
    const std::string::size_type at = info.find("each up to ");
    if (at == std::string::npos) {
        return 0;
    }
    const std::uint64_t largest = std::strtoull(info.c_str() + at + 11, nullptr, 10);
    if (largest == 0) {
        return 0;
    }
    for (const std::uint64_t blocks : {volumeBlocks, volumeBlocks + volumeBlocks / 4}) {
        const std::uint64_t guess = DefaultExt4JournalBlocks(blocks);
        if (guess >= 3 * largest && guess <= 4 * (largest + 1)) {
            return guess;
        }
    }
    return 4 * (largest + 1);
}

}  // namespace

bool ReadVolumeJournal(int fd, VolumeJournal& journal) {
    struct statfs fs;
    struct stat st;
    if (::fstatfs(fd, &fs) != 0 || ::fstat(fd, &st) != 0) {
        return false;
    }
    journal = VolumeJournal();
    journal.blockSize = static_cast<std::uint32_t>(fs.f_bsize);
    journal.deviceName = DeviceName(st.st_dev);
    if (fs.f_type == EXT4_SUPER_MAGIC) {
        journal.kind = VolumeJournal::Kind::kExt4;
        journal.fsName = "ext4";
        journal.journalBytes =
            Ext4JournalBlocks(journal.deviceName, static_cast<std::uint64_t>(fs.f_blocks)) *
            journal.blockSize;
        // The journal's thread, or "<none>" on a volume without a journal.
        journal.hasJournal =
            ReadText("/sys/fs/ext4/" + journal.deviceName + "/journal_task").rfind("<none>", 0) !=
            0;
    } else if (fs.f_type == kXfsMagic) {
        journal.kind = VolumeJournal::Kind::kXfs;
        journal.fsName = "xfs";
        XfsGeometryV1 geometry{};
        if (::ioctl(fd, kXfsGeometryV1, &geometry) == 0) {
            journal.journalBytes =
                static_cast<std::uint64_t>(geometry.logblocks) * geometry.blocksize;
            journal.inodeSize = geometry.inodesize;
            journal.folderBlockSize = geometry.dirblocksize;
        }
    }
    return true;
}

bool CheckpointAndZeroJournal(int fd) {
    std::uint32_t flags = kExt4CheckpointZeroOut;
    return ::ioctl(fd, kExt4Checkpoint, &flags) == 0;
}

bool XfsLogPosition(const VolumeJournal& journal, std::uint64_t& position) {
    if (journal.deviceName.empty() || journal.journalBytes == 0) {
        return false;
    }
    const std::string text = ReadText("/sys/fs/xfs/" + journal.deviceName + "/log/log_head_lsn");
    unsigned long long cycle = 0, block = 0;
    if (std::sscanf(text.c_str(), "%llu:%llu", &cycle, &block) != 2) {
        return false;
    }
    position = cycle * (journal.journalBytes / 512) + block;
    return true;
}

std::string DescriptorPath(int fd) {
    char target[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0 || target[0] != '/') {
        return std::string();
    }
    std::string path(target, static_cast<std::size_t>(n));
    const std::string removed = " (deleted)";
    if (path.size() > removed.size() &&
        path.compare(path.size() - removed.size(), removed.size(), removed) == 0) {
        return std::string();
    }
    return path;
}

std::string StateFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        std::string path = state;
        return path.back() == '/' ? path : path + "/";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        std::string path = home;
        return (path.back() == '/' ? path : path + "/") + ".local/state/";
    }
    return std::string();
}

}  // namespace tolvane

namespace tolvane {

bool TryLockExclusive(int fd) {
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

}  // namespace tolvane

namespace tolvane {

UniqueFd OpenForReadWrite(int dirFd, const std::string& name) {
    UniqueFd fd(
        ::openat(dirFd, name.c_str(), O_RDWR | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    struct stat st;
    if (fd.Valid() && (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))) {
        errno = EINVAL;
        return UniqueFd();
    }
    return fd;
}

bool ReadAll(int fd, std::string& text) {
    text.clear();
    char buffer[65536];
    for (off_t offset = 0;;) {
        const ssize_t n =
            RetryOnInterrupt([&] { return ::pread(fd, buffer, sizeof buffer, offset); });
        if (n <= 0) {
            return n == 0;
        }
        text.append(buffer, static_cast<std::size_t>(n));
        offset += n;
    }
}

}  // namespace tolvane
