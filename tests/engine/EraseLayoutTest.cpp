// What lies under a file's name on real file systems, and whether erasing reaches it: extents
// that read as zeros but keep their old blocks, content stored in the inode, and overlay
// mounts whose lower layer keeps the original. Every case works on an image or mount the test
// makes; data is judged by a scan of the raw image after unmounting it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "EngineTestHelpers.h"
#include "LoopImage.h"
#include "RawScan.h"
#include "TempDir.h"
#include "engine/FailureReasons.h"
#include "engine/MediumCheck.h"

namespace tolvane::test {
namespace {

constexpr std::size_t kKiB = 1024;

struct ImageKind {
    const char* fsType;
    int megabytes;
    // xfs zeroes a range by releasing its blocks and allocating new unwritten ones: the old
    // content is in the free space before the erase starts, where only a wipe reaches it.
    bool zeroingReleasesBlocks;
};

void PrintTo(const ImageKind& kind, std::ostream* out) {
    *out << kind.fsType;
}

class UnwrittenExtentTest : public testing::TestWithParam<ImageKind> {};

// Zeroing a range with fallocate -z leaves its blocks allocated but unwritten: reads give
// zeros, SEEK_DATA calls it a hole, and the blocks keep the old content.
TEST_P(UnwrittenExtentTest, ZeroedRangesAreOverwrittenToo) {
    TempDir dir;
    LoopImage image(dir.Path(), GetParam().fsType, GetParam().megabytes);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    const std::string path = image.MountPoint() + "/zeroed";
    const Marker marker = Marker::Random();
    ASSERT_TRUE(WriteFile(path, marker.Content(1024 * kKiB)));
    {
        UniqueFd fd(open(path.c_str(), O_WRONLY | O_CLOEXEC));
        ASSERT_TRUE(fd.Valid());
        ::fsync(fd.Get());
        ASSERT_EQ(fallocate(fd.Get(), FALLOC_FL_ZERO_RANGE, 64 * kKiB, 896 * kKiB), 0);
    }
    ::sync();
    const std::uint64_t before = ScanUnmounted(image, {marker})[0].count;
    ASSERT_GE(before, 1000 * kKiB) << "the zeroed range does not keep its blocks here";
    ASSERT_TRUE(image.Remount());

    EraseRun run(1);
    run.Run({path});
    EXPECT_EQ(run.engine.FailedCount(), 0);
    EXPECT_FALSE(Exists(path));
    const std::uint64_t after = ScanUnmounted(image, {marker})[0].count;
    if (GetParam().zeroingReleasesBlocks) {
        EXPECT_LE(after, 896 * kKiB - 15) << "the file's own blocks keep some of it";
        ReportFinding("xfs_zeroed_range_left_in_free_space", std::to_string(after) + " windows");
    } else {
        EXPECT_EQ(after, 0u) << "of " << before << " before the erase";
    }
}

INSTANTIATE_TEST_SUITE_P(RealFileSystems, UnwrittenExtentTest,
                         testing::Values(ImageKind{"ext4", 64, false}, ImageKind{"xfs", 320, true}),
                         [](const testing::TestParamInfo<ImageKind>& info) {
                             return std::string(info.param.fsType);
                         });

// Erasing through an overlay reaches the upper layer only: a file that came with the lower
// layer is erased there as far as it can be (its copy and its name) and reported, as its
// original stays; a folder of the lower layer, which the overlay refuses to rename, is still
// removed; a file made in the overlay goes without a word.
TEST(OverlayErase, WhatTheLowerLayerKeepsIsReportedAndFoldersGoAnyway) {
    TempDir dir;
    for (const char* folder : {"lower/folder/sub", "upper", "work", "merged"}) {
        ASSERT_TRUE(MakeDirs(dir / folder));
    }
    ASSERT_TRUE(WriteFile(dir / "lower/doc.txt", "lower content"));
    ASSERT_TRUE(WriteFile(dir / "lower/folder/sub/inner.txt", "inner content"));
    OverlayMount overlay(dir / "lower", dir / "upper", dir / "work", dir / "merged");
    TOLVANE_SKIP_UNLESS_MOUNTED(overlay);
    const std::string merged = dir / "merged";
    ASSERT_TRUE(WriteFile(merged + "/mine.txt", "made in the overlay"));

    const std::vector<MediumNote> notes = CheckMedia({merged + "/mine.txt"});
    ASSERT_EQ(notes.size(), 1u);
    std::vector<MediumReason> reasons = notes[0].reasons;
    std::erase(reasons, MediumReason::Flash);  // the disk under the upper layer may be flash
    EXPECT_EQ(reasons, std::vector<MediumReason>{MediumReason::LowerLayer}) << notes[0].text;

    EraseRun run(1);
    run.Run({merged + "/doc.txt", merged + "/folder", merged + "/mine.txt"});
    EXPECT_EQ(
        run.target.Failures(),
        (std::vector<std::string>{merged + "/doc.txt - " + kOriginalInLowerLayer,
                                  merged + "/folder/sub/inner.txt - " + kOriginalInLowerLayer}));
    EXPECT_EQ(ListNames(merged), std::vector<std::string>{});
    EXPECT_EQ(ReadFile(dir / "lower/doc.txt"), "lower content");
}

}  // namespace
}  // namespace tolvane::test
