// The notes that tell a user where overwriting in place cannot be relied on: the decision per
// volume from what was found, which items count, and real loop-mounted file systems.
#include "engine/MediumCheck.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <memory>

#include "LoopImage.h"
#include "TempDir.h"
#include "platform/UniqueFd.h"

namespace tolvane {
namespace {

using test::MakeDirs;
using test::TempDir;
using test::WriteFile;
using Kind = BlockMedium::Kind;
using Reasons = std::vector<MediumReason>;

// Cases print as their names in test listings, not as their bytes.
template <typename Case>
requires requires(const Case& c) {
    c.name;
}
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

VolumeFacts Volume(const std::string& mountPoint, const std::string& fsType,
                   const std::string& superOptions = "rw", Kind kind = Kind::Rotating) {
    VolumeFacts facts;
    facts.mount.entry.mountPoint = mountPoint;
    facts.mount.entry.fsType = fsType;
    facts.mount.superOptions = superOptions;
    facts.medium.kind = kind;
    facts.copiedOnWrite = true;
    return facts;
}

VolumeFacts InImage(VolumeFacts facts, std::vector<std::string> hosts, Kind kind) {
    facts.medium.inImageFile = true;
    facts.medium.imageHostFsTypes = std::move(hosts);
    facts.medium.kind = kind;
    return facts;
}

template <typename Change>
VolumeFacts With(VolumeFacts facts, Change change) {
    change(facts);
    return facts;
}

struct NoteCase {
    const char* name;
    VolumeFacts facts;
    std::string text;  // empty: no note
};

class DescribeVolumeTest : public testing::TestWithParam<NoteCase> {};

TEST_P(DescribeVolumeTest, GivesTheNoteTheFactsCallFor) {
    const MediumNote note = DescribeVolume(GetParam().facts);
    EXPECT_EQ(note.text, GetParam().text);
    EXPECT_EQ(note.reasons.empty(), note.text.empty());
    EXPECT_EQ(note.volume, GetParam().facts.mount.entry.mountPoint);
}

const std::string kCopyOnWrite =
    "copy-on-write file system: overwriting writes new blocks and old copies of the data may "
    "remain";
const std::string kJournal = "file contents pass through the journal, which may keep old copies";
const std::string kFlash = "flash storage may keep old copies of overwritten blocks";
const std::string kMemory =
    "held in memory: the kernel may have moved or swapped out its pages, leaving old copies in "
    "memory or swap";

INSTANTIATE_TEST_SUITE_P(
    Decisions, DescribeVolumeTest,
    testing::Values(
        NoteCase{"Btrfs", Volume("/data", "btrfs"), "/data (btrfs): " + kCopyOnWrite},
        NoteCase{"BtrfsNoCowFilesOnly",
                 With(Volume("/data", "btrfs"), [](VolumeFacts& f) { f.copiedOnWrite = false; }),
                 ""},
        NoteCase{"BtrfsCompressedFile",
                 With(Volume("/data", "btrfs"), [](VolumeFacts& f) { f.compressed = true; }),
                 "/data (btrfs): " + kCopyOnWrite +
                     "; compressed files: overwriting writes new blocks and old copies of the "
                     "data may remain"},
        NoteCase{"F2fs", Volume("/sd", "f2fs"),
                 "/sd (f2fs): log-structured file system: overwriting writes new blocks and old "
                 "copies of the data may remain"},
        NoteCase{"Ext4DataJournal", Volume("/home", "ext4", "rw,data=journal"),
                 "/home (ext4, data=journal): " + kJournal},
        NoteCase{"Ext3DataJournal", Volume("/old", "ext3", "rw,data=journal"),
                 "/old (ext3, data=journal): " + kJournal},
        NoteCase{"Ext4DataOrdered", Volume("/home", "ext4", "rw,data=ordered"), ""},
        NoteCase{"XfsIgnoresDataOption", Volume("/x", "xfs", "rw,data=journal"), ""},
        NoteCase{"Ext4JournalDataFile",
                 With(Volume("/home", "ext4"), [](VolumeFacts& f) { f.journalData = true; }),
                 "/home (ext4): " + kJournal},
        NoteCase{"Ext4InlineFile",
                 With(Volume("/home", "ext4"), [](VolumeFacts& f) { f.inlineData = true; }),
                 "/home (ext4): small files are stored in their inode, and the journal may keep "
                 "old copies of their contents"},
        NoteCase{"EncryptedFile",
                 With(Volume("/home", "ext4"), [](VolumeFacts& f) { f.encrypted = true; }),
                 "/home (ext4): encrypted files: old encrypted copies may remain, and only "
                 "removing the key makes them unreadable"},
        NoteCase{"Ssd", Volume("/", "ext4", "rw", Kind::NonRotating),
                 "/ (ext4 on a solid-state disk): " + kFlash},
        NoteCase{"SsdDataJournal", Volume("/home", "ext4", "rw,data=journal", Kind::NonRotating),
                 "/home (ext4 on a solid-state disk, data=journal): " + kJournal + "; " + kFlash},
        NoteCase{"Tmpfs", Volume("/dev/shm", "tmpfs", "rw", Kind::Unknown),
                 "/dev/shm (tmpfs): " + kMemory},
        NoteCase{"Zram", Volume("/scratch", "ext4", "rw", Kind::RamDisk),
                 "/scratch (ext4 on a RAM disk): " + kMemory},
        NoteCase{"ImageOnTmpfs", InImage(Volume("/m", "ext4"), {"tmpfs"}, Kind::Unknown),
                 "/m (ext4 in an image file on tmpfs): " + kMemory},
        NoteCase{"ImageOnBtrfsOnSsd", InImage(Volume("/m", "xfs"), {"btrfs"}, Kind::NonRotating),
                 "/m (xfs in an image file on btrfs on a solid-state disk): " + kCopyOnWrite +
                     "; " + kFlash},
        NoteCase{"ImageOnExt4OnHdd", InImage(Volume("/m", "ext4"), {"ext4"}, Kind::Rotating), ""},
        NoteCase{"UnknownMedium", Volume("/", "ext4", "rw", Kind::Unknown), ""}),
    [](const testing::TestParamInfo<NoteCase>& info) { return std::string(info.param.name); });

// Which items count, checked on real paths in a test folder whose volume the fake mount table
// calls btrfs (no sysfs: the medium stays unknown), so every item that is written through the
// usual path gives the copy-on-write note.
struct ItemCase {
    const char* name;
    std::vector<std::string> paths;  // relative to the test folder
    bool note;
};

class ItemsTest : public testing::TestWithParam<ItemCase> {};

TEST_P(ItemsTest, OnlyItemsThatAreOverwrittenCount) {
    TempDir tmp;
    ASSERT_TRUE(MakeDirs(tmp / "dir/sub"));
    ASSERT_TRUE(WriteFile(tmp / "dir/a.txt", "a"));
    ASSERT_EQ(::symlink("dir", (tmp / "link").c_str()), 0);
    ASSERT_EQ(::mkfifo((tmp / "fifo").c_str(), 0600), 0);
    struct statx st;
    ASSERT_EQ(::statx(AT_FDCWD, tmp.Path().c_str(), 0, STATX_MNT_ID, &st), 0);
    if (!(st.stx_mask & STATX_MNT_ID)) {
        GTEST_SKIP() << "this kernel gives no mount ids";
    }
    const MediumInfo info(std::to_string(st.stx_mnt_id) + " 1 0:99 / /vol rw - btrfs fake rw\n",
                          tmp / "nosys");
    std::vector<std::string> paths;
    for (const std::string& path : GetParam().paths) {
        paths.push_back(tmp / path);
    }
    const std::vector<MediumNote> notes = CheckMedia(paths, info);
    ASSERT_EQ(notes.size(), GetParam().note ? 1u : 0u);
    if (GetParam().note) {
        EXPECT_EQ(notes[0].text, "/vol (btrfs): " + kCopyOnWrite);
    }
}

INSTANTIATE_TEST_SUITE_P(
    RealPaths, ItemsTest,
    testing::Values(ItemCase{"Folder", {"dir"}, true}, ItemCase{"File", {"dir/a.txt"}, true},
                    ItemCase{"Pattern", {"dir/*.txt"}, true},
                    ItemCase{"PatternInMissingFolder", {"gone/*.txt"}, false},
                    ItemCase{"MissingFile", {"dir/b.txt"}, false},
                    ItemCase{"SymbolicLink", {"link"}, false}, ItemCase{"Fifo", {"fifo"}, false},
                    ItemCase{"OneNoteForManyItems", {"dir", "dir/a.txt", "dir/sub"}, true},
                    ItemCase{"Nothing", {}, false}),
    [](const testing::TestParamInfo<ItemCase>& info) { return std::string(info.param.name); });

TEST(CheckMedia, OneNotePerVolumeInTheOrderThePathsNameThem) {
    TempDir tmp;
    ASSERT_TRUE(MakeDirs(tmp / "sys/devices/sda/queue"));
    ASSERT_TRUE(WriteFile(tmp / "sys/devices/sda/queue/rotational", "0\n"));
    ASSERT_TRUE(MakeDirs(tmp / "sys/dev/block"));
    ASSERT_EQ(::symlink((tmp / "sys/devices/sda").c_str(), (tmp / "sys/dev/block/8:0").c_str()), 0);
    const MediumInfo info(
        "1 0 0:30 / /pool rw - btrfs /dev/nothing rw\n"
        "2 0 0:31 / /home rw - ext4 fake rw,data=ordered\n"
        "3 0 0:32 / /mail rw - ext4 fake rw,data=journal\n"
        "4 0 8:0 / /fast rw - xfs fake rw\n"
        "5 0 0:33 / /run/user/0 rw - tmpfs tmpfs rw\n",
        tmp / "sys");
    const std::vector<MediumNote> notes = CheckMedia(
        {"/mail:", "/home:", "/pool/:", "/mail:", "/fast:", "/run/user/0:", "/nowhere:"}, info);
    std::vector<std::string> texts;
    for (const MediumNote& note : notes) {
        texts.push_back(note.volume + " | " + note.text);
    }
    // A tmpfs has no free space to wipe: "/run/user/0:" is no drive spec and names nothing.
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "/mail | /mail (ext4, data=journal): " + kJournal,
                         "/pool | /pool (btrfs): " + kCopyOnWrite,
                         "/fast | /fast (xfs on a solid-state disk): " + kFlash,
                     }));
}

