// Mount table parsing, the choice of volumes, drive specs and free space.
#include <gtest/gtest.h>
#include <unistd.h>

#include "LoopImage.h"
#include "TempDir.h"
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
        "42 27 0:51 / /run/user/1000 rw,nosuid,nodev - tmpfs tmpfs rw";
    const std::vector<MountEntry> table = ParseMountInfo(text);
    ASSERT_EQ(table.size(), 4u);

    EXPECT_EQ(table[0].mountId, 27u);
    EXPECT_EQ(table[0].major, 254u);
    EXPECT_EQ(table[0].minor, 0u);
    EXPECT_EQ(table[0].mountPoint, "/");
    EXPECT_EQ(table[0].fsType, "ext4");
    EXPECT_EQ(table[0].source, "/dev/vda");
    EXPECT_FALSE(table[0].readOnly);

    EXPECT_EQ(table[1].mountPoint, "/media/me/My Disk");
    EXPECT_EQ(table[1].major, 8u);
    EXPECT_EQ(table[1].minor, 17u);
    EXPECT_EQ(table[1].fsType, "vfat");
    EXPECT_EQ(table[1].source, "/dev/sdb1");

    EXPECT_EQ(table[2].root, "/sub\\dir");
    EXPECT_EQ(table[2].mountPoint, "/srv/back\tslash");
    EXPECT_TRUE(table[2].readOnly);

    EXPECT_EQ(table[3].mountPoint, "/run/user/1000");
    EXPECT_EQ(table[3].fsType, "tmpfs");
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

struct VolumeCase {
    std::string mountPoint;
    std::string fsType;
    bool userData;
};

class UserDataVolume : public testing::TestWithParam<VolumeCase> {};

TEST_P(UserDataVolume, KeepsOnlyVolumesOfUserData) {
    EXPECT_EQ(IsUserDataVolume(Mount(GetParam().mountPoint, GetParam().fsType)),
              GetParam().userData);
}

INSTANTIATE_TEST_SUITE_P(
    Mounts, UserDataVolume,
    testing::Values(VolumeCase{"/", "ext4", true}, VolumeCase{"/home", "btrfs", true},
                    VolumeCase{"/proc", "proc", false}, VolumeCase{"/sys", "sysfs", false},
                    VolumeCase{"/sys/fs/cgroup/cpu", "cgroup", false},
                    VolumeCase{"/tmp", "tmpfs", false}, VolumeCase{"/", "overlay", false},
                    VolumeCase{"/snap/core/1", "squashfs", false},
                    VolumeCase{"/media/cd", "iso9660", false},
                    VolumeCase{"/dev/shm", "tmpfs", false},
                    VolumeCase{"/dev/sdx", "ext4", false},  // under /dev, whatever it holds
                    VolumeCase{"/run/lock", "ext4", false}, VolumeCase{"/run", "ext4", false},
                    VolumeCase{"/run/media/me/USB", "vfat", true},
                    VolumeCase{"/running", "ext4", true},  // only the folder /run counts
                    VolumeCase{"/proceeds", "xfs", true},
                    VolumeCase{"/run/user/1000/doc", "fuse.portal", false},
                    VolumeCase{"/var/lib/nfs/rpc_pipefs", "rpc_pipefs", false},
                    VolumeCase{"/mnt/nas", "nfs4", true}),
    [](const testing::TestParamInfo<VolumeCase>& info) {
        return "Case" + std::to_string(info.index);
    });

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
    };
    const std::vector<Volume> volumes = SelectVolumes(table);
    std::vector<std::pair<std::string, bool>> seen;
    for (const Volume& volume : volumes) {
        seen.emplace_back(volume.root, volume.slow);
    }
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, bool>>{{"/", false},
                                                               {"/boot/", false},
                                                               {"/home/", false},
                                                               {"/media/me/USB/", true},
                                                               {"/mnt/nas/", true}}));
}

