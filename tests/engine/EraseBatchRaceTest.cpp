// Files stay open while the others of their batch are written, and names are looked at before
// they are renamed: other programs may act in between. Each race is forced at its exact point
// through the file-system seam: a name linked to a file of an open batch, a file that grows or
// is cut shorter, an entry swapped in for the chosen one right before its rename.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "EngineTestHelpers.h"
#include "FaultyFileSystem.h"
#include "LoopImage.h"
#include "RawScan.h"
#include "TempDir.h"
#include "engine/EraseEngine.h"
#include "engine/FailureReasons.h"

namespace tolvane::test {
namespace {

constexpr std::size_t kKiB = 1024;

bool Append(const std::string& path, const std::string& content) {
    UniqueFd fd(open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
    return fd.Valid() &&
           write(fd.Get(), content.data(), content.size()) == static_cast<ssize_t>(content.size());
}

// Two files of one folder, named in the order their batch writes them (by inode number).
struct Batch {
    std::string first;
    std::string second;
};

Batch MakeBatch(const std::string& folder, const std::string& firstContent,
                const std::string& secondContent) {
    Batch batch{folder + "/a_first", folder + "/b_second"};
    EXPECT_TRUE(MakeDirs(folder) && WriteFile(batch.first, "") && WriteFile(batch.second, ""));
    if (StatOf(batch.first).st_ino > StatOf(batch.second).st_ino) {
        std::swap(batch.first, batch.second);  // contents follow the order of writing
    }
    EXPECT_TRUE(WriteFile(batch.first, firstContent) && WriteFile(batch.second, secondContent));
    return batch;
}

std::string Line(const std::string& path, const char* reason) {
    return path + " - " + reason;
}

class BatchLinkTest : public testing::TestWithParam<int> {
protected:
    void SetUp() override { ASSERT_TRUE(MakeDirs(m_dir / "backup")); }

    TempDir m_dir;
    const std::string m_first = std::string(8 * kKiB, 'f');
    const std::string m_second = std::string(8 * kKiB, 's');
    Batch m_batch = MakeBatch(m_dir / "sel", m_first, m_second);
    const std::string m_copy = m_dir / "backup/copy";
    FaultyFileSystem m_fs;
};

// Linked after both files were opened, before the second one's first write: nothing is
// written to it, and the other name keeps its content.
TEST_P(BatchLinkTest, LinkMadeBeforeTheFirstWriteKeepsItsContent) {
    m_fs.beforeWrite = [&](int number) {
        if (number == 1) {
            ASSERT_EQ(link(m_batch.second.c_str(), m_copy.c_str()), 0);
        }
    };
    EraseRun run(GetParam(), &m_fs);
    run.Run({m_dir / "sel"});
    EXPECT_TRUE(ReadFile(m_copy) == m_second);
    EXPECT_TRUE(ReadFile(m_batch.second) == m_second);
    EXPECT_FALSE(Exists(m_batch.first));
    EXPECT_EQ(run.target.Failures(),
              std::vector<std::string>{Line(m_batch.second, kHasOtherNames)});
}

// Linked after the first file's first write: later passes do not write to it, and the report
// says what the new name holds instead of claiming it was left alone.
TEST_P(BatchLinkTest, LinkMadeAfterWritingBeganIsReportedAsSuch) {
    int writes = 0;
    m_fs.beforeWrite = [&](int number) {
        writes = number;
        if (number == 2) {
            ASSERT_EQ(link(m_batch.first.c_str(), m_copy.c_str()), 0);
        }
    };
    EraseRun run(GetParam(), &m_fs);
    run.Run({m_dir / "sel"});
    const std::string copy = ReadFile(m_copy);
    EXPECT_EQ(copy.size(), m_first.size());
    EXPECT_EQ(copy.find("ffffffffffffffff"), std::string::npos);
    EXPECT_EQ(writes, 1 + GetParam());  // one pass to the first file, all to the second
    EXPECT_FALSE(Exists(m_batch.second));
    EXPECT_EQ(run.target.Failures(),
              std::vector<std::string>{Line(m_batch.first, kGainedNameWhileOverwriting)});
}

INSTANTIATE_TEST_SUITE_P(Passes, BatchLinkTest, testing::Values(1, 2),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param) + "Passes";
                         });

// Sizes change on a real file system, where what the erase leaves is read from the raw image.
class BatchSizeTest : public testing::Test {
protected:
    void SetUp() override { TOLVANE_SKIP_UNLESS_MOUNTED(m_image); }

