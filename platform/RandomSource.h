#pragma once

#include <cstddef>

namespace tolvane {

// Fills a buffer from the kernel's cryptographic random source (getrandom, else
// /dev/urandom). False when neither works;
// the buffer is then in an unspecified state and must not be used as a key.
bool SystemRandom(void* buffer, std::size_t length);

}  // namespace tolvane
