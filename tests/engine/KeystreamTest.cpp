// The generator against a plain RC4 reference written here.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "engine/KeystreamGenerator.h"

namespace tolvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Straight from the textbook, with this program's rule that every request starts again at
// i = j = 0 on the table the last one left.
struct ReferenceRc4 {
    std::array<std::uint8_t, 256> s{};

    void Key(const std::uint8_t* key, std::size_t length) {
        for (int x = 0; x < 256; ++x) {
            s[x] = static_cast<std::uint8_t>(x);
        }
        int j = 0;
        for (int x = 0; x < 256; ++x) {
            j = (j + s[x] + key[static_cast<std::size_t>(x) % length]) % 256;
            std::swap(s[x], s[j]);
        }
    }
    Bytes Generate(std::size_t n) {
        Bytes out(n);
        int i = 0, j = 0;
        for (std::size_t k = 0; k < n; ++k) {
            i = (i + 1) % 256;
            j = (j + s[i]) % 256;
            std::swap(s[i], s[j]);
            out[k] = s[(s[i] + s[j]) % 256];
        }
        return out;
    }
};

Bytes Generate(KeystreamGenerator& generator, std::size_t n) {
    Bytes out(n);
    generator.Generate(out.data(), static_cast<std::int64_t>(n));
    return out;
}

Bytes Table(const KeystreamGenerator& generator) {
    Bytes table(256);
    generator.SaveTable(table.data());
    return table;
}

// Every request restarts at i = j = 0 on the table the last one left. Lengths around the
// unrolled loop's step and the 256-entry wrap of i, then a run of requests whose table
// carries over.
TEST(KeystreamGenerator, EveryRequestRestartsTheIndicesOnTheCarriedTable) {
    Bytes key(256);
    for (std::size_t x = 0; x < key.size(); ++x) {
        key[x] = static_cast<std::uint8_t>(x * 31 + 7);
    }
    KeystreamGenerator generator;
    generator.Key(key.data(), key.size());
    ReferenceRc4 reference;
    reference.Key(key.data(), key.size());
    ASSERT_EQ(Table(generator), Bytes(reference.s.begin(), reference.s.end()));
    for (std::size_t n : {8u, 8u, 1u, 2u, 3u, 4u, 5u, 7u, 9u, 255u, 256u, 257u, 511u, 32768u,
                          32769u, 4u, 32768u, 32768u, 1000u}) {
        ASSERT_EQ(Generate(generator, n), reference.Generate(n)) << n;
        ASSERT_EQ(Table(generator), Bytes(reference.s.begin(), reference.s.end())) << n;
    }
}

// 0 bytes (or fewer) change neither table nor buffer.
TEST(KeystreamGenerator, EmptyRequestChangesNothing) {
    for (std::int64_t count : {std::int64_t{0}, std::int64_t{-1}, std::int64_t{-32768},
                               std::numeric_limits<std::int64_t>::min()}) {
        KeystreamGenerator generator;
        const std::string key = "Secret";
        generator.Key(reinterpret_cast<const std::uint8_t*>(key.data()), key.size());
        const Bytes table = Table(generator);
        Bytes buffer(16, 0xA5);
        generator.Generate(buffer.data(), count);
        EXPECT_EQ(buffer, Bytes(16, 0xA5)) << count;
        EXPECT_EQ(Table(generator), table) << count;
    }
}

}  // namespace
}  // namespace tolvane
