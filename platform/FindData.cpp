#include "FindData.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace tolvane {
namespace {
// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kEpochDifference = 11644473600LL;
constexpr std::int64_t kUnitsPerSecond = 10000000LL;
}  // namespace

bool FindData::IsRegular() const {
    return S_ISREG(mode);
}
bool FindData::IsSymlink() const {
    return S_ISLNK(mode);
}

std::int64_t ToFileTime(std::int64_t seconds, std::uint32_t nanoseconds) {
    return (seconds + kEpochDifference) * kUnitsPerSecond + nanoseconds / 100;
}

void FromFileTime(std::int64_t fileTime, std::int64_t& seconds, long& nanoseconds) {
    std::int64_t units = fileTime - kEpochDifference * kUnitsPerSecond;
    seconds = units / kUnitsPerSecond;
    std::int64_t rest = units % kUnitsPerSecond;
    if (rest < 0) {  // keep nanoseconds in 0..999999999 for times before 1970
        rest += kUnitsPerSecond;
        --seconds;
    }
    nanoseconds = static_cast<long>(rest * 100);
}

void FillFindData(const struct statx& st, FindData& data) {
    data.mode = st.stx_mode;
    data.size = st.stx_size;
    data.device = (static_cast<std::uint64_t>(st.stx_dev_major) << 32) | st.stx_dev_minor;
    data.inode = st.stx_ino;
    data.links = st.stx_nlink;
    data.uid = st.stx_uid;
    data.gid = st.stx_gid;
    data.mountId = (st.stx_mask & STATX_MNT_ID) ? st.stx_mnt_id : 0;
    data.accessTime = ToFileTime(st.stx_atime.tv_sec, st.stx_atime.tv_nsec);
    data.writeTime = ToFileTime(st.stx_mtime.tv_sec, st.stx_mtime.tv_nsec);
    data.creationTime = (st.stx_mask & STATX_BTIME)
                            ? ToFileTime(st.stx_btime.tv_sec, st.stx_btime.tv_nsec)
                            : ToFileTime(st.stx_ctime.tv_sec, st.stx_ctime.tv_nsec);
    data.attributes = 0;
    if (S_ISDIR(st.stx_mode)) {
        data.attributes |= kAttrDirectory;
    }
    if ((st.stx_mode & S_IWUSR) == 0) {
        data.attributes |= kAttrReadOnly;
    }
    if (!data.name.empty() && data.name[0] == '.') {
        data.attributes |= kAttrHidden;
    }
}

}  // namespace tolvane
