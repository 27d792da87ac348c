#pragma once

#include <cstddef>
#include <cstdint>

namespace Data {

// Abstract byte input. Read never throws for a short read; it returns how many whole
// elements it delivered. Not thread-safe.
class Reader {
public:
    // Copies up to elementSize * count bytes to destination and returns the number of whole
    // elements among them. A partial last element is copied too (its bytes count as read).
    virtual std::int32_t Read(void* destination, std::size_t elementSize, std::size_t count) = 0;
    virtual ~Reader() = default;
    virtual bool IsMemoryBuffer() const { return false; }
    // origin 0: from the start, 1: from the current position, 2: from the end. Returns the
    // new position.
    virtual std::int64_t Seek(std::int64_t offset, int origin) = 0;
    virtual std::int64_t Position() const = 0;
    virtual std::int64_t Size() const = 0;

protected:
    Reader() = default;
    Reader(const Reader&) = default;
    Reader& operator=(const Reader&) = default;
};

}  // namespace Data
