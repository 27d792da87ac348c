// /proc/self/mountinfo: mount points may hold any byte a user chose (FUSE, udisks labels).
#include "FuzzChecks.h"
#include "platform/Volumes.h"

using namespace tolvane;
using namespace tolvane::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<MountEntry> table = ParseMountInfo(AsText(data, size));
    for (const MountEntry& mount : table) {
        Require(!mount.mountPoint.empty() && mount.mountPoint.front() == '/',
                "a parsed mount point is absolute");
        Require(mount.mountPoint.find('\0') == std::string::npos,
                "a parsed mount point holds no zero byte (it would name another folder)");
        Require(mount.mountPoint == "/" || IsPlainAbsolute(mount.mountPoint),
                "a parsed mount point names exactly the folder it spells out");
    }
    // A drive spec stands for what its mount point shows: the last mount there.
    for (const MountEntry& mount : table) {
        const MountEntry* shown = nullptr;
        for (const MountEntry& other : table) {
            shown = other.mountPoint == mount.mountPoint ? &other : shown;
        }
        std::string root;
        Require(ParseDriveSpec(FormatDriveSpec(mount.mountPoint), root, table) ==
                    IsUserDataVolume(*shown),
                "a drive spec is taken exactly when its point shows a volume of user data");
    }
    std::string previous;
    for (const Volume& volume : SelectVolumes(table)) {
        Require(volume.root.size() >= 1 && volume.root.front() == '/' && volume.root.back() == '/',
                "a volume's root is absolute and ends with a separator");
        Require(volume.root > previous, "volumes are sorted, one per root");
        previous = volume.root;
        // The drive spec of a volume names that volume again; "/" is browsed even when it
        // is no volume of user data (a RAM root), but then has no free space to wipe.
        std::string root;
        const bool parsed = ParseDriveSpec(FormatDriveSpec(volume.root), root, table);
        if (volume.root != "/") {
            Require(parsed && root == volume.root, "a volume's drive spec reads back as its root");
        }
    }
    return 0;
}
