#include "engine/PatternSource.h"

#include <string.h>  // explicit_bzero

#include <algorithm>
#include <cstring>

#include "platform/RandomSource.h"

namespace tolvane {

namespace {
constexpr std::size_t kKeyLength = 256;
}

PatternSource::PatternSource(int passCount) : m_passCount(std::max(passCount, 0)) {
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
            return SystemRandom(buffer, length);
    }
    return true;
}

std::uint32_t PatternSource::DrawNumber() {
    std::uint8_t bytes[4];
    m_generator.Generate(bytes, 4);
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

}  // namespace tolvane
