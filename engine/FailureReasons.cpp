#include "engine/FailureReasons.h"

#include <errno.h>
#include <string.h>

#include <cctype>

namespace tolvane {
namespace {

// The errors a user meets while erasing, said the way the report says them; others fall back
// to the C library's text.
const char* ErrorWords(int error) {
    switch (error) {
        case EACCES:
            return "permission denied";
        case EPERM:
            return "not permitted (the entry may be immutable or append-only)";
        case EROFS:
            return "read-only file system";
        case ENOSPC:
        case EDQUOT:
            return "file system full";
        case EIO:
            return "input/output error";
        case EBUSY:
        case ETXTBSY:
            return "in use";
        case EMFILE:
        case ENFILE:
            return "too many open files (the tree is deeper than the open-file limit)";
        case ENOENT:
            return "it vanished";
        case ENAMETOOLONG:
            return "name too long";
        default:
            return nullptr;
    }
}

}  // namespace

std::string FailureReason(const char* what, int error) {
    std::string reason = what;
    if (error == 0) {
        return reason;
    }
    const char* words = ErrorWords(error);
    std::string fallback;
    if (words == nullptr) {
        char buffer[128];
        // GNU strerror_r returns the text, which need not be in the buffer.
        fallback = ::strerror_r(error, buffer, sizeof buffer);
        if (!fallback.empty()) {
            fallback[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(fallback[0])));
        }
        words = fallback.c_str();
    }
    return reason + ": " + words;
}

}  // namespace tolvane
