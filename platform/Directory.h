#pragma once

#include <dirent.h>

#include <atomic>
#include <string>
#include <vector>

#include "FindData.h"
#include "UniqueFd.h"

namespace tolvane {

// Opens a directory for reading relative to dirFd (AT_FDCWD for a path), never following a
// symbolic link in the last component. Invalid on failure, with errno in *error.
UniqueFd OpenDirectory(int dirFd, const std::string& name, int* error = nullptr);

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
    // The next entry; false at the end or on a read error. An entry that vanished before it
    // could be examined is skipped.
    bool Next(FindData& entry);

private:
    int m_dirFd;
    DIR* m_dir = nullptr;
};

// Reads every entry of an open directory before returning, so that callers may rename and
// delete entries afterwards without the listing seeing its own changes. False when the
// directory cannot be read.
bool ReadDirectory(int dirFd, std::vector<FindData>& entries);

// The process's current directory; empty when it cannot be read (it was deleted, say).
std::string CurrentDirectory();

// The names in an open directory without "." and "..", without examining the entries (the
// expensive part of a listing, which the caller may spread over threads). False when the
// directory cannot be read or `stop` was raised.
bool ReadNames(int dirFd, std::vector<std::string>& names, const std::atomic<bool>& stop);

// Splits a path at its last separator: folder part with the separator (empty when there is
// none) and the name after it.
void SplitPath(const std::string& path, std::string& folder, std::string& name);

}  // namespace tolvane