TEST(DriveSpec, ParsesMountPointsOfUserDataVolumesOnly) {
    const std::vector<MountEntry> table = {Mount("/", "ext4"), Mount("/home", "ext4", 8, 3),
                                           Mount("/proc", "proc", 0, 21),
                                           Mount("/media/me/My Disk", "vfat", 8, 17)};
    struct Case {
        std::string text;
        std::string root;  // empty: not a drive spec
    };
    for (const Case& c : {Case{"/:", "/"}, Case{"/home:", "/home/"}, Case{"/home/:", "/home/"},
                          Case{"/media/me/My Disk:", "/media/me/My Disk/"}, Case{"/home/me:", ""},
                          Case{"/proc:", ""}, Case{"C:", ""}, Case{"home:", ""}, Case{"/home", ""},
                          Case{":", ""}, Case{"", ""}}) {
        std::string root = "unchanged";
        const bool parsed = ParseDriveSpec(c.text, root, table);
        EXPECT_EQ(parsed, !c.root.empty()) << c.text;
        EXPECT_EQ(root, parsed ? c.root : "unchanged") << c.text;
    }
    EXPECT_EQ(FormatDriveSpec("/home/"), "/home:");
    EXPECT_EQ(FormatDriveSpec("/home"), "/home:");
    EXPECT_EQ(FormatDriveSpec("/"), "/:");
    EXPECT_EQ(FormatDriveSpec("/media/me/My Disk/"), "/media/me/My Disk:");
}

class LoopVolume : public testing::Test {
protected:
    TempDir m_temp;
    LoopImage m_image{m_temp / "img", "ext4", 64};
};

TEST_F(LoopVolume, DriveSpecsOfTheRealMountTable) {
    TOLVANE_SKIP_UNLESS_MOUNTED(m_image);
    const std::string mp = m_image.MountPoint();
    std::string root;
    EXPECT_TRUE(ParseDriveSpec(mp + ":", root));
    EXPECT_EQ(root, mp + "/");
    root.clear();
    EXPECT_TRUE(ParseDriveSpec(mp + "/:", root));
    EXPECT_EQ(root, mp + "/");
    EXPECT_EQ(FormatDriveSpec(root), mp + ":");
    // A folder that is no mount point is an ordinary path, even with a ':' at its end.
    ASSERT_TRUE(test::MakeDirs(m_temp / "x"));
    EXPECT_FALSE(ParseDriveSpec(m_temp / "x:", root));
    EXPECT_FALSE(ParseDriveSpec(mp + "/lost+found:", root));
}

TEST_F(LoopVolume, VolumeRootOfPathsOnTheImage) {
    TOLVANE_SKIP_UNLESS_MOUNTED(m_image);
    const std::string mp = m_image.MountPoint();
    ASSERT_TRUE(test::WriteFile(mp + "/file.txt", "x"));
    EXPECT_EQ(VolumeRootOf(mp + "/file.txt"), mp + "/");
    EXPECT_EQ(VolumeRootOf(mp), mp + "/");
    EXPECT_EQ(VolumeRootOf(mp + "/"), mp + "/");
    EXPECT_EQ(VolumeRootOf(mp + "/no/such/file"), mp + "/");  // placed by its nearest parent
    EXPECT_EQ(VolumeRootOf(mp + "/*.txt"), mp + "/");
    // The folder that holds the mount point lies on the volume of the temp folder.
    EXPECT_EQ(VolumeRootOf(m_image.ImagePath()), VolumeRootOf(m_temp.Path()));
    EXPECT_NE(VolumeRootOf(m_temp.Path()), mp + "/");
}

TEST_F(LoopVolume, FreeBytesOfTheImage) {
    TOLVANE_SKIP_UNLESS_MOUNTED(m_image);
    const std::uint64_t free = FreeBytes(m_image.MountPoint() + "/");
    EXPECT_GT(free, 32u * 1024 * 1024);
    EXPECT_LT(free, 64u * 1024 * 1024);
    ASSERT_TRUE(test::WriteFileOfSize(m_image.MountPoint() + "/fill", 8 * 1024 * 1024));
    ::sync();
    EXPECT_LE(FreeBytes(m_image.MountPoint() + "/"), free - 8u * 1024 * 1024);
    EXPECT_EQ(FreeBytes(m_temp / "no/such/volume/"), 0u);
}

}  // namespace
}  // namespace tolvane
