#pragma once

#include <cstddef>
#include <cstdint>

#include "items/DataReader.h"

namespace Data {

class MemoryWriter;

// Input from one block of memory, borrowed or owned. Sizes and positions are 32-bit, as the
// stored records expect. A Seek outside 0..Size() is clamped into it. Not thread-safe; not
// copyable.
class MemoryReader : public Reader {
public:
    enum AttachMode : int {
        kBorrow = 0,  // the caller keeps the block; it must outlive the reader
        kAdopt = 1,   // the reader frees the block with std::free
        kCopy = 2,    // the reader works on its own copy
    };

    MemoryReader() = default;
    MemoryReader(const void* block, std::uint32_t size, int mode);
    // Copies the writer's Length() bytes, so the writer may change or go afterwards.
    explicit MemoryReader(const MemoryWriter& writer);
    ~MemoryReader() override;
    MemoryReader(const MemoryReader&) = delete;
    MemoryReader& operator=(const MemoryReader&) = delete;

    // Releases the current block, then reads `size` bytes of `block` from position 0 in the
    // given mode. An unknown mode borrows.
    void Attach(const void* block, std::uint32_t size, int mode);
    // Frees an owned block; afterwards the reader is empty.
    void Release();

    std::int32_t Read(void* destination, std::size_t elementSize, std::size_t count) override;
    bool IsMemoryBuffer() const override { return true; }
    std::int64_t Seek(std::int64_t offset, int origin) override;
    std::int64_t Position() const override { return m_position; }
    std::int64_t Size() const override { return m_size; }

private:
    const std::uint8_t* m_data = nullptr;
    std::uint32_t m_size = 0;
    std::uint32_t m_position = 0;
    bool m_owns = false;
};

}  // namespace Data