// Real file systems on loop images the test makes. The host disk under an image may itself be
// flash, which would give every image the flash reason (its note then names the image file's
// medium); every other reason must be exactly the one the case expects.
struct ImageCase {
    const char* name;
    const char* fsType;
    int megabytes;
    test::LoopImageOptions options;
    bool imageOnTmpfs;
    // Makes the items in the mounted volume; returns them.
    std::vector<std::string> (*items)(const std::string& root);
    Reasons reasons;      // apart from the flash reason
    const char* storage;  // what the note says in parentheses, up to any flash disk
};

std::vector<std::string> AFolder(const std::string& root) {
    EXPECT_TRUE(MakeDirs(root + "/folder"));
    EXPECT_TRUE(WriteFile(root + "/folder/f", std::string(8192, 'x')));
    return {root + "/folder"};
}

std::vector<std::string> TheVolumesFreeSpace(const std::string& root) {
    return {root + ":"};
}

std::vector<std::string> ASmallFile(const std::string& root) {
    EXPECT_TRUE(WriteFile(root + "/small", "twenty bytes of text"));
    return {root + "/small"};
}

// Sets an inode flag on an empty file (btrfs takes no-copy-on-write only then), then fills it.
std::string FileWithFlag(const std::string& path, int flag) {
    UniqueFd fd(::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600));
    EXPECT_TRUE(fd.Valid()) << path;
    int flags = 0;
    EXPECT_EQ(::ioctl(fd.Get(), FS_IOC_GETFLAGS, &flags), 0) << path;
    flags |= flag;
    EXPECT_EQ(::ioctl(fd.Get(), FS_IOC_SETFLAGS, &flags), 0) << path;
    const std::string content(65536, 'y');
    EXPECT_EQ(::write(fd.Get(), content.data(), content.size()),
              static_cast<ssize_t>(content.size()));
    return path;
}

