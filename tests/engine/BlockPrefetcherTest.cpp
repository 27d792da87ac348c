// Generating ahead on a second thread must not change a single byte of what is written, nor
// anything drawn from the generator afterwards.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/BlockPrefetcher.h"
#include "engine/KeystreamGenerator.h"

namespace tolvane {
namespace {

KeystreamGenerator KeyedGenerator() {
    KeystreamGenerator generator;
    const std::uint8_t key[] = "prefetch test key";
    generator.Key(key, sizeof key - 1);
    return generator;
}

TEST(BlockPrefetcher, SameBytesAndSameStateAsDirectGeneration) {
    // Runs of several lengths, some stopped early (a cancelled pass), each followed by a small
    // draw as the time scrambling makes.
    struct Run {
        std::uint64_t requested;
        std::uint64_t used;
    };
    const Run runs[] = {{5, 5}, {2, 2}, {8, 3}, {4, 1}, {3, 3}, {6, 0}};
    KeystreamGenerator direct = KeyedGenerator();
    KeystreamGenerator ahead = KeyedGenerator();
    BlockPrefetcher prefetcher(ahead);
    std::vector<std::uint8_t> expected(kBlockSize);
    for (const Run& run : runs) {
        prefetcher.Begin(run.requested);
        for (std::uint64_t b = 0; b < run.used; ++b) {
            direct.Generate(expected.data(), kBlockSize);
            ASSERT_EQ(std::memcmp(prefetcher.Next(), expected.data(), kBlockSize), 0)
                << "run of " << run.requested << ", block " << b;
        }
        prefetcher.End();
        std::uint8_t a[4], b[4];
        direct.Generate(a, 4);
        ahead.Generate(b, 4);
        ASSERT_EQ(std::memcmp(a, b, 4), 0);
        std::uint8_t directTable[256], aheadTable[256];
        direct.SaveTable(directTable);
        ahead.SaveTable(aheadTable);
        ASSERT_EQ(std::memcmp(directTable, aheadTable, 256), 0);
    }
}

}  // namespace
}  // namespace tolvane
