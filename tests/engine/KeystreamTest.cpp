// The generator against published RC4 vectors and against a plain reference written here.
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

Bytes KeyBytes(const std::string& key) {
    return Bytes(key.begin(), key.end());
}

Bytes Generate(KeystreamGenerator& generator, std::size_t n) {
    Bytes out(n);
    generator.Generate(out.data(), static_cast<std::int64_t>(n));
    return out;
}

Bytes Table(const KeystreamGenerator& generator) {
    return Bytes(generator.Table(), generator.Table() + 256);
}

struct Vector {
    std::string key;
    Bytes stream;
};

class KeystreamVector : public testing::TestWithParam<Vector> {};

TEST_P(KeystreamVector, FirstRequestIsTheStandardStream) {
    KeystreamGenerator generator;
    const Bytes key = KeyBytes(GetParam().key);
    generator.Key(key.data(), key.size());
    EXPECT_EQ(Generate(generator, GetParam().stream.size()), GetParam().stream);
}

INSTANTIATE_TEST_SUITE_P(
    Published, KeystreamVector,
    testing::Values(Vector{"Key", {0xEB, 0x9F, 0x77, 0x81, 0xB7, 0x34, 0xCA, 0x72, 0xA7, 0x19}},
                    Vector{"Wiki", {0x60, 0x44, 0xDB, 0x6D, 0x41, 0xB7}},
                    Vector{"Secret", {0x04, 0xD4, 0x6B, 0x05, 0x3C, 0xA8, 0x7B, 0x59}}),
    [](const testing::TestParamInfo<Vector>& info) { return info.param.key; });

TEST(KeystreamGenerator, EveryRequestRestartsTheIndicesOnTheCarriedTable) {
    const Bytes key = KeyBytes("Key");
    KeystreamGenerator generator;
    generator.Key(key.data(), key.size());
    ReferenceRc4 reference;
    reference.Key(key.data(), key.size());
    ASSERT_EQ(Table(generator), Bytes(reference.s.begin(), reference.s.end()));

    const Bytes first = Generate(generator, 8);
    const Bytes second = Generate(generator, 8);
    EXPECT_EQ(first, reference.Generate(8));
    EXPECT_EQ(second, reference.Generate(8));

    // Standard RC4 would carry i and j: bytes 9 to 16 of the stream differ from the second
    // request.
    ReferenceRc4 carried;
    carried.Key(key.data(), key.size());
    const Bytes stream = carried.Generate(16);
    EXPECT_NE(second, Bytes(stream.begin() + 8, stream.end()));
}

// Lengths around the unrolled loop's step and the 256-entry wrap of i, then a long run of
// requests whose table carries over.
TEST(KeystreamGenerator, MatchesTheReferenceForAnySequenceOfLengths) {
    Bytes key(256);
    for (std::size_t x = 0; x < key.size(); ++x) {
        key[x] = static_cast<std::uint8_t>(x * 31 + 7);
    }
    KeystreamGenerator generator;
    generator.Key(key.data(), key.size());
    ReferenceRc4 reference;
    reference.Key(key.data(), key.size());
    for (std::size_t n : {1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 255u, 256u, 257u, 511u, 32768u, 32769u,
                          4u, 32768u, 32768u, 1000u}) {
        ASSERT_EQ(Generate(generator, n), reference.Generate(n)) << n;
        ASSERT_EQ(Table(generator), Bytes(reference.s.begin(), reference.s.end())) << n;
    }
}

TEST(KeystreamGenerator, SetTablePutsBackASavedTable) {
    const Bytes key = KeyBytes("Wiki");
    KeystreamGenerator generator;
    generator.Key(key.data(), key.size());
    const Bytes saved = Table(generator);
    const Bytes first = Generate(generator, 32768);
    generator.SetTable(saved.data());
    EXPECT_EQ(Table(generator), saved);
    EXPECT_EQ(Generate(generator, 32768), first);
}

class KeystreamEmptyRequest : public testing::TestWithParam<std::int64_t> {};

TEST_P(KeystreamEmptyRequest, ChangesNeitherTableNorBuffer) {
    const Bytes key = KeyBytes("Secret");
    KeystreamGenerator generator;
    generator.Key(key.data(), key.size());
    const Bytes table = Table(generator);
    Bytes buffer(16, 0xA5);
    generator.Generate(buffer.data(), GetParam());
    EXPECT_EQ(buffer, Bytes(16, 0xA5));
    EXPECT_EQ(Table(generator), table);
    // ...so the next request is still the start of the standard stream.
    EXPECT_EQ(Generate(generator, 8), (Bytes{0x04, 0xD4, 0x6B, 0x05, 0x3C, 0xA8, 0x7B, 0x59}));
}

INSTANTIATE_TEST_SUITE_P(Counts, KeystreamEmptyRequest,
                         testing::Values(0, -1, -32768, std::numeric_limits<std::int64_t>::min()));

}  // namespace
}  // namespace tolvane
