// Which pass buffer holds what. The key is drawn from the system, so the keystream blocks
// are checked by running the generator backwards: from the table the construction left,
// undoing each block's steps (i and j restart at 0 for every block) must lead back through
// every earlier block to a start with j = 0. Only true keystream blocks, generated in buffer
// order from one generator, pass that.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "engine/PatternSource.h"

namespace tolvane {
namespace {

using Table = std::array<std::uint8_t, 256>;

Table TableOf(const KeystreamGenerator& generator) {
    Table t;
    generator.SaveTable(t.data());
    return t;
}

Table KeyedTable(const std::uint8_t* key, std::size_t length) {
    KeystreamGenerator generator;
    generator.Key(key, length);
    return TableOf(generator);
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

PatternBuffer Inverted(const PatternBuffer& buffer) {
    PatternBuffer out;
    std::transform(buffer.begin(), buffer.end(), out.begin(),
                   [](std::uint8_t b) { return static_cast<std::uint8_t>(~b); });
    return out;
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
                EXPECT_TRUE(source.Buffer(k) == Inverted(source.Buffer(k - 1))) << k;
            }
        }
        // `table` is now the keyed table: a real key, and not left in the fresh buffer.
        EXPECT_NE(table, TableOf(KeystreamGenerator()));
        const PatternBuffer& fresh = source.Buffer(passes - 1);
        EXPECT_NE(KeyedTable(fresh.data(), 256), table) << "the key is still in the fresh buffer";
        for (int a = 0; a < passes; a += 2) {
            for (int b = a + 2; b < passes - 1; b += 2) {
                EXPECT_FALSE(source.Buffer(a) == source.Buffer(b)) << a << " " << b;
            }
        }
    }
}

TEST(PatternSource, ZeroPassesKeysTheGeneratorWithoutBuffers) {
    for (int passes : {0, -3}) {
        PatternSource source(passes);
        EXPECT_TRUE(source.Ready());
        EXPECT_EQ(source.PassCount(), 0);
        EXPECT_FALSE(source.IsFreshPass(0));
        const KeystreamGenerator unkeyed;
        EXPECT_NE(TableOf(source.Generator()), TableOf(unkeyed));
    }
    // Two sources get two keys.
    PatternSource a(0), b(0);
    EXPECT_NE(TableOf(a.Generator()), TableOf(b.Generator()));
}

}  // namespace
}  // namespace tolvane
