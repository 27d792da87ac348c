#include "items/DataFunctions.h"

#include "items/DataExceptions.h"

namespace Data {

std::size_t WriteExact(Writer& writer, const void* bytes, std::size_t n) {
    std::int32_t written = writer.Write(bytes, 1, n);
    if (written < 0 || static_cast<std::size_t>(written) < n) {
        throw EndOfBufferException();
    }
    return n;
}

std::size_t ReadWideString(Reader& reader, char16_t* buffer, std::size_t capacity) {
    if (capacity == 0) {
        throw BufferException("No room for a string");
    }
    for (std::size_t i = 0;; ++i) {
        unsigned char bytes[2];
        if (reader.Read(bytes, 1, 2) < 2) {
            throw EndOfBufferException();
        }
        auto unit = static_cast<char16_t>(bytes[0] | (bytes[1] << 8));
        // The last unit of the buffer is reserved for the terminator.
        if (unit != 0 && i + 1 >= capacity) {
            throw BufferException("String too long for its buffer");
        }
        buffer[i] = unit;
        if (unit == 0) {
            return i;
        }
    }
}

}  // namespace Data
