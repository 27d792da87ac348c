#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/BlockPrefetcher.h"
#include "engine/KeystreamGenerator.h"
#include "platform/FileOps.h"
#include "platform/FileSystem.h"

namespace tolvane {

// The unit of the pass pattern: a fixed pass repeats one block of this size at every block
// position, and passes write whole blocks of it.
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
// A pass is written in chunks of up to kChunkSize (BeginPass, NextChunk per write, EndPass).
// F is made per pass of a file from a pass key drawn from the generator, one chunk per write,
// each keyed by the pass key and its index (GenerateChunk), so that passes longer than one
// chunk are made ahead on every core (BlockPrefetcher) at the disk's speed.
//
// The generator is keyed with 256 bytes from the system's random source. With 0 passes it is
// keyed as for 1 pass, because time scrambling still draws from it. When no random source
// works the source is not Ready() and no run may start with it.
//
// Not thread-safe: built on one thread, then used by one worker at a time.
class PatternSource {
public:
    // random: where the key comes from (its kernel random source).
    explicit PatternSource(int passCount, FileSystem& random = RealFileSystem());
    // Wipes what holds keystream.
    ~PatternSource();
    PatternSource(const PatternSource&) = delete;
    PatternSource& operator=(const PatternSource&) = delete;

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

    // Prepares the writes of one pass over a file: one chunk per piece, in order, each piece
    // at most kChunkSize long. A fresh pass draws its key here and makes exactly the bytes of
    // the pieces, ahead on producer threads when they are more than one chunk's worth.
    void BeginPass(int pass, const std::vector<ByteRange>& pieces);
    // What the pass's next piece gets: a piece's length of bytes, valid until the next call.
    const std::uint8_t* NextChunk();
    // Ends the pass, also part-way through it: producers are stopped and joined.
    void EndPass();

private:
    void KeyFromSystemRandom(std::uint8_t* keyBuffer);
    void TileFixedBlock(int pass);

    KeystreamGenerator m_generator;
    std::vector<std::unique_ptr<PatternBuffer>> m_buffers;
    FileSystem& m_random;
    int m_passCount;
    bool m_ready = true;

    // The pass in progress.
    int m_pass = -1;
    std::vector<ByteRange> m_pieces;
    std::size_t m_nextPiece = 0;
    PassKey m_passKey{};
    bool m_ahead = false;
    // A fixed pass's block repeated over a chunk and one block more, so that a piece at any
    // offset finds its bytes at (offset mod block size); the pass it holds.
    std::unique_ptr<std::uint8_t[]> m_tile;
    int m_tilePass = -1;
    std::unique_ptr<std::uint8_t[]> m_chunk;  // a fresh chunk made on the writer's thread
    std::unique_ptr<BlockPrefetcher> m_prefetcher;
};

}  // namespace tolvane
