#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tolvane {

// RC4-style byte generator. Only the 256-byte table persists between requests: every
// Generate starts again with i = j = 0 on the table the previous request left. That restart
// is deliberate (it is not the standard stream beyond the first request) and keeps each
// 32 KiB block a function of the table alone.
//
// Not thread-safe: built on one thread, then used by one worker at a time.
class KeystreamGenerator {
public:
    KeystreamGenerator();
    // The table is wiped: it is as secret as the key it came from.
    ~KeystreamGenerator();
    KeystreamGenerator(const KeystreamGenerator&) = default;
    KeystreamGenerator& operator=(const KeystreamGenerator&) = default;

    // The standard RC4 key schedule. keyLength must be at least 1.
    void Key(const std::uint8_t* key, std::size_t keyLength);
    // Writes n keystream bytes; nothing at all for n <= 0.
    void Generate(std::uint8_t* out, std::int64_t n);
    // a.Generate(outA, nA) and b.Generate(outB, nB) at once, with the same bytes. The steps of
    // one generator wait on each other, not on the other's, so a core runs the two side by
    // side: about 1.4 times the bytes per second of one (bench/KeystreamBench).
    static void GenerateTwo(KeystreamGenerator& a, std::uint8_t* outA, std::int64_t nA,
                            KeystreamGenerator& b, std::uint8_t* outB, std::int64_t nB);

    // Copies the 256-byte table out, and puts back a table saved that way, undoing the
    // requests made since.
    void SaveTable(std::uint8_t* table) const;
    void SetTable(const std::uint8_t* table);

private:
    alignas(64) std::uint8_t m_s[256];
};

// The keystream of a long pass is made in chunks of this size, each from a key of its own,
// so that several threads can make the chunks of one pass at once and in any order.
constexpr std::size_t kChunkSize = std::size_t{1} << 20;

// What the chunks of one pass are keyed from: drawn from the run's generator for every pass
// that needs fresh data, so it is as unpredictable as that generator's key.
using PassKey = std::array<std::uint8_t, 32>;

// The first `length` bytes (at most kChunkSize) of chunk `index` of the pass keyed by `key`:
// a generator keyed with the pass key followed by the index, its first bytes dropped. A
// shorter request gives the start of a longer one, so only what is written is ever made.
// Thread-safe: it touches nothing but its arguments.
void GenerateChunk(const PassKey& key, std::uint64_t index, std::uint8_t* out, std::size_t length);
// Chunks `index` and `index + 1` at once (see GenerateTwo): the same bytes as two calls of
// GenerateChunk, made faster.
void GenerateChunkPair(const PassKey& key, std::uint64_t index, std::uint8_t* first,
                       std::size_t firstLength, std::uint8_t* second, std::size_t secondLength);

}  // namespace tolvane
