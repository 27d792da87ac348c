#pragma once

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

    // The standard RC4 key schedule. keyLength must be at least 1.
    void Key(const std::uint8_t* key, std::size_t keyLength);
    // Writes n keystream bytes; nothing at all for n <= 0.
    void Generate(std::uint8_t* out, std::int64_t n);

    // Copies the 256-byte table out, and puts back a table saved that way, undoing the
    // requests made since.
    void SaveTable(std::uint8_t* table) const;
    void SetTable(const std::uint8_t* table);

private:
    alignas(64) std::uint8_t m_s[256];
};

}  // namespace tolvane
