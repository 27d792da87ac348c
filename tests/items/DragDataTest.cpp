// What drags carry: the DROPFILES block byte for byte, text/uri-list with raw-byte names,
// and the items a drop turns into.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TempDir.h"
#include "items/DropFilesBlock.h"
#include "items/DroppedItem.h"
#include "items/FileItem.h"
#include "items/FileUriList.h"
#include "platform/Volumes.h"

namespace tolvane {
namespace {

using namespace std::string_literals;
using Names = std::vector<std::string>;

// An item as a pane selection collects it: the lookup found the entry under its name.
FileItem Found(const std::string& folder, const std::string& name) {
    FileItem item;
    item.folder = folder;
    item.name = name;
    item.findData.name = name;
    return item;
}

// An item whose lookup found nothing: its find data has no name.
FileItem NotFound(const std::string& folder, const std::string& name) {
    FileItem item = Found(folder, name);
    item.findData.name.clear();
    return item;
}

const std::string kHeader = "\x14\0\0\0"s + std::string(16, '\0');
const std::string kTrailer(16, '\0');

TEST(DropFilesBlockTest, LaysOutHeaderNamesAndTrailerByteForByte) {
    struct Case {
        std::vector<FileItem> items;
        std::string names;
    };
    const Case cases[] = {
        {{Found("/", "a.txt"), Found("/", "x")}, "/a.txt\0/x\0"s},
        {{}, ""},
        {{Found("/tmp/", "\xff\xfe name")}, "/tmp/\xff\xfe name\0"s},
    };
    for (const Case& c : cases) {
        const std::string block = BuildDropFilesBlock(c.items);
        EXPECT_EQ(block, kHeader + c.names + kTrailer);
        Names read;
        ASSERT_TRUE(ReadDropFilesBlock(block, read));
        Names expected;
        for (const FileItem& item : c.items) {
            expected.push_back(item.FullPath());
        }
        EXPECT_EQ(read, expected);
    }
}

// A drive row written as an empty name would end the list for every reader, and an item
// that was not found would export its parent folder.
TEST(DropFilesBlockTest, DriveRowsCarryTheirSpecAndUnfoundItemsAreLeftOut) {
    FileItem drive = *DriveItem("/media/me/USB/");
    FileItem driveWithoutLookup = drive;
    driveWithoutLookup.findData.name.clear();
    const std::vector<FileItem> items = {Found("/", "a.txt"), drive, NotFound("/home/me/", "gone"),
                                         driveWithoutLookup, Found("/home/me/", "b")};

    Names read;
    ASSERT_TRUE(ReadDropFilesBlock(BuildDropFilesBlock(items), read));
    EXPECT_EQ(read, (Names{"/a.txt", "/media/me/USB:", "/media/me/USB:", "/home/me/b"}));
    // Another program is never handed a mount point to act on.
    EXPECT_EQ(BuildUriList(items), "file:///a.txt\r\nfile:///home/me/b\r\n");
    EXPECT_EQ(BuildUriList({drive}), "");
}

TEST(DropFilesBlockTest, ReaderRefusesBadHeadersAndStopsAtTheEnd) {
    struct Case {
        std::string block;
        bool readable;
        Names names;
    };
    const std::string wideHeader = "\x14\0\0\0"s + std::string(12, '\0') + "\x01\0\0\0"s;
    const Case cases[] = {
        {"", false, {}},
        {kHeader.substr(0, 19), false, {}},
        {"\x15\0\0\0"s + std::string(16, '\0'), false, {}},  // names begin past the end
        {"\x13\0\0\0"s + std::string(16, '\0'), false, {}},  // names inside the header
        {kHeader, true, {}},
        {kHeader + "/a\0/cut off"s, true, {"/a"}},
        {kHeader + "/a\0\0/after the end\0"s, true, {"/a"}},
        // A header that leaves room before the names.
        {"\x18\0\0\0"s + std::string(16, '\0') + "skip/b\0\0"s, true, {"/b"}},
        {wideHeader + "/\0\xe9\0\0\0/\0\0\xd8\0\0\0\0"s, true, {"/\xc3\xa9", "/\xef\xbf\xbd"}},
    };
    for (const Case& c : cases) {
        Names read{"old"};
        EXPECT_EQ(ReadDropFilesBlock(c.block, read), c.readable) << testing::PrintToString(c.block);
        EXPECT_EQ(read, c.names) << testing::PrintToString(c.block);
    }
}

TEST(FileUriListTest, EscapesEveryByteButUnreservedOnesAndSeparators) {
    using C = std::pair<std::string, std::string>;
    for (const auto& [path, uri] : {C{"/tmp/plain-Name_1.~txt", "file:///tmp/plain-Name_1.~txt"},
                                    C{"/tmp/50% #1 ?.txt", "file:///tmp/50%25%20%231%20%3F.txt"},
                                    C{"/tmp/\xc3\xa9t\xc3\xa9", "file:///tmp/%C3%A9t%C3%A9"},
                                    C{"/tmp/bad\xff\xfe", "file:///tmp/bad%FF%FE"},
                                    C{"/tmp/a:b;c=d&e+f", "file:///tmp/a%3Ab%3Bc%3Dd%26e%2Bf"}}) {
        EXPECT_EQ(FileUri(path), uri);
        std::string back;
        EXPECT_TRUE(LocalPathOfUri(uri, back)) << uri;
        EXPECT_EQ(back, path);
    }
}

TEST(FileUriListTest, TakesOnlyLocalFileUrisAndDecodesThemToRawBytes) {
    using C = std::pair<std::string, std::string>;
    for (const auto& [uri, expected] :
         {C{"file:///tmp/a", "/tmp/a"}, C{"FILE://LocalHost/tmp/a", "/tmp/a"},
          C{"file:/tmp/a", "/tmp/a"}, C{"file:///tmp/dir/", "/tmp/dir"},
          C{"file:///tmp/a%20b%23c%25d", "/tmp/a b#c%d"},
          C{"file:///tmp/%ff%FEx", "/tmp/\xff\xfex"}, C{"file:///tmp/100%", "/tmp/100%"},
          C{"file:///tmp/%zz%4", "/tmp/%zz%4"}, C{"file:///tmp/a#fragment", "/tmp/a"},
          C{"file:///tmp/a?query", "/tmp/a"}}) {
        std::string path;
        EXPECT_TRUE(LocalPathOfUri(uri, path)) << uri;
        EXPECT_EQ(path, expected) << uri;
    }
    // Other machines, other schemes, no path, and paths that are not plainly one file.
    for (const char* refused :
         {"file://server/share/a", "file://localhost.example/a", "smb://server/share/a",
          "https://example.org/a", "file:tmp/a", "file://", "file://localhost", "file:///",
          "file:///tmp/a%00b", "file:///tmp/../etc/passwd", "file:///tmp/./a", "file:///tmp//a",
          ""}) {
        std::string path;
        EXPECT_FALSE(LocalPathOfUri(refused, path)) << refused;
    }
    std::string path;
    EXPECT_FALSE(LocalPathOfUri("file:///tmp/a\0b"s, path));  // a raw zero byte as well
}

TEST(FileUriListTest, ReadsListsAsFileManagersSendThem) {
    const std::string list =
        "# from a file manager\r\n"
        "file:///home/me/a.txt\r\n"
        "\r\n"
        "https://example.org/remote.txt\r\n"
        "  file:///home/me/b%20c  \n"
        "file:///home/me/last"s +
        std::string(1, '\0');
    EXPECT_EQ(LocalPathsOfUriList(list),
              (Names{"/home/me/a.txt", "/home/me/b c", "/home/me/last"}));
    EXPECT_EQ(LocalPathsOfUriList(""), Names{});
}

TEST(DroppedItemTest, SplitsThePathAndLooksTheEntryUp) {
    test::TempDir temp;
    ASSERT_TRUE(test::WriteFile(temp / "file \xff.txt", "data"));
    ASSERT_TRUE(test::MakeDirs(temp / "folder"));

    FileItem file = DroppedFileItem(temp / "file \xff.txt");
    EXPECT_EQ(file.folder, temp.Path() + "/");
    EXPECT_EQ(file.findData.name, "file \xff.txt");
    EXPECT_EQ(file.findData.size, 4u);
    EXPECT_FALSE(file.findData.IsDirectory());
    EXPECT_EQ(file.tag, -1);
    EXPECT_TRUE(DroppedFileItem(temp / "folder").findData.IsDirectory());

    FileItem missing = DroppedFileItem(temp / "missing");
    EXPECT_EQ(missing.FullPath(), temp / "missing");
    EXPECT_EQ(missing.findData.name, "missing");
    EXPECT_EQ(missing.findData.attributes, 0u);
}

TEST(DroppedItemTest, BlockNamesMayBeDriveSpecsOfMountedVolumes) {
    const std::vector<MountEntry> mounts =
        ParseMountInfo("36 27 8:17 / /media/me/USB rw - vfat /dev/sdb1 rw\n");

    std::optional<FileItem> drive = DroppedBlockItem("/media/me/USB:", mounts);
    ASSERT_TRUE(drive.has_value());
    EXPECT_TRUE(drive->IsDriveRow());
    EXPECT_EQ(drive->name, "/media/me/USB:");
    EXPECT_EQ(drive->tag, -1);

    // Not a volume's spec: a file whose name ends in ':'.
    std::optional<FileItem> file = DroppedBlockItem("/media/me/other:", mounts);
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->folder, "/media/me/");
    EXPECT_EQ(file->name, "other:");

    // "/tmp/dir/.." would become an item named ".." in /tmp/dir/ that stands for /tmp.
    for (const char* refused :
         {"relative/a", "/", "", "/tmp/dir/", "/tmp/dir/..", "/tmp/./a", "//a", "/tmp//a"}) {
        EXPECT_FALSE(DroppedBlockItem(refused, mounts).has_value()) << refused;
    }
}

}  // namespace
}  // namespace tolvane
