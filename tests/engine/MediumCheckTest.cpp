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

using enum MediumReason;

// A volume at /v on which something is written through the usual path.
VolumeFacts Facts(const std::string& fsType, const std::string& superOptions = "rw",
                  Kind kind = Kind::Rotating, bool VolumeFacts::*flag = nullptr, bool on = true) {
    VolumeFacts facts;
    facts.mount.entry.mountPoint = "/v";
    facts.mount.entry.fsType = fsType;
    facts.mount.superOptions = superOptions;
    facts.medium.kind = kind;
    facts.copiedOnWrite = true;
    if (flag != nullptr) {
        facts.*flag = on;
    }
    return facts;
}

VolumeFacts InImage(VolumeFacts facts, const std::string& host) {
    facts.medium.inImageFile = true;
    facts.medium.imageHostFsTypes = {host};
    return facts;
}

// An overlay whose upper layer lies on `upper` (empty: out of sight); its free space wiped or
// not.
VolumeFacts Overlay(const std::string& upper, bool freeSpace) {
    VolumeFacts facts = Facts("overlay", "rw", Kind::Unknown);
    if (!upper.empty()) {
        facts.medium.upperLayerFsTypes = {upper};
    }
    facts.freeSpace = freeSpace;
    return facts;
}

// One case per reason and the combinations that give none. The wording of each reason is the
// code's own; of the text, what is checked is how a note names the volume and what it lies
// on, and how several reasons read.
TEST(DescribeVolume, GivesTheNoteTheFactsCallFor) {
    const Kind ssd = Kind::NonRotating;
    const struct {
        VolumeFacts facts;
        Reasons reasons;
    } cases[] = {
        {Facts("btrfs"), {CopyOnWrite}},
        {Facts("btrfs", "rw", Kind::Rotating, &VolumeFacts::copiedOnWrite, false), {}},
        {Facts("btrfs", "rw", Kind::Rotating, &VolumeFacts::compressed), {CopyOnWrite, Compressed}},
        {Facts("f2fs"), {LogStructured}},
        {Facts("ext4", "rw,data=journal"), {DataJournal}},
        {Facts("ext4", "rw,data=ordered"), {}},
        {Facts("xfs", "rw,data=journal"), {}},
        {Facts("ext4", "rw", Kind::Rotating, &VolumeFacts::journalData), {DataJournal}},
        {Facts("ext4", "rw", Kind::Rotating, &VolumeFacts::inlineData), {InlineData}},
        {Facts("ext4", "rw", Kind::Rotating, &VolumeFacts::encrypted), {Encrypted}},
        {Facts("ext4", "rw", ssd), {Flash}},
        {Facts("tmpfs", "rw", Kind::Unknown), {Memory}},
        {Facts("ext4", "rw", Kind::RamDisk), {Memory}},
        {InImage(Facts("xfs", "rw", ssd), "btrfs"), {CopyOnWrite, Flash}},
        {InImage(Facts("ext4"), "ext4"), {}},
        {Overlay("ext4", true), {UpperLayer}},
        {Overlay("", true), {UpperLayer}},
        {Overlay("tmpfs", true), {Memory, UpperLayer}},
        {Overlay("ext4", false), {}},
        {InImage(Facts("ext4"), "overlay"), {}},  // its free space is its own
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.facts.mount.entry.fsType + " case " + std::to_string(&c - cases));
        const MediumNote note = DescribeVolume(c.facts);
        EXPECT_EQ(note.reasons, c.reasons);
        EXPECT_EQ(note.text.empty(), c.reasons.empty());
        EXPECT_EQ(note.volume, "/v");
    }
    const std::pair<VolumeFacts, std::string> texts[] = {
        {Facts("ext4", "rw,data=journal"), "/v (ext4, data=journal): file contents pass through"},
        {Facts("ext4", "rw", Kind::RamDisk), "/v (ext4 on a RAM disk): held in memory"},
        {Overlay("tmpfs", true), "/v (overlay with its upper layer on tmpfs): held in memory"},
        {InImage(Facts("xfs", "rw", ssd), "btrfs"),
         "/v (xfs in an image file on btrfs on a solid-state disk): copy-on-write file system: "
         "overwriting writes new blocks and old copies of the data and of the names of erased "
         "files may remain; flash storage "},
    };
    for (const auto& [facts, start] : texts) {
        const std::string text = DescribeVolume(facts).text;
        EXPECT_EQ(text.substr(0, start.size()), start) << text;
    }
}

// Checked on real paths in a folder whose volume a fake mount table calls btrfs (no sysfs:
// the medium stays unknown), so every item written through the usual path gives the note.
TEST(CheckMedia, OnlyItemsThatAreOverwrittenCount) {
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
    const std::pair<std::vector<std::string>, bool> cases[] = {
        {{"dir"}, true},
        {{"dir/a.txt"}, true},
        {{"dir/*.txt"}, true},
        {{"gone/*.txt"}, false},
        {{"dir/b.txt"}, false},
        {{"link"}, false},
        {{"fifo"}, false},
        {{}, false},
        {{"dir", "dir/a.txt", "dir/sub"}, true}};
    for (const auto& [relative, noted] : cases) {
        std::vector<std::string> paths;
        for (const std::string& path : relative) {
            paths.push_back(tmp / path);
        }
        const std::vector<MediumNote> notes = CheckMedia(paths, info);
        ASSERT_EQ(notes.size(), noted ? 1u : 0u) << (paths.empty() ? "" : paths[0]);
        if (noted) {
            EXPECT_EQ(notes[0].volume, "/vol");
            EXPECT_EQ(notes[0].reasons, Reasons{CopyOnWrite});
        }
    }
}

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
    std::vector<std::pair<std::string, Reasons>> notes;
    for (const MediumNote& note : CheckMedia(
             {"/mail:", "/home:", "/pool/:", "/mail:", "/fast:", "/run/user/0:", "/nowhere:"},
             info)) {
        notes.emplace_back(note.volume, note.reasons);
    }
    // A tmpfs has no free space to wipe: "/run/user/0:" is no drive spec and names nothing.
    // The solid-state disk is found through the fake sysfs.
    EXPECT_EQ(notes, (std::vector<std::pair<std::string, Reasons>>{
                         {"/mail", {DataJournal}}, {"/pool", {CopyOnWrite}}, {"/fast", {Flash}}}));
}

