// Mount table parsing, the choice of volumes, drive specs and free space.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "LoopImage.h"
#include "TempDir.h"
#include "platform/FileSystem.h"
#include "platform/Volumes.h"

namespace tolvane {
namespace {

using test::LoopImage;
using test::TempDir;

TEST(ParseMountInfo, ReadsFieldsAndDecodesEscapes) {
    const std::string text =
        "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw,discard\n"
        "36 27 8:17 / /media/me/My\\040Disk rw,nosuid shared:1 master:2 - vfat /dev/sdb1 rw\n"
        "40 27 8:2 /sub\\134dir /srv/back\\011slash ro,relatime - ext4 /dev/sda2 ro\n"
        "garbage line\n"
        "41 27 0:50 / /mnt/short rw -\n"
        "43 27 8:3 / relative rw - ext4 /dev/sda3 rw\n"  // not the kernel's: skipped
        "44 27 8:4 / /mnt/a\\000b rw - ext4 /dev/sda4 rw\n"
        "45 27 8:5 / /mnt/../etc rw - ext4 /dev/sda5 rw\n"
        "46 27 8:6 / /mnt/x/ rw - ext4 /dev/sda6 rw\n"
        "42 27 0:51 / /run/user/1000 rw,nosuid,nodev - tmpfs tmpfs rw";
    std::vector<std::string> fields;
    for (const MountEntry& m : ParseMountInfo(text)) {
        fields.push_back(std::to_string(m.mountId) + " " + std::to_string(m.major) + ":" +
                         std::to_string(m.minor) + " [" + m.root + "] [" + m.mountPoint + "] " +
                         m.fsType + " " + m.source + (m.readOnly ? " ro" : " rw"));
    }
    EXPECT_EQ(fields,
              (std::vector<std::string>{"27 254:0 [/] [/] ext4 /dev/vda rw",
                                        "36 8:17 [/] [/media/me/My Disk] vfat /dev/sdb1 rw",
                                        "40 8:2 [/sub\\dir] [/srv/back\tslash] ext4 /dev/sda2 ro",
                                        "42 0:51 [/] [/run/user/1000] tmpfs tmpfs rw"}));
}

MountEntry Mount(std::string mountPoint, std::string fsType, unsigned major = 8, unsigned minor = 1,
                 std::string root = "/") {
    MountEntry entry;
    entry.mountPoint = std::move(mountPoint);
    entry.fsType = std::move(fsType);
    entry.major = major;
    entry.minor = minor;
    entry.root = std::move(root);
    return entry;
}

// The pseudo file systems are a list in the code; here, one of them and where volumes lie.
TEST(IsUserDataVolume, KeepsOnlyVolumesOfUserData) {
    const struct {
        std::string mountPoint;
        std::string fsType;
        bool userData;
    } cases[] = {
        {"/", "ext4", true},
        {"/", "overlay", true},  // containers and live sessions keep the user's files there
        {"/home", "fuse.fuse-overlayfs", true},
        {"/", "tmpfs", false},        // a pseudo file system, wherever it is mounted
        {"/dev/sdx", "ext4", false},  // under /dev, whatever it holds
        {"/run", "ext4", false},
        {"/run/media/me/USB", "vfat", true},
        {"/running", "ext4", true},  // only the folder /run counts
        {"/mnt/nas", "nfs4", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsUserDataVolume(Mount(c.mountPoint, c.fsType)), c.userData)
            << c.mountPoint << " " << c.fsType;
    }
}

TEST(SelectVolumes, OneSortedEntryPerDeviceWithSlowFlags) {
    const std::vector<MountEntry> table = {
        Mount("/", "ext4", 254, 0),
        Mount("/proc", "proc", 0, 21),
        Mount("/srv/home", "ext4", 8, 3, "/me"),  // a bind mount of part of /home's device
        Mount("/home", "ext4", 8, 3),
        Mount("/var/tmp", "ext4", 254, 0, "/tmp"),  // a bind mount of part of /
        Mount("/mnt/nas", "nfs", 0, 60),
        Mount("/media/me/USB", "vfat", 8, 17),
        Mount("/tmp", "tmpfs", 0, 30),
        Mount("/boot", "ext2", 8, 1),
        // A second file system mounted over the first hides it: the drive is the one on top,
        // never both under one name.
        Mount("/mnt/disk", "ext4", 8, 33),
        Mount("/mnt/disk", "xfs", 8, 34),
        Mount("/mnt/other", "ext4", 8, 33),
    };
    std::vector<std::string> seen;
    for (const Volume& volume : SelectVolumes(table)) {
        seen.push_back(volume.root + " " + volume.fsType + (volume.slow ? " slow" : ""));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"/ ext4", "/boot/ ext2", "/home/ ext4",
                                              "/media/me/USB/ vfat slow", "/mnt/disk/ xfs",
                                              "/mnt/nas/ nfs slow", "/mnt/other/ ext4"}));
}

