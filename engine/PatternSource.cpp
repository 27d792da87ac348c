#include "engine/PatternSource.h"

#include <string.h>  // explicit_bzero

#include <algorithm>
#include <cstring>

namespace tolvane {

namespace {
constexpr std::size_t kKeyLength = 256;
constexpr std::size_t kTileSize = kChunkSize + kBlockSize;
}  // namespace

PatternSource::PatternSource(int passCount, FileSystem& random)
    : m_random(random), m_passCount(std::max(passCount, 0)) {
    if (m_passCount == 0) {
        std::uint8_t key[kKeyLength];
        KeyFromSystemRandom(key);
        ::explicit_bzero(key, sizeof key);
        return;
    }
    for (int k = 0; k < m_passCount; ++k) {
        m_buffers.push_back(std::make_unique<PatternBuffer>());
        PatternBuffer& buffer = *m_buffers.back();
        if (k == 0) {
            KeyFromSystemRandom(buffer.data());
        }
        if (k == m_passCount - 1) {
            // The fresh pass is filled block by block while writing. With one pass this is
            // buffer 0, which still holds the key: the key is kept nowhere, so it goes.
            if (k == 0) {
                ::explicit_bzero(buffer.data(), kKeyLength);
            }
            break;
        }
        if (k % 2 == 1) {
            buffer = *m_buffers[static_cast<std::size_t>(k - 1)];
            Fill(buffer.data(), buffer.size(), FillMode::Invert);
        } else {
            Fill(buffer.data(), buffer.size(), FillMode::Keystream);  // overwrites the key bytes
        }
    }
}

PatternSource::~PatternSource() {
    EndPass();
    for (auto& buffer : m_buffers) {
        ::explicit_bzero(buffer->data(), buffer->size());
    }
    if (m_tile) {
        ::explicit_bzero(m_tile.get(), kTileSize);
    }
    if (m_chunk) {
        ::explicit_bzero(m_chunk.get(), kChunkSize);
    }
}

void PatternSource::KeyFromSystemRandom(std::uint8_t* keyBuffer) {
    m_ready = Fill(keyBuffer, kKeyLength, FillMode::SystemRandom);
    if (m_ready) {
        m_generator.Key(keyBuffer, kKeyLength);
    }
    // Without a key the generator keeps its identity table: defined, but predictable,
    // which is why a source that is not Ready() must not be used for a run.
}

bool PatternSource::Fill(std::uint8_t* buffer, std::size_t length, FillMode mode) {
    switch (mode) {
        case FillMode::Keystream:
            m_generator.Generate(buffer, static_cast<std::int64_t>(length));
            return true;
        case FillMode::Invert:
            for (std::size_t x = 0; x < length; ++x) {
                buffer[x] = static_cast<std::uint8_t>(~buffer[x]);
            }
            return true;
        case FillMode::SystemRandom:
            return !m_random.ReadRandom(buffer, length).Failed();
    }
    return true;
}

void PatternSource::BeginPass(int pass, const std::vector<ByteRange>& pieces) {
    EndPass();
    m_pass = pass;
    m_pieces = pieces;
    m_nextPiece = 0;
    if (!IsFreshPass(pass)) {
        TileFixedBlock(pass);
        return;
    }
    m_generator.Generate(m_passKey.data(), static_cast<std::int64_t>(m_passKey.size()));
    std::vector<std::size_t> lengths;
    std::uint64_t total = 0;
    for (const ByteRange& piece : pieces) {
        lengths.push_back(static_cast<std::size_t>(piece.end - piece.start));
        total += lengths.back();
    }
    // One chunk or less is made on this thread when it is needed: starting producers for it
    // would cost more than it saves.
    m_ahead = total > kChunkSize;
    if (m_ahead) {
        if (!m_prefetcher) {
            m_prefetcher =
                std::make_unique<BlockPrefetcher>(BlockPrefetcher::ThreadsForThisMachine());
        }
        m_prefetcher->Begin(m_passKey, std::move(lengths));
    } else if (!m_chunk) {
        m_chunk.reset(new std::uint8_t[kChunkSize]);
    }
}

const std::uint8_t* PatternSource::NextChunk() {
    const std::size_t index = m_nextPiece++;
    const ByteRange& piece = m_pieces[index];
    if (!IsFreshPass(m_pass)) {
        return m_tile.get() + piece.start % kBlockSize;
    }
    if (m_ahead) {
        return m_prefetcher->Next();
    }
    GenerateChunk(m_passKey, index, m_chunk.get(),
                  static_cast<std::size_t>(piece.end - piece.start));
    return m_chunk.get();
}

void PatternSource::EndPass() {
    if (m_ahead) {
        m_prefetcher->End();
        m_ahead = false;
    }
    ::explicit_bzero(m_passKey.data(), m_passKey.size());
    m_pass = -1;
}

// Kept while the batch's other files get the same pass: the tile is made once per pass.
void PatternSource::TileFixedBlock(int pass) {
    if (m_tilePass == pass) {
        return;
    }
    if (!m_tile) {
        m_tile.reset(new std::uint8_t[kTileSize]);
    }
    const PatternBuffer& block = Buffer(pass);
    for (std::size_t offset = 0; offset < kTileSize; offset += kBlockSize) {
        std::memcpy(m_tile.get() + offset, block.data(), kBlockSize);
    }
    m_tilePass = pass;
}

std::uint32_t PatternSource::DrawNumber() {
    std::uint8_t bytes[4];
    m_generator.Generate(bytes, 4);
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

}  // namespace tolvane
