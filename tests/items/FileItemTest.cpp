// A drive row stands for a volume's free space: its full path is the drive spec that an erase
// run takes as free space, never the volume's root folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "items/FileItem.h"
#include "platform/Volumes.h"

namespace tolvane {
namespace {

TEST(FileItemTest, DriveRowOfAVolumeRootIsItsDriveSpec) {
    std::vector<MountEntry> table;
    for (const char* mountPoint : {"/", "/home", "/media/me/My Disk"}) {
        MountEntry mount;
        mount.mountPoint = mountPoint;
        mount.fsType = "ext4";
        mount.root = "/";
        table.push_back(mount);
    }
    struct Case {
        std::string volumeRoot;
        std::string spec;
        std::string parsedRoot;
    };
    for (const Case& c : {Case{"/", "/:", "/"}, Case{"/home/", "/home:", "/home/"},
                          Case{"/home", "/home:", "/home/"},
                          Case{"/media/me/My Disk/", "/media/me/My Disk:", "/media/me/My Disk/"}}) {
        SCOPED_TRACE(c.volumeRoot);
        const std::optional<FileItem> row = DriveItem(c.volumeRoot);
        ASSERT_TRUE(row);
        EXPECT_TRUE(row->IsDriveRow());
        EXPECT_EQ(row->folder, "");
        EXPECT_EQ(row->FullPath(), c.spec);
        EXPECT_EQ(row->findData.name, c.spec);
        // The erase run reads the row's path as the free space of that same volume.
        std::string root;
        ASSERT_TRUE(ParseDriveSpec(row->FullPath(), root, table));
        EXPECT_EQ(root, c.parsedRoot);
    }
    for (const char* notARoot : {"", "home/", ":"}) {
        EXPECT_FALSE(DriveItem(notARoot)) << notARoot;
    }
    FileItem file;
    file.folder = "/home/";
    file.name = "me";
    EXPECT_FALSE(file.IsDriveRow());
}

}  // namespace
}  // namespace tolvane