// A container: its root is an overlay, and single files of the host are bound over some of
// its files. A file is never a volume; "/" always is, listed or not.
TEST(SelectVolumes, ContainerRootsAndSingleFileMounts) {
    TempDir temp;
    ASSERT_TRUE(test::WriteFile(temp / "hosts", "127.0.0.1 localhost\n"));
    ASSERT_TRUE(test::MakeDirs(temp / "data"));
    auto roots = [](const std::vector<MountEntry>& table) {
        std::vector<std::string> seen;
        for (const Volume& volume : SelectVolumes(table)) {
            seen.push_back(volume.root + " " + volume.fsType);
        }
        return seen;
    };
    EXPECT_EQ(roots({Mount("/", "overlay", 0, 40), Mount(temp / "hosts", "ext4", 8, 1),
                     Mount(temp / "data", "ext4", 8, 1, "/srv/data")}),
              (std::vector<std::string>{"/ overlay", temp / "data/ ext4"}));
    // A chroot whose root is no mount point: the table has no "/" at all.
    EXPECT_EQ(roots({Mount(temp / "hosts", "ext4", 8, 1)}), std::vector<std::string>{"/ "});
    // A root on a RAM file system is browsed all the same.
    EXPECT_EQ(roots({Mount("/", "tmpfs", 0, 30)}), std::vector<std::string>{"/ tmpfs"});

    // "/:" is the free space of whatever holds a root the table does not list.
    std::string root;
    EXPECT_TRUE(ParseDriveSpec("/:", root, {Mount(temp / "data", "ext4")}));
    EXPECT_EQ(root, "/");
    EXPECT_FALSE(ParseDriveSpec("/:", root, {Mount("/", "tmpfs", 0, 30)}));
    EXPECT_FALSE(ParseDriveSpec(temp / "hosts:", root, {Mount(temp / "hosts", "ext4")}));
}

TEST(DriveSpec, ParsesMountPointsOfUserDataVolumesOnly) {
    const std::vector<MountEntry> table = {Mount("/", "ext4"),
                                           Mount("/home", "ext4", 8, 3),
                                           Mount("/proc", "proc", 0, 21),
                                           Mount("/media/me/My Disk", "vfat", 8, 17),
                                           Mount("/mnt/disk", "ext4", 8, 33),
                                           Mount("/mnt/disk", "tmpfs", 0, 40)};
    struct Case {
        std::string text;
        std::string root;  // empty: not a drive spec
    };
    for (const Case& c :
         {Case{"/:", "/"}, Case{"/home/:", "/home/"},
          Case{"/media/me/My Disk:", "/media/me/My Disk/"}, Case{"/home/me:", ""},
          Case{"/proc:", ""}, Case{"home:", ""}, Case{"/home", ""}, Case{":", ""},
          Case{"/mnt/disk:", ""}}) {  // a RAM file system hides the disk mounted there
        std::string root = "unchanged";
        const bool parsed = ParseDriveSpec(c.text, root, table);
        EXPECT_EQ(parsed, !c.root.empty()) << c.text;
        EXPECT_EQ(root, parsed ? c.root : "unchanged") << c.text;
    }
    EXPECT_EQ(FormatDriveSpec("/home"), "/home:");
    EXPECT_EQ(FormatDriveSpec("/media/me/My Disk/"), "/media/me/My Disk:");
}

TEST(Volumes, DriveSpecsVolumeRootsAndFreeBytesOfALoopImage) {
    TempDir temp;
    LoopImage image(temp / "img", "ext4", 64);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    const std::string mp = image.MountPoint();
    const std::vector<Volume> volumes = ListVolumes();  // from the mount table, as it is now
    EXPECT_TRUE(std::any_of(volumes.begin(), volumes.end(),
                            [&](const Volume& v) { return v.root == mp + "/"; }));
    std::string root;
    EXPECT_TRUE(ParseDriveSpec(mp + ":", root));
    EXPECT_EQ(root, mp + "/");
    // A folder that is no mount point is an ordinary path, even with a ':' at its end.
    ASSERT_TRUE(test::MakeDirs(temp / "x"));
    EXPECT_FALSE(ParseDriveSpec(temp / "x:", root));
    EXPECT_FALSE(ParseDriveSpec(mp + "/lost+found:", root));

    ASSERT_TRUE(test::WriteFile(mp + "/file.txt", "x"));
    // Missing paths and patterns are placed by their nearest parent.
    for (const std::string& path :
         {mp + "/file.txt", mp, mp + "/", mp + "/no/such", mp + "/*.txt"}) {
        EXPECT_EQ(VolumeRootOf(path), mp + "/") << path;
    }
    // The folder that holds the mount point lies on the volume of the temp folder.
    EXPECT_EQ(VolumeRootOf(image.ImagePath()), VolumeRootOf(temp.Path()));
    EXPECT_NE(VolumeRootOf(temp.Path()), mp + "/");

    const std::uint64_t free = AvailableBytes(RealFileSystem(), mp + "/");
    EXPECT_GT(free, 32u * 1024 * 1024);
    EXPECT_LT(free, 64u * 1024 * 1024);
    ASSERT_TRUE(test::WriteFileOfSize(mp + "/fill", 8 * 1024 * 1024));
    ::sync();
    EXPECT_LE(AvailableBytes(RealFileSystem(), mp + "/"), free - 8u * 1024 * 1024);
    EXPECT_EQ(AvailableBytes(RealFileSystem(), temp / "no/such/volume/"), 0u);
}

}  // namespace
}  // namespace tolvane
