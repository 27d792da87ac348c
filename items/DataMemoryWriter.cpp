#include "items/DataMemoryWriter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace Data {
namespace {
constexpr std::uint32_t kInitialCapacity = 1024;

// malloc(0) may return null, which would read as "no block"; one byte keeps it distinct.
std::uint8_t* AllocateBlock(std::uint32_t n) {
    void* block = std::malloc(n == 0 ? 1 : n);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return static_cast<std::uint8_t*>(block);
}

std::size_t SaturatingProduct(std::size_t a, std::size_t b) {
    std::size_t product = 0;
    if (__builtin_mul_overflow(a, b, &product)) {
        return std::numeric_limits<std::size_t>::max();
    }
    return product;
}
}  // namespace

MemoryWriter::MemoryWriter() {
    Allocate(kInitialCapacity);
}

MemoryWriter::MemoryWriter(std::uint32_t capacity, bool growable) : m_growable(growable) {
    Allocate(std::min(capacity, kMaxCapacity));
}

MemoryWriter::~MemoryWriter() {
    Free();
}

void MemoryWriter::Allocate(std::uint32_t n) {
    m_data = AllocateBlock(n);
    m_capacity = n;
    m_length = 0;
}

std::int32_t MemoryWriter::Write(const void* source, std::size_t elementSize, std::size_t count) {
    std::size_t n = SaturatingProduct(elementSize, count);
    if (n > m_capacity - m_length) {
        if (m_growable) {
            n = std::min<std::size_t>(n, kMaxCapacity - m_length);
            if (n > m_capacity - m_length) {
                Grow(static_cast<std::uint32_t>(m_length + n));
            }
        } else {
            n = m_capacity - m_length;
        }
    }
    if (n > 0) {
        if (source != nullptr) {
            std::memcpy(m_data + m_length, source, n);
        } else {
            std::memset(m_data + m_length, 0, n);
        }
    }
    m_length += static_cast<std::uint32_t>(n);
    return elementSize == 0 ? 0 : static_cast<std::int32_t>(n / elementSize);
}

void MemoryWriter::Grow(std::uint32_t needed) {
    // Doubling keeps a run of small writes linear; tiny blocks jump straight to 1024 bytes.
    std::uint64_t doubled = std::uint64_t{m_capacity} * 2;
    if (doubled < kInitialCapacity + 1) {
        doubled = kInitialCapacity;
    }
    std::uint64_t capacity = std::max<std::uint64_t>(needed, doubled);
    Reallocate(static_cast<std::uint32_t>(std::min<std::uint64_t>(capacity, kMaxCapacity)));
}

void MemoryWriter::Reallocate(std::uint32_t n) {
    if (n == m_capacity) {
        return;
    }
    std::uint8_t* block = AllocateBlock(n);
    std::uint32_t keep = std::min(m_length, n);
    if (keep > 0) {
        std::memcpy(block, m_data, keep);
    }
    std::free(m_data);
    m_data = block;
    m_capacity = n;
    m_length = keep;
}

void MemoryWriter::Resize(std::uint32_t n) {
    if (n == m_capacity) {
        m_length = n;
        return;
    }
    std::uint8_t* block = AllocateBlock(n);
    std::uint32_t keep = std::min(m_length, n);
    if (keep > 0) {
        std::memcpy(block, m_data, keep);
    }
    std::memset(block + keep, 0, n - keep);
    std::free(m_data);
    m_data = block;
    m_capacity = n;
    m_length = n;
}

void MemoryWriter::Reset(std::uint32_t n) {
    if (n != m_capacity) {
        std::uint8_t* block = AllocateBlock(n);
        std::free(m_data);
        m_data = block;
        m_capacity = n;
    }
    m_length = n;
}

void MemoryWriter::Free() {
    std::free(m_data);
    m_data = nullptr;
    m_capacity = 0;
    m_length = 0;
}

}  // namespace Data
