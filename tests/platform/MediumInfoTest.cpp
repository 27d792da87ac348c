// What the medium probe finds: the walk through sysfs from a volume down to its disks, on fake
// device trees, and the mount options.
#include "platform/MediumInfo.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "TempDir.h"

namespace tolvane {
namespace {

using test::MakeDirs;
using test::TempDir;
using test::WriteFile;

// Builds a fake sysfs in a test folder, laid out as the kernel does it: device folders under
// devices/, each reached from dev/block/<major>:<minor> through a symbolic link, partitions
// inside their disk's folder, stacked devices naming their lower devices in slaves/.
// Devices are "<folder under devices/> <major:minor> <role> [<slave folder>...]"; the role is
// its own rotational flag ("0", "1"), "p" for a partition, "L" for a loop device whose backing
// file is `backingFile` (its own flag says non-rotating), "D" for one whose file is deleted.
void BuildSysfs(const std::string& root, const std::string& devices,
                const std::string& backingFile) {
    ASSERT_TRUE(MakeDirs(root + "/dev/block"));
    std::istringstream list(devices);
    std::string device;
    while (std::getline(list, device, ';')) {
        std::istringstream fields(device);
        std::string path, number, role, slave;
        fields >> path >> number >> role;
        const std::string folder = root + "/devices/" + path;
        ASSERT_TRUE(MakeDirs(folder + "/slaves"));
        ASSERT_EQ(::symlink(folder.c_str(), (root + "/dev/block/" + number).c_str()), 0);
        if (role == "p") {
            ASSERT_TRUE(WriteFile(folder + "/partition", "1\n"));
            continue;
        }
        ASSERT_TRUE(MakeDirs(folder + "/queue") && MakeDirs(folder + "/loop"));
        ASSERT_TRUE(
            WriteFile(folder + "/queue/rotational", (role == "1" ? "1" : "0") + std::string("\n")));
        if (role == "L" || role == "D") {
            ASSERT_TRUE(WriteFile(folder + "/loop/backing_file",
                                  backingFile + (role == "D" ? ".gone (deleted)\n" : "\n")));
        }
        while (fields >> slave) {
            const std::string name = std::filesystem::path(slave).filename().string();
            const std::string target = root + "/devices/" + slave;
            ASSERT_EQ(::symlink(target.c_str(), (folder + "/slaves/" + name).c_str()), 0);
        }
    }
}

std::string Describe(const BlockMedium& medium) {
    static const char* const kKinds[] = {"unknown", "rotating", "non-rotating", "RAM disk"};
    std::string text = kKinds[static_cast<int>(medium.kind)];
    text += medium.inImageFile ? " in image" : "";
    for (const std::string& host : medium.imageHostFsTypes) {
        text += " on " + host;
    }
    return text;
}

// One case per kind of step the walk takes, and the walks that must end without a disk.
TEST(MediumInfo, FollowsTheDevicesDownToTheDisk) {
    const struct {
        const char* devices;  // separated by ';'
        const char* walked;   // the device number of the volume walked
        // The volume holding the backing file, as "<major:minor> <fstype>"; nullptr: none.
        const char* host;
        // The kind found, then " in image" and " on <fstype>..." for image files on the way.
        const char* medium;
    } cases[] = {
        {"sda 8:0 0; sda/sda1 8:1 p", "8:1", nullptr, "non-rotating"},
        // dm-crypt calls itself non-rotating; the disk under it decides.
        {"sda 8:0 1; sda/sda2 8:2 p; dm-0 253:0 0 sda/sda2", "253:0", nullptr, "rotating"},
        {"sda 8:0 1; sda/sda1 8:1 p; sdb 8:16 0; sdb/sdb1 8:17 p; md0 9:0 1 sda/sda1 sdb/sdb1",
         "9:0", nullptr, "non-rotating"},
        {"zram0 251:0 0", "251:0", nullptr, "RAM disk"},
        {"loop0 7:0 L; sda 8:0 0; dm-0 253:0 1 loop0", "253:0", "8:0 ext4",
         "non-rotating in image on ext4"},
        {"loop0 7:0 D", "7:0", nullptr, "unknown in image"},
        // The backing file lies on the loop device's own volume.
        {"loop0 7:0 L", "7:0", "7:0 ext4", "unknown in image on ext4"},
        {"dm-0 253:0 0 dm-1; dm-1 253:1 0 dm-0", "253:0", nullptr, "unknown"},
        {"", "0:50", nullptr, "unknown"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.devices);
        TempDir tmp;
        const std::string backingFile = tmp / "image.img";
        ASSERT_TRUE(WriteFile(backingFile, ""));
        BuildSysfs(tmp / "sys", c.devices, backingFile);
        std::string mountInfo = std::string("0 1 ") + c.walked + " / /vol rw - ext4 fake rw\n";
        if (c.host != nullptr) {
            // The probe places the real backing file by its real mount id: name that mount.
            struct statx st;
            ASSERT_EQ(::statx(AT_FDCWD, backingFile.c_str(), 0, STATX_MNT_ID, &st), 0);
            if (!(st.stx_mask & STATX_MNT_ID)) {
                GTEST_SKIP() << "this kernel gives no mount ids";
            }
            const std::string host = c.host;
            const std::size_t space = host.find(' ');
            mountInfo += std::to_string(st.stx_mnt_id) + " 1 " + host.substr(0, space) +
                         " / /host rw -" + host.substr(space) + " fake rw\n";
        }
        const MediumInfo info(mountInfo, tmp / "sys");
        MountFacts mount;
        ASSERT_TRUE(info.MountAt("/vol", mount));
        EXPECT_EQ(Describe(info.MediumOf(mount)), c.medium);
    }
}

// An overlay is written in its upper layer: the medium is the one under that layer. Where
// the layer cannot be seen (fuse-overlayfs, a host folder outside a container) the medium
// stays unknown.
TEST(MediumInfo, FollowsAnOverlayToItsUpperLayer) {
    TempDir tmp;
    ASSERT_TRUE(MakeDirs(tmp / "upper"));
    BuildSysfs(tmp / "sys", "sda 8:0 0; sda/sda1 8:1 p", "");
    struct statx st;
    ASSERT_EQ(::statx(AT_FDCWD, (tmp / "upper").c_str(), 0, STATX_MNT_ID, &st), 0);
    if (!(st.stx_mask & STATX_MNT_ID)) {
        GTEST_SKIP() << "this kernel gives no mount ids";
    }
    const std::string host = std::to_string(st.stx_mnt_id) + " 1 ";
    const struct {
        std::string hostLine;  // the mount holding the upper folder
        std::string overlay;   // fs type and options of the overlay
        std::string medium;
    } cases[] = {
        {host + "0:31 / /run rw - tmpfs tmpfs rw",
         "overlay overlay rw,lowerdir=/l,upperdir=" + (tmp / "upper") + ",workdir=/w",
         "unknown on tmpfs"},
        {host + "8:1 / /data rw - ext4 /dev/sda1 rw",
         "overlay overlay rw,upperdir=" + (tmp / "upper"), "non-rotating on ext4"},
        {"", "overlay overlay rw,upperdir=" + (tmp / "gone"), "unknown"},
        {"", "fuse.fuse-overlayfs fuse-overlayfs rw,user_id=0", "unknown"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.overlay);
        const MediumInfo info("90 1 0:77 / / rw - " + c.overlay + "\n" + c.hostLine + "\n",
                              tmp / "sys");
        MountFacts mount;
        ASSERT_TRUE(info.MountAt("/", mount));
        const BlockMedium medium = info.MediumOf(mount);
        std::string seen = Describe(medium);
        for (const std::string& upper : medium.upperLayerFsTypes) {
            seen += " on " + upper;
        }
        EXPECT_EQ(seen, c.medium);
    }
}

TEST(MediumInfo, ReadsTheSuperOptionsOfTheLastMountAtAPlace) {
    const MediumInfo info(
        "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw,discard\n"
        "40 27 8:3 / /home rw,relatime shared:4 - ext4 /dev/sda3 rw,data=ordered\n"
        "41 40 8:4 / /home rw,relatime - ext4 /dev/sda4 rw,nodelalloc,data=journal\n"
        "garbage\n",
        "/nonexistent");
    MountFacts mount;
    ASSERT_TRUE(info.MountAt("/home", mount));
    EXPECT_EQ(mount.entry.mountId, 41u);
    EXPECT_EQ(mount.superOptions, "rw,nodelalloc,data=journal");
    EXPECT_FALSE(info.MountAt("/srv", mount));

    const struct {
        const char* options;
        bool journal;
    } cases[] = {{"data=journal", true},
                 {"data=journal,rw", true},
                 {"rw,data=journaled", false},
                 {"rw,xdata=journal,rw", false}};
    for (const auto& c : cases) {
        mount.superOptions = c.options;
        EXPECT_EQ(mount.HasSuperOption("data=journal"), c.journal) << c.options;
    }
}

}  // namespace
}  // namespace tolvane
