// Free space that no write of the user can reach (blocks kept for root, the file system's own
// reserves) is reported after a wipe, with a size that matches what a raw scan of the medium
// finds unwritten.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "EngineTestHelpers.h"
#include "LoopImage.h"
#include "RawScan.h"
#include "TempDir.h"
#include "platform/Volumes.h"

namespace tolvane::test {
namespace {

// Every free block that root can write gets the marker, then the marker file is deleted: what
// a wipe leaves of it is free space the wipe did not reach. Returns the free bytes the marker
// could not take (blocks and pools no write reaches, not even root's).
std::uint64_t FillFreeSpaceWithMarker(const std::string& root, const Marker& marker) {
    const std::string path = root + "/marker";
    UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT, 0600));
    EXPECT_TRUE(fd.Valid());
    const std::string block = marker.Content(1 << 20);
    while (write(fd.Get(), block.data(), block.size()) > 0) {
    }
    // Root may write the last blocks kept for it one small piece at a time.
    while (write(fd.Get(), block.data(), 4096) > 0) {
    }
    fsync(fd.Get());
    const std::uint64_t unmarked = AllFreeBytesOfDescriptor(fd.Get());
    fd.Reset();
    EXPECT_EQ(unlink(path.c_str()), 0);
    sync();
    return unmarked;
}

// "<size> of free space on <volume> could not be overwritten: ..." as bytes.
double ReportedBytes(const std::string& output) {
    std::smatch match;
    static const std::regex note(R"(note: ([0-9.]+) (bytes|kB|MB|GB) of free space on)");
    if (!std::regex_search(output, match, note)) {
        return -1;
    }
    const double scale = match[2] == "bytes" ? 1
                         : match[2] == "kB"  ? 1e3
                         : match[2] == "MB"  ? 1e6
                                             : 1e9;
    return std::stod(match[1]) * scale;
}

struct ReserveCase {
    const char* fsType;
    int megabytes;
    bool unprivileged;
};

void PrintTo(const ReserveCase& c, std::ostream* out) {
    *out << c.fsType << (c.unprivileged ? " as a user" : " as root");
}

class EraseReserveTest : public testing::TestWithParam<ReserveCase> {};

TEST_P(EraseReserveTest, UnreachedSpaceIsReportedAsTheRawScanFindsIt) {
    TempDir dir;
    LoopImage image(dir.Path(), GetParam().fsType, GetParam().megabytes);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    const Marker marker = Marker::Random();
    const double unmarked =
        static_cast<double>(FillFreeSpaceWithMarker(image.MountPoint(), marker));
    ASSERT_EQ(chmod(image.MountPoint().c_str(), 01777), 0);
    OpenUpTo(image.MountPoint());
    ChildRun run = EraseInChild(1, {image.MountPoint() + ":"}, GetParam().unprivileged);
    EXPECT_EQ(run.status, 0) << run.output;
    const double reported = ReportedBytes(run.output);
    ASSERT_TRUE(image.Unmount());
    MarkerScanner scanner;
    scanner.Add(marker);
    // A surviving run of n bytes gives n - 15 windows; runs are whole blocks, so the windows
    // undercount by 15 bytes a block at most.
    const double unwritten = static_cast<double>(scanner.Scan(image.ReadImage())[0].count);
    std::cout << "[ finding  ] " << GetParam().fsType << ": marker unwritten " << unwritten
              << " bytes, never markable " << unmarked << " bytes, reported " << reported
              << " bytes" << std::endl;
    // Never less than what survives; at most what survives plus what the marker itself could
    // not reach (space no write reaches is not marked either), give or take 10%.
    EXPECT_GE(reported, unwritten * 0.90) << run.output;
    EXPECT_LE(reported, (unwritten + unmarked) * 1.10 + 64 * 1024) << run.output;
}

INSTANTIATE_TEST_SUITE_P(RealFileSystems, EraseReserveTest,
                         testing::Values(ReserveCase{"ext4", 64, true},
                                         ReserveCase{"xfs", 320, false}),
                         [](const testing::TestParamInfo<ReserveCase>& info) {
                             return std::string(info.param.fsType) +
                                    (info.param.unprivileged ? "_user" : "_root");
                         });

}  // namespace
}  // namespace tolvane::test
