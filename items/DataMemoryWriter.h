#pragma once

#include <cstddef>
#include <cstdint>

#include "items/DataWriter.h"

namespace Data {

// Output into one heap block. A growable writer (the default) enlarges its block as needed,
// so its writes never fall short; a fixed one cuts a write at its capacity.
//
// Sizes are 32-bit, as the stored records expect; a block never exceeds kMaxCapacity bytes,
// and a write beyond that is cut like a fixed writer's. Blocks come from std::malloc and
// allocation failure throws std::bad_alloc. Not thread-safe; not copyable.
class MemoryWriter : public Writer {
public:
    static constexpr std::uint32_t kMaxCapacity = 0x7fffffff;

    // A growable block of 1024 bytes, length 0.
    MemoryWriter();
    explicit MemoryWriter(std::uint32_t capacity, bool growable = true);
    ~MemoryWriter() override;
    MemoryWriter(const MemoryWriter&) = delete;
    MemoryWriter& operator=(const MemoryWriter&) = delete;

    std::int32_t Write(const void* source, std::size_t elementSize, std::size_t count) override;
    bool IsMemoryBuffer() const override { return true; }

    // Enlarges the block for `needed` bytes: to twice the capacity (at least 1024), or to
    // `needed` when that is larger. Existing bytes are kept.
    void Grow(std::uint32_t needed);
    // A block of exactly n bytes keeping the first min(length, n) bytes; nothing when n is
    // the capacity already.
    void Reallocate(std::uint32_t n);
    // Forgets the content (length 0) but keeps the block.
    void Rewind() { m_length = 0; }
    // Capacity and length become n; kept bytes stay, new ones are zero.
    void Resize(std::uint32_t n);
    // Length n over a block of n bytes whose content is undefined, for an outside party to
    // fill through Data(). The old content is not copied.
    void Reset(std::uint32_t n);
    // Frees the block: no data, capacity and length 0.
    void Free();

    std::uint8_t* Data() { return m_data; }
    const std::uint8_t* Data() const { return m_data; }
    std::uint32_t Length() const { return m_length; }
    std::uint32_t Capacity() const { return m_capacity; }
    bool Growable() const { return m_growable; }

private:
    void Allocate(std::uint32_t n);

    std::uint8_t* m_data = nullptr;
    std::uint32_t m_capacity = 0;
    std::uint32_t m_length = 0;
    bool m_growable = true;
};

}  // namespace Data
