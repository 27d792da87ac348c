#pragma once

#include <cstddef>
#include <cstdint>

namespace Data {

// Abstract byte output. Write never throws for a short write; it returns how many whole
// elements went in. Not thread-safe.
class Writer {
public:
    // Writes elementSize * count bytes from source, or that many zero bytes when source is
    // null, and returns the number of whole elements written.
    virtual std::int32_t Write(const void* source, std::size_t elementSize, std::size_t count) = 0;
    virtual ~Writer() = default;
    virtual bool IsMemoryBuffer() const { return false; }

protected:
    Writer() = default;
    Writer(const Writer&) = default;
    Writer& operator=(const Writer&) = default;
};

}  // namespace Data
