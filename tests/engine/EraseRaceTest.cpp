// Races with other programs, forced at the exact moment through the file-system seam: a name
// linked or swapped between the listing and the open, or between the renames and the cut,
// must never cost a file outside the selection its content, size or times.
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

struct FileState {
    std::string content;
    off_t size = 0;
    timespec mtime{};
    nlink_t links = 0;
};

FileState StateOf(const std::string& path) {
    FileState state;
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        state.size = st.st_size;
        state.mtime = st.st_mtim;
        state.links = st.st_nlink;
        state.content = ReadFile(path);
    }
    return state;
}

void ExpectUnchanged(const FileState& before, const std::string& path) {
    FileState after = StateOf(path);
    EXPECT_EQ(after.content, before.content) << path;
    EXPECT_EQ(after.size, before.size) << path;
    EXPECT_EQ(after.mtime.tv_sec, before.mtime.tv_sec) << path;
    EXPECT_EQ(after.mtime.tv_nsec, before.mtime.tv_nsec) << path;
}

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
    FaultyFileSystem m_fs;
};

// A backup tool links the file after the folder was listed and before it is opened: the
// other name keeps its content.
TEST_P(EraseRaceTest, LinkMadeAfterTheListingKeepsItsContent) {
    const std::string other = m_dir / "outside/backup.txt";
    m_fs.beforeOpen = [&](int dirFd, const std::string& name) {
        if (!Exists(other)) {
            ASSERT_EQ(linkat(dirFd, name.c_str(), AT_FDCWD, other.c_str(), 0), 0);
        }
    };
    EraseRun run(GetParam(), &m_fs);
    run.Run({m_dir / "work"});
    EXPECT_TRUE(ReadFile(other) == std::string(70000, 'c'));
    if (GetParam() > 0) {
        EXPECT_TRUE(ReadFile(m_chosen) == std::string(70000, 'c'));  // not even renamed
        EXPECT_EQ(run.target.Failures(),
                  std::vector<std::string>{
                      m_chosen + " - has other names (hard links): overwriting would destroy "
                                 "what they hold"});
    } else {
        EXPECT_FALSE(Exists(m_dir / "work"));  // without passes only the chosen name goes
        EXPECT_EQ(run.engine.FailedCount(), 0);
    }
}

// Someone puts a link to an outside file at the obscured name between the renames and the
// cut: the cut and the new times go to the file that was overwritten, and the name that now
// holds someone else's file is left alone.
TEST_P(EraseRaceTest, FileSwappedInBeforeTheCutIsLeftAlone) {
    const FileState before = StateOf(m_outside);
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
    ExpectUnchanged(before, m_outside);
    EXPECT_EQ(StateOf(obscured).content, "outside content");
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
