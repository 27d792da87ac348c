#include "platform/RegularFile.h"

#include <errno.h>
#include <sys/stat.h>

namespace tolvane {

bool IsRegularFileOrAbsent(const std::string& path) {
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0) {
        return errno == ENOENT;
    }
    return S_ISREG(status.st_mode);
}

}  // namespace tolvane
