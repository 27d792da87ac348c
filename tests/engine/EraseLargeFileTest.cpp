// Files larger than a chunk, whose fresh pass is made ahead on producer threads: what each
// pass puts at every byte, and what a stop or a pause in the middle of a chunk leaves.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "EngineTestHelpers.h"
#include "FaultyFileSystem.h"
#include "TempDir.h"
#include "Waiting.h"
#include "engine/FailureReasons.h"
#include "engine/PatternSource.h"

namespace tolvane::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Keeps every write, per file, in the order they came.
class RecordingFileSystem : public FaultyFileSystem {
public:
    struct Write {
        std::uint64_t offset;
        Bytes data;
    };

    Written WriteAt(int fd, const void* buffer, std::size_t length, std::uint64_t offset) override {
        struct stat st {};
        fstat(fd, &st);
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_writes[st.st_ino].push_back({offset, Bytes(bytes, bytes + length)});
        }
        return FaultyFileSystem::WriteAt(fd, buffer, length, offset);
    }
    // One file's passes: each a copy of what it wrote from offset 0 on.
    std::vector<Bytes> Passes(ino_t inode) {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<Bytes> passes;
        for (const Write& write : m_writes[inode]) {
            EXPECT_LE(write.data.size(), kChunkSize);
            if (write.offset == 0) {
                passes.emplace_back();
            }
            EXPECT_EQ(write.offset, passes.back().size()) << "a gap or an overlap";
            passes.back().insert(passes.back().end(), write.data.begin(), write.data.end());
        }
        return passes;
    }
    std::size_t WriteCount() {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::size_t count = 0;
        for (const auto& [inode, writes] : m_writes) {
            count += writes.size();
        }
        return count;
    }

private:
    std::mutex m_mutex;
    std::map<ino_t, std::vector<Write>> m_writes;
};

constexpr std::uint64_t kMiB = 1 << 20;

bool RepeatsOneBlock(const Bytes& pass) {
    for (std::size_t x = kBlockSize; x < pass.size(); ++x) {
        if (pass[x] != pass[x % kBlockSize]) {
            return false;
        }
    }
    return true;
}

Bytes Complement(Bytes data) {
    for (std::uint8_t& byte : data) {
        byte = static_cast<std::uint8_t>(~byte);
    }
    return data;
}

// The passes of a large file write the pattern at every byte up to the end of its last
// medium block: one keystream block repeated at every block position (the same for every
// file), its exact complement, then fresh keystream in which no block recurs, neither within
// a file nor across files.
TEST(EraseLargeFile, PassesWriteABlockItsComplementAndFreshDataThatNeverRecurs) {
    TempDir dir;
    const std::uint64_t size = 2 * kMiB + 1000;  // a short last chunk
    const std::vector<std::string> paths = {dir / "a.bin", dir / "b.bin"};
    std::vector<ino_t> inodes;
    for (const std::string& path : paths) {
        ASSERT_TRUE(WriteFileOfSize(path, size, 'p'));
        inodes.push_back(StatOf(path).st_ino);
    }
    RecordingFileSystem fs;
    EraseRun run(3, &fs);
    run.Run(paths);
    ASSERT_TRUE(run.Finished());
    EXPECT_TRUE(run.target.Failures().empty());

    std::vector<Bytes> freshBlocks;
    std::vector<std::vector<Bytes>> files;
    for (ino_t inode : inodes) {
        files.push_back(fs.Passes(inode));
        const std::vector<Bytes>& passes = files.back();
        ASSERT_EQ(passes.size(), 3u);
        for (const Bytes& pass : passes) {
            EXPECT_GE(pass.size(), size);
            EXPECT_LT(pass.size(), size + kBlockSize);
        }
        EXPECT_TRUE(RepeatsOneBlock(passes[0]));
        EXPECT_EQ(passes[1], Complement(passes[0]));
        for (std::size_t x = 0; x < passes[2].size(); x += kBlockSize) {
            const std::size_t end = std::min(x + kBlockSize, passes[2].size());
            freshBlocks.emplace_back(passes[2].begin() + static_cast<std::ptrdiff_t>(x),
                                     passes[2].begin() + static_cast<std::ptrdiff_t>(end));
        }
    }
    EXPECT_EQ(files[0][0], files[1][0]) << "the fixed block differs between files";
    freshBlocks.push_back(Bytes(files[0][0].begin(), files[0][0].begin() + kBlockSize));
    std::sort(freshBlocks.begin(), freshBlocks.end());
    EXPECT_EQ(std::adjacent_find(freshBlocks.begin(), freshBlocks.end()), freshBlocks.end())
        << "a block of fresh data recurs";
}

struct StopCase {
    const char* name;
    int passes;
    int stopDuringWrite;  // 1-based over the whole run
    bool pauseFirst;      // held at the gate and then told to stop, as the window does
};

class EraseLargeFileStop : public testing::TestWithParam<StopCase> {};

// A stop (or the pause of the question before it) that comes while a chunk is being written
// takes effect before the next chunk: nothing more is written, the producers are gone, and
// the file stays under its own name at its size, listed as not completely overwritten.
TEST_P(EraseLargeFileStop, TakesEffectAfterTheChunkInProgressAndKeepsTheFile) {
    const StopCase& param = GetParam();
    TempDir dir;
    const std::string path = dir / "large.bin";
    const std::uint64_t size = 3 * kMiB + 1000;  // 4 chunks a pass
    ASSERT_TRUE(WriteFileOfSize(path, size, 'p'));
    const std::set<pid_t> threadsBefore = ThreadIds();

    RecordingFileSystem fs;
    EraseRun run(param.passes, &fs);
    std::size_t writesAtGate = 0;  // only the worker touches it
    fs.beforeWrite = [&](int number) {
        if (number != param.stopDuringWrite) {
            return;
        }
        if (param.pauseFirst) {
            run.engine.Gate().Hold();
        } else {
            run.engine.RequestCancel();
        }
    };
    run.engine.Gate().SetHooks({[&] {
                                    if (run.engine.Gate().IsHeld()) {
                                        writesAtGate = fs.WriteCount();
                                        run.engine.RequestCancel();  // before the release
                                        run.engine.Gate().Release();
                                    }
                                },
                                {},
                                {}});
    run.Run({path});
    ASSERT_TRUE(run.Finished());

    EXPECT_EQ(fs.WriteCount(), static_cast<std::size_t>(param.stopDuringWrite));
    if (param.pauseFirst) {
        EXPECT_EQ(writesAtGate, static_cast<std::size_t>(param.stopDuringWrite))
            << "the pause did not hold the worker right after the chunk in progress";
    }
    EXPECT_TRUE(ThreadsAsBefore(threadsBefore)) << "a producer thread outlived the run";
    ASSERT_TRUE(Exists(path));
    EXPECT_EQ(StatOf(path).st_size, static_cast<off_t>(size));
    EXPECT_EQ(run.target.Failures(),
              std::vector<std::string>{path + " - " + kStoppedDuringOverwrite});
    EXPECT_TRUE(run.engine.CutShort());
}

INSTANTIATE_TEST_SUITE_P(MidChunk, EraseLargeFileStop,
                         testing::Values(StopCase{"FreshPass", 1, 2, false},
                                         StopCase{"FixedPass", 3, 2, false},
                                         StopCase{"LastPassOfThree", 3, 4 * 2 + 2, false},
                                         StopCase{"PausedInTheFreshPass", 1, 3, true},
                                         StopCase{"PausedInTheFixedPass", 3, 4 + 2, true}),
                         [](const testing::TestParamInfo<StopCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace tolvane::test
