#pragma once

#include <string>
#include <vector>

namespace tolvane::test {

// Sets or clears the immutable attribute of a file or folder (not following a final link), so
// that erasing it fails for real, also for root. False when that is not possible here (it
// needs root and a file system with the flag: ext4, xfs, btrfs).
bool SetImmutable(const std::string& path, bool on);

// Marks files immutable for as long as it lives and clears the flag again when it goes, also
// when the test fails half-way.
class ImmutableFiles {
public:
    ImmutableFiles() = default;
    ~ImmutableFiles();
    ImmutableFiles(const ImmutableFiles&) = delete;
    ImmutableFiles& operator=(const ImmutableFiles&) = delete;

    // False when the flag cannot be set (see SetImmutable); nothing is remembered then.
    bool Add(const std::string& path);

private:
    std::vector<std::string> m_paths;
};

}  // namespace tolvane::test