    // Unmounts the image and counts each marker's windows on it.
    std::vector<std::uint64_t> Scan(const std::vector<Marker>& markers) {
        std::vector<std::uint64_t> counts;
        for (const MarkerScanner::Hits& hits : ScanUnmounted(m_image, markers)) {
            counts.push_back(hits.count);
        }
        return counts;
    }

    TempDir m_dir;
    LoopImage m_image{m_dir.Path(), "ext4", 64};
    const std::string m_sel = m_image.MountPoint() + "/sel";
    Marker m_old = Marker::Random();
    Marker m_new = Marker::Random();
    FaultyFileSystem m_fs;
};

// 1 MiB appended to a file of the open batch before its first pass: all of it is written.
TEST_F(BatchSizeTest, FileThatGrewWhileItsBatchWasOpenIsOverwrittenToItsNewEnd) {
    const Batch batch = MakeBatch(m_sel, m_old.Content(8 * kKiB), m_old.Content(64 * kKiB));
    m_fs.beforeWrite = [&](int number) {
        if (number == 1) {
            ASSERT_TRUE(Append(batch.second, m_new.Content(1024 * kKiB)));
        }
    };
    EraseRun run(1, &m_fs);
    run.Run({m_sel});
    EXPECT_EQ(run.engine.FailedCount(), 0) << testing::PrintToString(run.target.Failures());
    EXPECT_FALSE(Exists(m_sel));
    EXPECT_EQ(Scan({m_old, m_new}), (std::vector<std::uint64_t>{0, 0}));
}

// Cut from 64 KiB to 4 KiB before its first pass: what is left is overwritten and removed, and
// the file is reported, as what was cut off went to the free space unwritten.
TEST_F(BatchSizeTest, FileCutShorterBeforeItsPassesIsReported) {
    const Batch batch = MakeBatch(m_sel, m_old.Content(8 * kKiB),
                                  m_old.Content(4 * kKiB) + m_new.Content(60 * kKiB));
    m_fs.beforeWrite = [&](int number) {
        if (number == 1) {
            ASSERT_EQ(truncate(batch.second.c_str(), 4 * kKiB), 0);
        }
    };
    EraseRun run(1, &m_fs);
    run.Run({m_sel});
    EXPECT_EQ(run.target.Failures(),
              std::vector<std::string>{Line(batch.second, kShortenedBeforeOverwritten)});
    EXPECT_FALSE(Exists(m_sel));
    const std::vector<std::uint64_t> counts = Scan({m_old, m_new});
    EXPECT_EQ(counts[0], 0u);
    EXPECT_LE(counts[1], 60 * kKiB);
    ReportFinding("cut_off_part_left_in_free_space", std::to_string(counts[1]) + " windows");
}

// Growing at every write: after being written again twice, the file is left in place,
// whole, and reported.
TEST_F(BatchSizeTest, FileThatKeepsGrowingIsKeptAndReported) {
    const Batch batch = MakeBatch(m_sel, m_old.Content(8 * kKiB), m_old.Content(8 * kKiB));
    m_fs.beforeWrite = [&](int) { ASSERT_TRUE(Append(batch.second, m_new.Content(4 * kKiB))); };
    EraseRun run(1, &m_fs);
    run.Run({m_sel});
    EXPECT_EQ(run.target.Failures(),
              std::vector<std::string>{Line(batch.second, kKeptChangingSize)});
    EXPECT_FALSE(Exists(batch.first));
    const std::string kept = ReadFile(batch.second);
    EXPECT_EQ(static_cast<std::uint64_t>(StatOf(batch.second).st_size) % (4 * kKiB), 0u);
    EXPECT_GT(kept.size(), 8 * kKiB);
    EXPECT_EQ(kept.substr(kept.size() - 16), m_new.Content(4 * kKiB).substr(4 * kKiB - 16));
}

// What another program puts under the chosen name right before its rename.
enum class Swap { Symlink, Fifo, OutsideLink, Exchange };

class RenameSwapTest : public testing::TestWithParam<std::tuple<Swap, int>> {};

TEST_P(RenameSwapTest, EntrySwappedInBeforeTheRenameIsPutBackAndLeftAlone) {
    const auto [swap, passes] = GetParam();
    TempDir dir;
    ASSERT_TRUE(MakeDirs(dir / "work") && MakeDirs(dir / "outside"));
    const std::string chosen = dir / "work/chosen.txt";
    const std::string outside = dir / "outside/keep.txt";
    ASSERT_TRUE(WriteFile(chosen, std::string(70000, 'c')));
    ASSERT_TRUE(WriteFile(outside, "outside content"));
    const ino_t outsideInode = StatOf(outside).st_ino;
    FaultyFileSystem fs;
    bool swapped = false;
    fs.beforeRename = [&](int dirFd, const std::string& from, const std::string&) {
        if (swapped || from != "chosen.txt") {
            return;
        }
        swapped = true;
        if (swap == Swap::Exchange) {
            ASSERT_EQ(renameat2(AT_FDCWD, outside.c_str(), dirFd, "chosen.txt", RENAME_EXCHANGE),
                      0);
            return;
        }
        if (swap == Swap::Symlink) {
            ASSERT_EQ(symlinkat(outside.c_str(), dirFd, "swap"), 0);
        } else if (swap == Swap::Fifo) {
            ASSERT_EQ(mkfifoat(dirFd, "swap", 0600), 0);
        } else {
            ASSERT_EQ(linkat(AT_FDCWD, outside.c_str(), dirFd, "swap", 0), 0);
        }
        ASSERT_EQ(renameat(dirFd, "swap", dirFd, "chosen.txt"), 0);
    };
    EraseRun run(passes, &fs);
    run.Run({chosen});
    ASSERT_TRUE(swapped);
    EXPECT_EQ(run.target.Failures(), std::vector<std::string>{Line(chosen, kSwappedBeforeRename)});
    EXPECT_EQ(ListNames(dir / "work"), std::vector<std::string>{"chosen.txt"});
    const struct stat there = StatOf(chosen);
    if (swap == Swap::Symlink) {
        EXPECT_TRUE(S_ISLNK(there.st_mode));
    } else if (swap == Swap::Fifo) {
        EXPECT_TRUE(S_ISFIFO(there.st_mode));
    } else {
        EXPECT_EQ(there.st_ino, outsideInode);
        EXPECT_EQ(ReadFile(chosen), "outside content");
    }
    if (swap != Swap::Exchange) {
        EXPECT_EQ(ReadFile(outside), "outside content");
    }
}

std::string SwapName(const testing::TestParamInfo<std::tuple<Swap, int>>& info) {
    static const char* const names[] = {"Symlink", "Fifo", "OutsideLink", "Exchange"};
    return std::string(names[static_cast<int>(std::get<0>(info.param))]) + "_" +
           std::to_string(std::get<1>(info.param)) + "Passes";
}

INSTANTIATE_TEST_SUITE_P(Swaps, RenameSwapTest,
                         testing::Combine(testing::Values(Swap::Symlink, Swap::Fifo,
                                                          Swap::OutsideLink, Swap::Exchange),
                                          testing::Values(1, 0)),
                         SwapName);

}  // namespace
}  // namespace tolvane::test