std::vector<std::string> ANoCowFile(const std::string& root) {
    return {FileWithFlag(root + "/nocow", FS_NOCOW_FL)};
}

std::vector<std::string> ACompressedFile(const std::string& root) {
    return {FileWithFlag(root + "/compressed", FS_COMPR_FL)};
}

test::LoopImageOptions Options(const char* mkfsOptions, const char* mountOptions) {
    test::LoopImageOptions options;
    options.mkfsOptions = mkfsOptions;
    options.mountOptions = mountOptions;
    return options;
}

class LoopImageNoteTest : public testing::TestWithParam<ImageCase> {};

TEST_P(LoopImageNoteTest, NamesWhatTheFileSystemAndMediumDo) {
    const ImageCase& c = GetParam();
    TempDir tmp;
    ASSERT_TRUE(MakeDirs(tmp / "ram"));
    std::unique_ptr<test::TmpfsMount> ram;
    test::LoopImageOptions options = c.options;
    if (c.imageOnTmpfs) {
        ram = std::make_unique<test::TmpfsMount>(tmp / "ram", c.megabytes + 16);
        TOLVANE_SKIP_UNLESS_MOUNTED(*ram);
        options.imageFolder = tmp / "ram";
    }
    test::LoopImage image(tmp.Path(), c.fsType, c.megabytes, options);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    const std::string root = image.MountPoint();
    const std::vector<std::string> items = c.items(root);
    ::sync();  // inline data and flags settle when the inode is written back

    const std::vector<MediumNote> notes = CheckMedia(items);
    std::cout << "[ finding  ] " << c.name << ": "
              << (notes.empty() ? "no note" : notes[0].text.substr(root.size())) << std::endl;
    ASSERT_LE(notes.size(), 1u);
    Reasons reasons = notes.empty() ? Reasons() : notes[0].reasons;
    const auto flash = std::find(reasons.begin(), reasons.end(), MediumReason::Flash);
    if (flash != reasons.end()) {
        reasons.erase(flash);
        EXPECT_NE(notes[0].text.find(" in an image file on "), std::string::npos);
    }
    EXPECT_EQ(reasons, c.reasons);
    if (!notes.empty()) {
        EXPECT_EQ(notes[0].volume, root);
        EXPECT_EQ(notes[0].text.rfind(root + " (" + c.storage, 0), 0u) << notes[0].text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    RealFileSystems, LoopImageNoteTest,
    testing::Values(
        // mkfs.btrfs refuses images below ~110 MiB
        ImageCase{"BtrfsFolder",
                  "btrfs",
                  128,
                  {},
                  false,
                  AFolder,
                  {MediumReason::CopyOnWrite},
                  "btrfs in an image file"},
        ImageCase{"BtrfsFreeSpace",
                  "btrfs",
                  128,
                  {},
                  false,
                  TheVolumesFreeSpace,
                  {MediumReason::CopyOnWrite},
                  "btrfs in an image file"},
        ImageCase{"BtrfsNoCowFile", "btrfs", 128, {}, false, ANoCowFile, {}, ""},
        ImageCase{"BtrfsCompressedFile",
                  "btrfs",
                  128,
                  Options("", "compress"),
                  false,
                  ACompressedFile,
                  {MediumReason::CopyOnWrite, MediumReason::Compressed},
                  "btrfs in an image file"},
        ImageCase{"Ext4DataJournal",
                  "ext4",
                  64,
                  Options("", "data=journal"),
                  false,
                  AFolder,
                  {MediumReason::DataJournal},
                  "ext4 in an image file"},
        ImageCase{"Ext4InlineData",
                  "ext4",
                  64,
                  Options("-O inline_data", ""),
                  false,
                  ASmallFile,
                  {MediumReason::InlineData},
                  "ext4 in an image file"},
        ImageCase{
            "Ext4DataOrdered", "ext4", 64, Options("", "data=ordered"), false, AFolder, {}, ""},
        ImageCase{"Xfs", "xfs", 320, {}, false, AFolder, {}, ""},
        ImageCase{"Ext4ImageOnTmpfs",
                  "ext4",
                  64,
                  {},
                  true,
                  AFolder,
                  {MediumReason::Memory},
                  "ext4 in an image file on tmpfs)"}),
    [](const testing::TestParamInfo<ImageCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tolvane
