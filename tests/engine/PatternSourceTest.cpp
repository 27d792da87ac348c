// The keystream generator against a plain RC4 reference written here, and which pass buffer
// holds what. A pattern source draws its key from the system, so its keystream blocks are
// checked by running the generator backwards: from the table the construction left, undoing
// each block's steps (i and j restart at 0 for every block) must lead back through every
// earlier block to a start with j = 0. Only true keystream blocks, generated in buffer order
// from one generator, pass that.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "engine/PatternSource.h"

namespace tolvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Table = std::array<std::uint8_t, 256>;

Table TableOf(const KeystreamGenerator& generator) {
    Table t;
    generator.SaveTable(t.data());
    return t;
}

// Straight from the textbook, with this program's rule that every request starts again at
// i = j = 0 on the table the last one left.
struct ReferenceRc4 {
    Table s{};

    void Key(const std::uint8_t* key, std::size_t length) {
        for (int x = 0; x < 256; ++x) {
            s[x] = static_cast<std::uint8_t>(x);
        }
        for (int x = 0, j = 0; x < 256; ++x) {
            j = (j + s[x] + key[static_cast<std::size_t>(x) % length]) % 256;
            std::swap(s[x], s[j]);
        }
    }
    Bytes Generate(std::size_t n) {
        Bytes out(n);
        for (std::size_t k = 0, i = 0, j = 0; k < n; ++k) {
            i = (i + 1) % 256;
            j = (j + s[i]) % 256;
            std::swap(s[i], s[j]);
            out[k] = s[(s[i] + s[j]) % 256];
        }
        return out;
    }
};

// Lengths around the unrolled loop's step and the 256-entry wrap of i, then a run of requests
// whose table carries over.
TEST(KeystreamGenerator, EveryRequestRestartsTheIndicesOnTheCarriedTable) {
    Bytes key(256);
    for (std::size_t x = 0; x < key.size(); ++x) {
        key[x] = static_cast<std::uint8_t>(x * 31 + 7);
    }
    KeystreamGenerator generator;
    generator.Key(key.data(), key.size());
    ReferenceRc4 reference;
    reference.Key(key.data(), key.size());
    ASSERT_EQ(TableOf(generator), reference.s);
    for (std::size_t n : {8u, 8u, 1u, 2u, 3u, 4u, 5u, 7u, 9u, 255u, 256u, 257u, 511u, 32768u,
                          32769u, 4u, 32768u, 32768u, 1000u}) {
        Bytes out(n);
        generator.Generate(out.data(), static_cast<std::int64_t>(n));
        ASSERT_EQ(out, reference.Generate(n)) << n;
        ASSERT_EQ(TableOf(generator), reference.s) << n;
    }
}

TEST(KeystreamGenerator, EmptyRequestChangesNothing) {
    for (std::int64_t count : {std::int64_t{0}, std::numeric_limits<std::int64_t>::min()}) {
        KeystreamGenerator generator;
        const std::uint8_t key[] = "Secret";
        generator.Key(key, sizeof key - 1);
        const Table table = TableOf(generator);
        Bytes buffer(16, 0xA5);
        generator.Generate(buffer.data(), count);
        EXPECT_EQ(buffer, Bytes(16, 0xA5)) << count;
        EXPECT_EQ(TableOf(generator), table) << count;
    }
}

// The table before a request that produced `block` and left `after`, if there is exactly
// one; j at the end is unknown, so every value is tried.
std::optional<Table> UndoRequest(const Table& after, const PatternBuffer& block) {
    std::optional<Table> found;
    for (int lastJ = 0; lastJ < 256; ++lastJ) {
        Table s = after;
        int j = lastJ;
        bool consistent = true;
        for (std::size_t t = block.size(); t > 0 && consistent; --t) {
            const int i = static_cast<int>(t % 256);
            consistent = s[(s[i] + s[j]) % 256] == block[t - 1];
            std::swap(s[i], s[j]);
            j = (j - s[i] + 256) % 256;
        }
        if (consistent && j == 0) {
            if (found) {
                return std::nullopt;  // ambiguous
            }
            found = s;
        }
    }
    return found;
}

