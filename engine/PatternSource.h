#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/KeystreamGenerator.h"

namespace tolvane {

// Every write of the engine is one block of this size (but the full-disk retry).
constexpr std::size_t kBlockSize = 32768;

using PatternBuffer = std::array<std::uint8_t, kBlockSize>;

enum class FillMode { Keystream = 0, Invert = 1, SystemRandom = 2 };

// The bytes every pass writes. For N passes there is one buffer per pass:
//
//   pass:    0    1     2    3     4    5     6    7     last
//   writes:  K0   ~K0   K2   ~K2   K4   ~K4   K6   ~K6   F
//
// Kk is a keystream block generated once, at construction, in buffer order; ~Kk is its
// bitwise complement (so the pair flips every bit of the medium twice); F is the last pass,
// fresh keystream for every single block, so that what finally stays on the medium is
// unpredictable. A fixed block is written unchanged at every block position of every file,
// which costs no generation while writing. With 1 pass only F is written; with 2, K0 and F.
//
// The generator is keyed with 256 bytes from the system's random source. With 0 passes it is
// keyed as for 1 pass, because time scrambling still draws from it. When no random source
// works the source is not Ready() and no run may start with it.
//
// Not thread-safe: built on one thread, then used by one worker at a time.
class PatternSource {
public:
    explicit PatternSource(int passCount);

    bool Ready() const { return m_ready; }
    int PassCount() const { return m_passCount; }
    // True for the pass whose buffer is refilled before every block.
    bool IsFreshPass(int pass) const { return pass == m_passCount - 1; }
    PatternBuffer& Buffer(int pass) { return *m_buffers[static_cast<std::size_t>(pass)]; }

    // Keystream: n generator bytes; Invert: complements the buffer in place; SystemRandom: the
    // kernel's random source. Returns false only when the random source fails.
    bool Fill(std::uint8_t* buffer, std::size_t length, FillMode mode);
    // Four keystream bytes read as a little-endian number.
    std::uint32_t DrawNumber();

    KeystreamGenerator& Generator() { return m_generator; }

private:
    void KeyFromSystemRandom(std::uint8_t* keyBuffer);

    KeystreamGenerator m_generator;
    std::vector<std::unique_ptr<PatternBuffer>> m_buffers;
    int m_passCount;
    bool m_ready = true;
};

}  // namespace tolvane
