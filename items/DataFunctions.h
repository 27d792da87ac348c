#pragma once

#include <cstddef>

#include "items/DataReader.h"
#include "items/DataWriter.h"

namespace Data {

// Writes exactly n bytes. Throws EndOfBufferException when fewer went in (the bytes that
// did go in stay written); returns n otherwise.
std::size_t WriteExact(Writer& writer, const void* bytes, std::size_t n);

// Reads one zero-terminated UTF-16LE string, two bytes at a time, into buffer (capacity
// units, terminator included) and returns its length without the terminator. Throws
// EndOfBufferException when the input ends before the terminator, and BufferException when
// the string and its terminator do not fit the buffer; the buffer is never written past
// `capacity` units.
std::size_t ReadWideString(Reader& reader, char16_t* buffer, std::size_t capacity);

}  // namespace Data
