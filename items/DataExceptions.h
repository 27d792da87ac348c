#pragma once

#include <stdexcept>
#include <string>

// The byte streams keep the short top-level namespace the rest of the program knows them by.
namespace Data {

// A stream could not do what was asked of it. Thrown by value, caught by reference.
class BufferException : public std::logic_error {
public:
    explicit BufferException(const std::string& message) : std::logic_error(message) {}
    explicit BufferException(const char* message) : std::logic_error(message) {}
};

// A stream ran short: fewer bytes could be read or written than were needed.
class EndOfBufferException : public BufferException {
public:
    EndOfBufferException() : BufferException("End of buffer") {}
    explicit EndOfBufferException(const std::string& message) : BufferException(message) {}
};

}  // namespace Data
