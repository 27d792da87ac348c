// A hashed ext4 folder read from its blocks: every entry sits in the leaf that its hash, as
// computed here, picks. That holds only when the blocks are read right and the kernel's hash
// is reproduced exactly, under each hash a volume can be made with.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "LoopImage.h"
#include "TempDir.h"
#include "engine/Ext4NameHash.h"
#include "platform/Ext4FolderBlocks.h"
#include "platform/UniqueFd.h"
#include "platform/VolumeJournal.h"

namespace tolvane::test {
namespace {

TEST(HashedFolder, EveryEntryIsInTheLeafItsHashPicks) {
    for (const char* hash : {"half_md4", "tea", "legacy"}) {
        SCOPED_TRACE(hash);
        TempDir tmp;
        LoopImage image(tmp.Path(), "ext4", 64);
        if (!image.Mounted()) {
            GTEST_SKIP() << "mount not available: " << image.SkipReason();
        }
        // New folders take the volume's default hash.
        ASSERT_TRUE(image.Unmount());
        ASSERT_EQ(::system(("tune2fs -E hash_alg=" + std::string(hash) + " " + image.ImagePath() +
                            " >/dev/null")
                               .c_str()),
                  0);
        ASSERT_TRUE(image.Remount());
        const std::string folder = image.MountPoint() + "/many";
        ASSERT_TRUE(MakeDirs(folder));
        // Characters beyond ASCII count as signed or unsigned, as the volume says.
        const int count = 600;
        for (int i = 0; i < count; ++i) {
            const std::string name = "report-" + std::to_string(i * 7919) +
                                     (i % 3 == 0 ? "-\xc3\xa9t\xc3\xa9" : "") +
                                     std::string(static_cast<std::size_t>(i % 40), 'q');
            ASSERT_TRUE(WriteFile(folder + "/" + name, "x"));
        }
        UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        VolumeJournal journal;
        ASSERT_TRUE(ReadVolumeJournal(fd.Get(), journal));
        ASSERT_TRUE(IsHashedFolder(fd.Get()));
        Ext4FolderBlocks blocks;
        ASSERT_TRUE(ReadExt4FolderBlocks(fd.Get(), journal.deviceName, blocks));
        EXPECT_GT(blocks.leaves.size(), 10u);
        int entries = 0;
        for (const Ext4FolderBlocks::Leaf& leaf : blocks.leaves) {
            for (const Ext4FolderBlocks::Record& record : leaf.records) {
                if (record.used == 0) {
                    continue;
                }
                const std::string name = leaf.bytes.substr(
                    record.offset + 8, static_cast<unsigned char>(leaf.bytes[record.offset + 6]));
                std::uint32_t h = 0;
                ASSERT_TRUE(Ext4NameHash(name, blocks.hashVersion, blocks.hashSeed, h));
                EXPECT_TRUE(h >= leaf.hashFrom && h <= leaf.hashTo)
                    << name << " in leaf " << leaf.block;
                ++entries;
            }
        }
        EXPECT_EQ(entries, count);
    }
}

}  // namespace
}  // namespace tolvane::test
