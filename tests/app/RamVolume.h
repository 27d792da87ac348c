#pragma once

#include <string>

#include "LoopImage.h"
#include "TempDir.h"

namespace tolvane::test {

// A small tmpfs that the test mounts on <parent>/ram: a volume whose pages may go to swap,
// so the medium check has a note for whatever lies on it. Check Mounted() (or use
// TOLVANE_SKIP_UNLESS_MOUNTED) before use.
class RamVolume : public TmpfsMount {
public:
    explicit RamVolume(const std::string& parent)
        : TmpfsMount(MadeFolder(parent + "/ram"), 8), m_folder(parent + "/ram") {}

    // The mount point, without a trailing separator.
    const std::string& Folder() const { return m_folder; }
    // A file with some content on the volume; its path.
    std::string MakeFile() const {
        const std::string path = m_folder + "/secret";
        return WriteFile(path, "secret") ? path : std::string();
    }

private:
    static std::string MadeFolder(const std::string& folder) {
        MakeDirs(folder);  // a failure shows as a failed mount
        return folder;
    }

    std::string m_folder;
};

}  // namespace tolvane::test