// Per buffer: 'K' keystream block, '~' complement of the one before, 'F' left for fresh data.
TEST(PatternSource, BuffersHoldKeystreamComplementsAndOneFreshPass) {
    for (const std::string layout : {"F", "KF", "K~F", "K~KF", "K~K~K~K~F"}) {
        SCOPED_TRACE(layout);
        const int passes = static_cast<int>(layout.size());
        PatternSource source(passes);
        ASSERT_TRUE(source.Ready());
        ASSERT_EQ(source.PassCount(), passes);

        Table table = TableOf(source.Generator());
        for (int k = passes - 1; k >= 0; --k) {
            const char kind = layout[static_cast<std::size_t>(k)];
            EXPECT_EQ(source.IsFreshPass(k), kind == 'F') << k;
            if (kind == 'K') {
                std::optional<Table> before = UndoRequest(table, source.Buffer(k));
                ASSERT_TRUE(before) << "buffer " << k << " is not the next keystream block";
                table = *before;
            } else if (kind == '~') {
                const PatternBuffer& a = source.Buffer(k);
                EXPECT_TRUE(
                    std::equal(a.begin(), a.end(), source.Buffer(k - 1).begin(),
                               [](std::uint8_t x, std::uint8_t y) { return x == (~y & 0xFF); }))
                    << k;
            }
        }
        // `table` is now the keyed table: a real key, and not left in the fresh buffer.
        EXPECT_NE(table, TableOf(KeystreamGenerator()));
        KeystreamGenerator keyedWithFresh;
        keyedWithFresh.Key(source.Buffer(passes - 1).data(), 256);
        EXPECT_NE(TableOf(keyedWithFresh), table) << "the key is still in the fresh buffer";
    }
}

TEST(PatternSource, ZeroPassesKeysTheGeneratorWithoutBuffers) {
    for (int passes : {0, -3}) {
        PatternSource source(passes);
        EXPECT_TRUE(source.Ready());
        EXPECT_EQ(source.PassCount(), 0);
        EXPECT_FALSE(source.IsFreshPass(0));
        EXPECT_NE(TableOf(source.Generator()), TableOf(KeystreamGenerator()));
    }
    // Two sources get two keys.
    PatternSource a(0), b(0);
    EXPECT_NE(TableOf(a.Generator()), TableOf(b.Generator()));
}

// Every chunk of a pass is keyed by the pass key and its whole 64-bit index: no two chunks
// of a pass and no two passes share bytes, and a short chunk is the start of the full one, so
// that making only what a write needs changes nothing.
TEST(GenerateChunk, KeyAndWholeIndexDecideTheBytesAndShortChunksArePrefixes) {
    PassKey key{};
    key[5] = 1;
    PassKey other = key;
    other[31] ^= 0x80;
    auto chunk = [](const PassKey& k, std::uint64_t index, std::size_t length) {
        Bytes out(length);
        GenerateChunk(k, index, out.data(), length);
        return out;
    };
    const std::size_t n = 4096;
    std::vector<Bytes> seen = {chunk(key, 0, n),
                               chunk(key, 1, n),
                               chunk(key, 256, n),
                               chunk(key, std::uint64_t{1} << 32, n),
                               chunk(key, std::uint64_t{1} << 63, n),
                               chunk(other, 0, n)};
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());

    const Bytes full = chunk(key, 7, kChunkSize);
    for (std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{100}, n}) {
        EXPECT_TRUE(std::equal(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length),
                               chunk(key, 7, length).begin()))
            << length;
    }
    // Never more than a chunk, whatever is asked for.
    Bytes larger(kChunkSize + 16, 0xA5);
    GenerateChunk(key, 7, larger.data(), larger.size());
    EXPECT_EQ(Bytes(larger.begin(), larger.begin() + kChunkSize), full);
    EXPECT_EQ(Bytes(larger.begin() + kChunkSize, larger.end()), Bytes(16, 0xA5));
}

// What a pass hands out for its pieces: a fixed pass its block as it lies at each piece's
// offset, the fresh pass the chunks of a key drawn from the run's generator (the next bytes
// it gives), made here or ahead on producers alike.
TEST(PatternSource, PassesHandOutTheirBlockAtEachOffsetAndFreshChunksOfADrawnKey) {
    PatternSource source(2);
    const std::vector<ByteRange> fixedPieces = {{0, kChunkSize},
                                                {3 * kBlockSize + 512, 4 * kBlockSize}};
    source.BeginPass(0, fixedPieces);
    for (const ByteRange& piece : fixedPieces) {
        const std::uint8_t* bytes = source.NextChunk();
        for (std::uint64_t x = piece.start; x < piece.end; ++x) {
            ASSERT_EQ(bytes[x - piece.start], source.Buffer(0)[x % kBlockSize]) << x;
        }
    }
    source.EndPass();

    const std::vector<std::vector<ByteRange>> freshPasses = {
        {{0, 100}},  // made here
        {{0, kChunkSize}, {kChunkSize, kChunkSize + 8192}, {5 * kChunkSize, 5 * kChunkSize + 1}}};
    for (const std::vector<ByteRange>& pieces : freshPasses) {
        KeystreamGenerator next = source.Generator();
        PassKey key;
        next.Generate(key.data(), static_cast<std::int64_t>(key.size()));
        source.BeginPass(1, pieces);
        for (std::size_t c = 0; c < pieces.size(); ++c) {
            const std::size_t length = static_cast<std::size_t>(pieces[c].end - pieces[c].start);
            Bytes expected(length);
            GenerateChunk(key, c, expected.data(), length);
            const std::uint8_t* bytes = source.NextChunk();
            ASSERT_EQ(Bytes(bytes, bytes + length), expected) << c;
        }
        source.EndPass();
    }
}

}  // namespace
}  // namespace tolvane
