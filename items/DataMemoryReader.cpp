#include "items/DataMemoryReader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "items/DataExceptions.h"
#include "items/DataMemoryWriter.h"

namespace Data {
namespace {
// Sizes are compared as signed 32-bit numbers by the records' users, so larger blocks are
// refused rather than misread.
constexpr std::uint32_t kMaxSize = 0x7fffffff;
// Larger offsets cannot land inside any block; clamping them first keeps the sums in range.
constexpr std::int64_t kMaxOffset = std::int64_t{1} << 32;
}  // namespace

MemoryReader::MemoryReader(const void* block, std::uint32_t size, int mode) {
    Attach(block, size, mode);
}

MemoryReader::MemoryReader(const MemoryWriter& writer) {
    Attach(writer.Data(), writer.Length(), kCopy);
}

MemoryReader::~MemoryReader() {
    Release();
}

void MemoryReader::Attach(const void* block, std::uint32_t size, int mode) {
    if (size > kMaxSize) {
        throw BufferException("Block too large for a reader");
    }
    if (block == nullptr) {
        size = 0;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(block);
    // The copy is taken before Release, so a reader may be re-attached to its own block.
    if (mode == kCopy) {
        auto* copy = static_cast<std::uint8_t*>(std::malloc(size == 0 ? 1 : size));
        if (copy == nullptr) {
            throw std::bad_alloc();
        }
        if (size > 0) {
            std::memcpy(copy, bytes, size);
        }
        Release();
        m_data = copy;
        m_owns = true;
    } else if (bytes != nullptr && bytes == m_data && m_owns) {
        // Re-attaching the block this reader owns: freeing it would leave nothing to read.
        m_owns = true;
    } else {
        Release();
        m_data = bytes;
        m_owns = (mode == kAdopt);
    }
    m_size = size;
    m_position = 0;
}

void MemoryReader::Release() {
    if (m_owns) {
        std::free(const_cast<std::uint8_t*>(m_data));
    }
    m_data = nullptr;
    m_size = 0;
    m_position = 0;
    m_owns = false;
}

std::int32_t MemoryReader::Read(void* destination, std::size_t elementSize, std::size_t count) {
    std::size_t n = 0;
    if (__builtin_mul_overflow(elementSize, count, &n)) {
        n = std::numeric_limits<std::size_t>::max();
    }
    n = std::min<std::size_t>(n, m_size - m_position);
    if (n > 0) {
        std::memcpy(destination, m_data + m_position, n);
    }
    m_position += static_cast<std::uint32_t>(n);
    return elementSize == 0 ? 0 : static_cast<std::int32_t>(n / elementSize);
}

std::int64_t MemoryReader::Seek(std::int64_t offset, int origin) {
    offset = std::clamp(offset, -kMaxOffset, kMaxOffset);
    std::int64_t target = 0;
    switch (origin) {
        case 0:
            target = offset;
            break;
        case 1:
            target = std::int64_t{m_position} + offset;
            break;
        case 2:
            target = std::int64_t{m_size} + offset;
            break;
        default:
            return m_position;
    }
    m_position = static_cast<std::uint32_t>(std::clamp<std::int64_t>(target, 0, m_size));
    return m_position;
}

}  // namespace Data
