#pragma once

#include <string>

namespace tolvane::test {

// Choices beyond the plain image; the defaults make exactly the plain one.
struct LoopImageOptions {
    std::string mkfsOptions;   // added to the mkfs command line, e.g. "-O inline_data"
    std::string mountOptions;  // added after "loop" in the mount options, e.g. "data=journal"
    std::string imageFolder;   // where the image file lives; empty: the test's folder
};

// A small file-system image made by the test, formatted and loop-mounted at
// <folder>/mnt. Free-space wiping runs only on such images. When making or mounting is
// not permitted (no root, no loop devices, no mkfs for the type), Mounted() is false and
// SkipReason() says why; use TOLVANE_SKIP_UNLESS_MOUNTED.
class LoopImage {
public:
    // fsType: "ext4", "xfs" or "btrfs"; megabytes: the image size.
    LoopImage(const std::string& folder, const std::string& fsType, int megabytes,
              const LoopImageOptions& options = {});
    ~LoopImage();
    LoopImage(const LoopImage&) = delete;
    LoopImage& operator=(const LoopImage&) = delete;

    bool Mounted() const { return m_mounted; }
    const std::string& SkipReason() const { return m_skipReason; }
    // The mount point, without a trailing separator.
    const std::string& MountPoint() const { return m_mountPoint; }
    const std::string& ImagePath() const { return m_image; }

    // Unmounts (so the raw image can be scanned); true when it is no longer mounted.
    bool Unmount();
    // Mounts again after Unmount.
    bool Remount();
    // The raw bytes of the image file (call after Unmount so every write reached it).
    std::string ReadImage() const;

private:
    bool Mount();

    std::string m_image;
    std::string m_mountPoint;
    std::string m_fsType;
    std::string m_mountOptions;
    std::string m_skipReason;
    bool m_mounted = false;
};

// A file system mounted by the test on a folder it made, undone (detached when busy) when it
// goes. Mounted() is false (with SkipReason()) when mounting is not permitted.
class FolderMount {
public:
    ~FolderMount();
    FolderMount(const FolderMount&) = delete;
    FolderMount& operator=(const FolderMount&) = delete;

    bool Mounted() const { return m_mounted; }
    const std::string& SkipReason() const { return m_skipReason; }

protected:
    // Runs "mount <options> <source> <target>"; `what` names the kind of mount in reasons.
    FolderMount(const std::string& what, const std::string& options, const std::string& source,
                const std::string& target);

private:
    std::string m_target;
    std::string m_skipReason;
    bool m_mounted = false;
};

// A bind mount of a folder the test made onto another.
class BindMount : public FolderMount {
public:
    BindMount(const std::string& source, const std::string& target)
        : FolderMount("bind mounts", "--bind", source, target) {}
};

// A small tmpfs, e.g. to hold an image file in memory.
class TmpfsMount : public FolderMount {
public:
    TmpfsMount(const std::string& target, int megabytes)
        : FolderMount("tmpfs mounts", "-t tmpfs -o size=" + std::to_string(megabytes) + "M",
                      "tmpfs", target) {}
};

// An overlay of the folder `lower` (read through) and `upper` (where changes go), made with
// `work` as the overlay's own scratch folder, mounted on `target`; all four made by the test.
// Folders of the lower layer cannot be renamed (no redirect_dir), as on most systems.
class OverlayMount : public FolderMount {
public:
    OverlayMount(const std::string& lower, const std::string& upper, const std::string& work,
                 const std::string& target)
        : FolderMount("overlay mounts",
                      "-t overlay -o lowerdir=" + lower + ",upperdir=" + upper +
                          ",workdir=" + work + ",redirect_dir=off",
                      "overlay", target) {}
};

#define TOLVANE_SKIP_UNLESS_MOUNTED(image)                                   \
    do {                                                                     \
        if (!(image).Mounted()) {                                            \
            GTEST_SKIP() << "mount not available: " << (image).SkipReason(); \
        }                                                                    \
    } while (0)

}  // namespace tolvane::test
