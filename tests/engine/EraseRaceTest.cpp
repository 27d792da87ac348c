// Other names of a file, and races with other programs forced at the exact moment through the
// file-system seam: a name linked or swapped between the listing and the open, or between the
// renames and the cut, must never cost a file outside the selection its content, size or times.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "EngineTestHelpers.h"
#include "FaultyFileSystem.h"
#include "TempDir.h"
#include "engine/EraseEngine.h"

namespace tolvane::test {
namespace {

class EraseRaceTest : public testing::TestWithParam<int> {
protected:
    void SetUp() override {
        ASSERT_TRUE(MakeDirs(m_dir / "work"));
        ASSERT_TRUE(MakeDirs(m_dir / "outside"));
        ASSERT_TRUE(WriteFile(m_chosen, std::string(70000, 'c')));
        ASSERT_TRUE(WriteFile(m_outside, "outside content"));
    }

    TempDir m_dir;
    std::string m_chosen = m_dir / "work/chosen.txt";
    std::string m_outside = m_dir / "outside/keep.txt";
    std::string m_link = m_dir / "outside/backup.txt";
    FaultyFileSystem m_fs;
};

// A backup tool links the file after the folder was listed and before it is opened (the
// other names are counted on the open file, so a link made before the walk is found the
// same way): the name outside the selection keeps the content. The file is left and
// reported, or without passes only the chosen name goes.
TEST_P(EraseRaceTest, LinkMadeAfterTheListingKeepsItsContent) {
    m_fs.beforeOpen = [&](int dirFd, const std::string& name) {
        if (!Exists(m_link)) {
            ASSERT_EQ(linkat(dirFd, name.c_str(), AT_FDCWD, m_link.c_str(), 0), 0);
        }
    };
    EraseRun run(GetParam(), &m_fs);
    run.Run({m_dir / "work"});
    EXPECT_TRUE(ReadFile(m_link) == std::string(70000, 'c'));
    if (GetParam() > 0) {
        EXPECT_TRUE(ReadFile(m_chosen) == std::string(70000, 'c'));  // not even renamed
        EXPECT_EQ(run.target.Failures(),
                  std::vector<std::string>{
                      m_chosen + " - has other names (hard links): overwriting would destroy "
                                 "what they hold"});
    } else {
        EXPECT_FALSE(Exists(m_dir / "work"));
        EXPECT_EQ(run.engine.FailedCount(), 0);
    }
}

// Someone puts a link to an outside file at the obscured name between the renames and the
// cut: the cut and the new times go to the file that was overwritten, and the name that now
// holds someone else's file is left alone.
TEST_P(EraseRaceTest, FileSwappedInBeforeTheCutIsLeftAlone) {
    const TreeState before = Snapshot(m_dir / "outside");
    const std::string swap = m_dir / "work/swap";
    const std::string obscured = m_dir / "work/aaaaaaaa.aaa";
    int overwritten = -1;
    m_fs.beforeTruncate = [&](int fd) {
        overwritten = fd;
        ASSERT_EQ(link(m_outside.c_str(), swap.c_str()), 0);
        ASSERT_EQ(rename(swap.c_str(), obscured.c_str()), 0);
    };
    EraseRun run(GetParam(), &m_fs);
    run.Run({m_chosen});
    ASSERT_GE(overwritten, 0) << "the cut never came";
    EXPECT_EQ(Snapshot(m_dir / "outside"), before);
    EXPECT_EQ(ReadFile(obscured), "outside content");
    EXPECT_EQ(
        run.target.Failures(),
        std::vector<std::string>{m_chosen + " - another file took its name while it was being "
                                            "erased; that file was left alone"});
}

INSTANTIATE_TEST_SUITE_P(Passes, EraseRaceTest, testing::Values(1, 0),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param) + "Passes";
                         });

// The file grows between the listing and the open: all of it is overwritten, not only what the
// listing saw.
TEST(EraseGrowth, FileThatGrewAfterTheListingIsOverwrittenWhole) {
    TempDir dir;
    const std::string path = dir / "log";
    ASSERT_TRUE(WriteFile(path, std::string(1000, 'a')));
    FaultyFileSystem fs;
    fs.beforeOpen = [&](int, const std::string&) {
        ASSERT_TRUE(WriteFile(path, std::string(200000, 'g')));  // same file, grown
    };
    std::string seen;
    fs.beforeTruncate = [&](int fd) {
        // What the file holds right before the cut, read through the overwritten descriptor.
        seen = ReadFile("/proc/self/fd/" + std::to_string(fd));
    };
    EraseRun run(1, &fs);
    run.Run({path});
    ASSERT_GE(seen.size(), 200000u);
    EXPECT_EQ(seen.find("gggggggggggggggg"), std::string::npos);
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(run.engine.FailedCount(), 0);
}

}  // namespace
}  // namespace tolvane::test
