#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

struct statx;

namespace tolvane {

// Attribute bits of a directory entry, with the values the rest of the program knows them by.
enum FileAttribute : std::uint32_t {
    kAttrReadOnly = 0x1,    // the owner has no write permission
    kAttrHidden = 0x2,      // the name starts with '.'
    kAttrDirectory = 0x10,  // a real directory (never a link to one)
};

// One directory entry as a listing sees it, from lstat-like data: a symbolic link is
// described as itself, never as its target.
struct FindData {
    std::string name;
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    // Times in 100-ns units since 1601-01-01 (creation is the birth time when known).
    std::int64_t creationTime = 0;
    std::int64_t accessTime = 0;
    std::int64_t writeTime = 0;
    std::uint32_t mode = 0;  // st_mode: file type and permission bits
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t mountId = 0;  // the mount the entry lies on (a mount point: the mounted one)
    std::uint32_t links = 1;    // names the entry has (hard links)
    std::uint32_t uid = 0;      // owner
    std::uint32_t gid = 0;

    bool IsDirectory() const { return (attributes & kAttrDirectory) != 0; }
    bool IsRegular() const;
    bool IsSymlink() const;
};

// Fills `data` (all but the name) from statx output.
void FillFindData(const struct statx& st, FindData& data);

// 100-ns units since 1601 from seconds and nanoseconds since 1970, and back.
std::int64_t ToFileTime(std::int64_t seconds, std::uint32_t nanoseconds);
void FromFileTime(std::int64_t fileTime, std::int64_t& seconds, long& nanoseconds);

}  // namespace tolvane
