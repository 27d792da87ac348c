// Chunks made ahead on producer threads: the writer gets exactly the chunks it would make
// itself, in order, whatever the number of producers and however the ring wraps; ending a
// pass part-way leaves no producer behind; the producers run at the writer's priority.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "EngineTestHelpers.h"
#include "Waiting.h"
#include "engine/BlockPrefetcher.h"
#include "platform/IoPriority.h"

namespace tolvane::test {
namespace {

PassKey KeyOf(std::uint8_t seed) {
    PassKey key;
    for (std::size_t x = 0; x < key.size(); ++x) {
        key[x] = static_cast<std::uint8_t>(seed * 37 + x);
    }
    return key;
}

std::vector<std::uint8_t> Direct(const PassKey& key, std::uint64_t index, std::size_t length) {
    std::vector<std::uint8_t> chunk(length);
    GenerateChunk(key, index, chunk.data(), length);
    return chunk;
}

// The nice value of one thread, field 19 of its stat line (after the name in parentheses).
int NiceOf(pid_t tid) {
    std::ifstream file("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    std::getline(file, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int n = 3; n <= 19 && fields >> field; ++n) {
    }
    return std::stoi(field);
}

// A full chunk, short ones and tiny ones; more chunks than the largest ring holds.
std::vector<std::size_t> MixedLengths() {
    std::vector<std::size_t> lengths{kChunkSize};
    for (std::size_t c = 1; c < 23; ++c) {
        lengths.push_back(c % 5 == 3 ? 100 + c : c % 7 == 6 ? 1 : 4096);
    }
    return lengths;
}

TEST(BlockPrefetcher, WriterGetsEveryChunkInOrderWithTheBytesOfItsKeyAndIndex) {
    const std::vector<std::size_t> lengths = MixedLengths();
    for (int threads = 1; threads <= 4; ++threads) {
        BlockPrefetcher prefetcher(threads);
        for (std::uint8_t pass = 0; pass < 2; ++pass) {  // the same producers start again
            const PassKey key = KeyOf(pass);
            prefetcher.Begin(key, lengths);
            for (std::size_t c = 0; c < lengths.size(); ++c) {
                const std::uint8_t* chunk = prefetcher.Next();
                ASSERT_NE(chunk, nullptr);
                ASSERT_EQ(std::memcmp(chunk, Direct(key, c, lengths[c]).data(), lengths[c]), 0)
                    << threads << " threads, pass " << int(pass) << ", chunk " << c;
            }
            EXPECT_EQ(prefetcher.Next(), nullptr) << "more chunks than asked for";
            prefetcher.End();
        }
    }
}

// A stopped pass: the producers are waiting for free slots, or making a chunk, when the
// writer gives up. End must wake and join them all, and a new pass must start clean.
TEST(BlockPrefetcher, EndingPartWayJoinsEveryProducerAndTheNextPassStartsClean) {
    const std::set<pid_t> before = ThreadIds();
    BlockPrefetcher prefetcher(4);
    for (int taken : {0, 1, 3, 40}) {
        prefetcher.Begin(KeyOf(1), std::vector<std::size_t>(64, 4096));
        EXPECT_EQ(ThreadIds().size(), before.size() + 4);
        for (int c = 0; c < taken; ++c) {
            ASSERT_NE(prefetcher.Next(), nullptr);
        }
        prefetcher.End();
        EXPECT_TRUE(ThreadsAsBefore(before)) << "after " << taken << " chunks";
    }
    const PassKey key = KeyOf(2);
    prefetcher.Begin(key, {kChunkSize, 7});
    ASSERT_EQ(std::memcmp(prefetcher.Next(), Direct(key, 0, kChunkSize).data(), kChunkSize), 0);
    ASSERT_EQ(std::memcmp(prefetcher.Next(), Direct(key, 1, 7).data(), 7), 0);
    prefetcher.End();
    prefetcher.End();  // twice, as a destructor after a stopped pass does
}

// An erase worker that runs nicer than the rest of the program (or with idle I/O) must not
// get producers at the normal priority: they are the ones that keep the cores busy.
TEST(BlockPrefetcher, ProducersRunAtTheWritersNiceValueAndIoPriority) {
    std::thread writer([] {
        const pid_t self = CurrentThreadId();
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(self));
        ASSERT_EQ(errno, 0);
        const int lowered = std::min(nice + 5, 19);
        ASSERT_EQ(setpriority(PRIO_PROCESS, static_cast<id_t>(self), lowered), 0);
        ASSERT_TRUE(SetIoPriority(0, IoPriority::Idle));
        const std::set<pid_t> before = ThreadIds();

        BlockPrefetcher prefetcher(3);
        prefetcher.Begin(KeyOf(3), std::vector<std::size_t>(16, 4096));
        int producers = 0;
        for (pid_t tid : ThreadIds()) {
            if (before.count(tid) == 0) {
                ++producers;
                EXPECT_EQ(NiceOf(tid), lowered) << "producer " << tid;
                IoPriority io = IoPriority::Normal;
                EXPECT_TRUE(GetIoPriority(tid, io));
                EXPECT_EQ(io, IoPriority::Idle) << "producer " << tid;
            }
        }
        EXPECT_EQ(producers, 3);
        prefetcher.End();
    });
    writer.join();
}

}  // namespace
}  // namespace tolvane::test
