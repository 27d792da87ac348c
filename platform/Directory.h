#pragma once

#include <dirent.h>

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "FindData.h"
#include "UniqueFd.h"

namespace tolvane {

// Opens a directory for reading relative to dirFd (AT_FDCWD for a path), never following a
// symbolic link in the last component. Invalid on failure, with errno in *error.
UniqueFd OpenDirectory(int dirFd, const std::string& name, int* error = nullptr);

// A folder for looking names up in it (O_PATH): enough for the *at calls, and works where
// the folder may be searched but not read. Follows links in `path` ("" is the current folder).
UniqueFd OpenFolderForLookup(const std::string& path, int* error = nullptr);

// A folder for reading its entries, following links in `path` ("" is the current folder).
UniqueFd OpenFolder(const std::string& path, int* error = nullptr);

// stat-like data of what `path` names, following links (the name field is left empty).
// False when it cannot be examined, with errno in *error.
bool StatFollowingLinks(const std::string& path, FindData& data, int* error = nullptr);

// lstat-like data of one entry relative to dirFd (the name may be a path). False when it
// cannot be read (errno in *error); the name field is set from the last path component.
bool StatEntry(int dirFd, const std::string& name, FindData& data, int* error = nullptr);

// Data of an open descriptor itself.
bool StatDescriptor(int fd, FindData& data);

// Reads the entries of an open directory one at a time, "." and ".." left out, each with
// its lstat-like data. The reader works on a duplicate of the descriptor, which stays the
// caller's. Not thread-safe; one reader per thread.
class DirectoryReader {
public:
    explicit DirectoryReader(int dirFd);
    ~DirectoryReader();
    DirectoryReader(const DirectoryReader&) = delete;
    DirectoryReader& operator=(const DirectoryReader&) = delete;

    bool Opened() const { return m_dir != nullptr; }
    // The next entry; false at the end or on a read error (then Error() says which). An
    // entry that vanished before it could be examined is skipped; one that is there but
    // cannot be examined (a folder without search permission) is returned with its name
    // only and *statError set to the reason, 0 otherwise.
    bool Next(FindData& entry, int* statError = nullptr);
    // errno of a read error that ended the listing early, 0 when it ran to its end.
    int Error() const { return m_error; }

private:
    int m_dirFd;
    DIR* m_dir = nullptr;
    int m_error = 0;
};

// An entry a listing names but could not examine, with the reason (errno).
struct UnreadableEntry {
    std::string name;
    int error = 0;
};

// Reads every entry of an open directory before returning, so that callers may rename and
// delete entries afterwards without the listing seeing its own changes. False (errno set)
// when the directory cannot be read completely. Entries that cannot be examined go to
// `unreadable` (when given; otherwise they are left out).
bool ReadDirectory(int dirFd, std::vector<FindData>& entries,
                   std::vector<UnreadableEntry>* unreadable = nullptr);

// The process's current directory; empty when it cannot be read (it was deleted, say).
std::string CurrentDirectory();

// The names in an open directory without "." and "..", without examining the entries (the
// expensive part of a listing, which the caller may spread over threads). False when the
// directory cannot be read or `stop` was raised.
bool ReadNames(int dirFd, std::vector<std::string>& names, const std::atomic<bool>& stop);

// Splits a path at its last separator: folder part with the separator (empty when there is
// none) and the name after it.
void SplitPath(const std::string& path, std::string& folder, std::string& name);

// Whether a path is absolute and in plain form: no empty, "." or ".." component, and more
// than the root itself. Only such a path names exactly what it spells out.
bool IsPlainAbsolutePath(std::string_view path);

}  // namespace tolvane
