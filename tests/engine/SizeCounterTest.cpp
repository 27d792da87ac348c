// What a size count adds up for each kind of item.
#include <gtest/gtest.h>

#include "LoopImage.h"
#include "TempDir.h"
#include "WalkTestHelpers.h"
#include "engine/SizeCounter.h"
#include "platform/Volumes.h"

namespace tolvane::test {
namespace {

struct CountCase {
    std::string name;
    std::vector<std::string> items;  // relative to the temp folder
    std::int32_t count;
    std::uint64_t bytes;
};

class SizeCounterCount : public testing::TestWithParam<CountCase> {};

// f/ one.bin (1234 bytes), empty/
TEST_P(SizeCounterCount, AddsFoldersFilesAndBytes) {
    TempDir temp;
    ASSERT_TRUE(MakeDirs(temp / "f/empty"));
    ASSERT_TRUE(WriteFileOfSize(temp / "f/one.bin", 1234));
    std::vector<std::string> paths;
    for (const std::string& item : GetParam().items) {
        paths.push_back(temp / item);
    }
    EraseItemList items = MakeItems(paths);
    SizeCounter counter;
    counter.SetItems(&items);
    counter.Walk();
    EXPECT_EQ(counter.Count(), GetParam().count);
    EXPECT_EQ(counter.Bytes(), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Items, SizeCounterCount,
    testing::Values(
        CountCase{"Folder", {"f"}, 3, 1234}, CountCase{"FolderWithSeparator", {"f/"}, 3, 1234},
        CountCase{"EmptyFolder", {"f/empty"}, 1, 0}, CountCase{"File", {"f/one.bin"}, 1, 1234},
        CountCase{"Pattern", {"f/*.*"}, 1, 1234}, CountCase{"NamesNothing", {"nothing"}, 0, 0},
        CountCase{"PatternInMissingFolder", {"nothing/*.bin"}, 0, 0},
        CountCase{"ListedTwice", {"f", "f/one.bin"}, 4, 2468}),
    [](const testing::TestParamInfo<CountCase>& info) { return info.param.name; });

TEST(SizeCounter, ADriveSpecAddsTheFreeBytesAndOne) {
    TempDir temp;
    LoopImage image(temp / "img", "ext4", 64);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    const std::uint64_t free = FreeBytes(image.MountPoint() + "/");
    ASSERT_GT(free, 0u);
    ASSERT_LT(free, 64u * 1024 * 1024);
    for (const std::string& spec : {image.MountPoint() + ":", image.MountPoint() + "/:"}) {
        EraseItemList items = MakeItems({spec});
        SizeCounter counter;
        counter.SetItems(&items);
        counter.Walk();
        EXPECT_EQ(counter.Count(), 1) << spec;
        EXPECT_EQ(counter.Bytes(), free) << spec;
    }
}

}  // namespace
}  // namespace tolvane::test
