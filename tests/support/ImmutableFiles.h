#pragma once

#include <string>
#include <vector>

namespace tolvane::test {

// What a test says when it skips because Add() failed.
inline constexpr char kNoImmutableFiles[] =
    "cannot make files immutable here (needs root and ext4/xfs/btrfs)";

// Marks files and folders immutable (not following a final link), so that erasing them fails
// for real, also for root, for as long as it lives; clears the flag again when it goes, also
// when the test fails half-way.
class ImmutableFiles {
public:
    ImmutableFiles() = default;
    ~ImmutableFiles();
    ImmutableFiles(const ImmutableFiles&) = delete;
    ImmutableFiles& operator=(const ImmutableFiles&) = delete;

    // False when the flag cannot be set here (it needs root and a file system with the flag:
    // ext4, xfs, btrfs); nothing is remembered then.
    bool Add(const std::string& path);

private:
    std::vector<std::string> m_paths;
};

}  // namespace tolvane::test
