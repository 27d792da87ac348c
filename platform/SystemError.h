#pragma once

#include <errno.h>

#include <cstdint>
#include <string>
#include <utility>

#include "platform/UniqueFd.h"

namespace tolvane {

// A system call's failure as a value, taken at the call: what was done, the error number it
// gave and the entry it concerned. It travels back to whoever reports it instead of errno,
// which any call in between (a progress line written to standard output, say) may change.
// A default-made value is success.
struct SystemError {
    const char* operation = "";  // "open", "write", "rename", ...
    int number = 0;              // errno; 0: no failure
    std::string path;            // the entry's name where one is known

    SystemError() = default;
    SystemError(const char* operation, int number, std::string path = {})
        : operation(operation), number(number), path(std::move(path)) {}

    bool Failed() const { return number != 0; }
    // errno as the call that just failed left it.
    static SystemError Last(const char* operation, std::string path = {}) {
        return {operation, errno, std::move(path)};
    }
};

// A descriptor that was opened or made, or why not.
struct Opened {
    UniqueFd fd;
    SystemError error;
};

// What a write took, and why it came short when it did.
struct Written {
    std::uint64_t bytes = 0;
    SystemError error;
};

}  // namespace tolvane