// Makes the item a case erases in the mounted volume and returns its path. A flag goes on
// while the file is empty (btrfs takes no-copy-on-write only then).
std::string MakeItem(const std::string& root, const std::string& kind) {
    if (kind == "free space") {
        return root + ":";
    }
    if (kind == "folder") {
        EXPECT_TRUE(MakeDirs(root + "/folder"));
        EXPECT_TRUE(WriteFile(root + "/folder/f", std::string(8192, 'x')));
    } else if (kind == "small file") {
        EXPECT_TRUE(WriteFile(root + "/" + kind, "twenty bytes of text"));
    } else {
        UniqueFd fd(::open((root + "/" + kind).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
        int flags = 0;
        EXPECT_EQ(::ioctl(fd.Get(), FS_IOC_GETFLAGS, &flags), 0) << kind;
        flags |= kind == "no-cow file" ? FS_NOCOW_FL : FS_COMPR_FL;
        EXPECT_EQ(::ioctl(fd.Get(), FS_IOC_SETFLAGS, &flags), 0) << kind;
        const std::string content(65536, 'y');
        EXPECT_EQ(::write(fd.Get(), content.data(), content.size()), 65536);
    }
    return root + "/" + kind;
}

struct ImageCase {
    const char* name;
    const char* fsType;
    const char* mkfsOptions;
    const char* mountOptions;
    bool imageOnTmpfs;
    const char* item;
    Reasons reasons;  // apart from the flash reason
};

void PrintTo(const ImageCase& c, std::ostream* out) {
    *out << c.name;
}

class LoopImageNoteTest : public testing::TestWithParam<ImageCase> {};

// The host disk under an image may itself be flash, which gives every image the flash reason
// (its note then names the image file's medium); every other reason must be exactly the
// expected one.
TEST_P(LoopImageNoteTest, NamesWhatTheFileSystemAndMediumDo) {
    const ImageCase& c = GetParam();
    const std::string fsType = c.fsType;
    // mkfs.btrfs refuses images below ~110 MiB
    const int megabytes = fsType == "btrfs" ? 128 : fsType == "xfs" ? 320 : 64;
    TempDir tmp;
    ASSERT_TRUE(MakeDirs(tmp / "ram"));
    std::unique_ptr<test::TmpfsMount> ram;
    test::LoopImageOptions options{c.mkfsOptions, c.mountOptions, ""};
    if (c.imageOnTmpfs) {
        ram = std::make_unique<test::TmpfsMount>(tmp / "ram", megabytes + 16);
        TOLVANE_SKIP_UNLESS_MOUNTED(*ram);
        options.imageFolder = tmp / "ram";
    }
    test::LoopImage image(tmp.Path(), fsType, megabytes, options);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    const std::string root = image.MountPoint();
    const std::string item = MakeItem(root, c.item);
    ::sync();  // inline data and flags settle when the inode is written back

    const std::vector<MediumNote> notes = CheckMedia({item});
    ASSERT_LE(notes.size(), 1u);
    Reasons reasons = notes.empty() ? Reasons() : notes[0].reasons;
    if (std::erase(reasons, MediumReason::Flash) > 0) {
        EXPECT_NE(notes[0].text.find(" in an image file on "), std::string::npos);
    }
    EXPECT_EQ(reasons, c.reasons);
    if (!notes.empty()) {
        EXPECT_EQ(notes[0].volume, root);
        const std::string storage =
            root + " (" + fsType + " in an image file" + (c.imageOnTmpfs ? " on tmpfs)" : "");
        EXPECT_EQ(notes[0].text.rfind(storage, 0), 0u) << notes[0].text;
    }
}

const ImageCase kImageCases[] = {
    // name, file system, mkfs and mount options, image on tmpfs, item, reasons
    {"BtrfsFolder", "btrfs", "", "", false, "folder", {CopyOnWrite}},
    {"BtrfsFreeSpace", "btrfs", "", "", false, "free space", {CopyOnWrite}},
    {"BtrfsNoCowFile", "btrfs", "", "", false, "no-cow file", {}},
    {"BtrfsCompressed", "btrfs", "", "compress", false, "compressed", {CopyOnWrite, Compressed}},
    {"Ext4DataJournal", "ext4", "", "data=journal", false, "folder", {DataJournal}},
    // Small files live in their inodes: a folder and the free space get the note a file gets.
    {"Ext4InlineData", "ext4", "-O inline_data", "", false, "small file", {InlineData}},
    {"Ext4InlineDataFolder", "ext4", "-O inline_data", "", false, "folder", {InlineData}},
    {"Ext4InlineDataFreeSpace", "ext4", "-O inline_data", "", false, "free space", {InlineData}},
    {"Ext4DataOrdered", "ext4", "", "data=ordered", false, "folder", {}},
    {"Xfs", "xfs", "", "", false, "folder", {}},
    {"Ext4ImageOnTmpfs", "ext4", "", "", true, "folder", {Memory}}};

INSTANTIATE_TEST_SUITE_P(RealFileSystems, LoopImageNoteTest, testing::ValuesIn(kImageCases),
                         [](const testing::TestParamInfo<ImageCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace tolvane
