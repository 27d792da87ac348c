#include "platform/UserFolders.h"

#include <cstdlib>

namespace tolvane {
namespace {

// An XDG variable must hold an absolute path to count; otherwise the default under HOME.
std::string XdgFolder(const char* variable, const char* underHome) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') {
        return WithSeparator(value);
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        return std::string();
    }
    return WithSeparator(home) + underHome;
}

}  // namespace

std::string WithSeparator(std::string path) {
    if (!path.empty() && path.back() != '/') {
        path.push_back('/');
    }
    return path;
}

std::string TempFolder() {
    const char* value = std::getenv("TMPDIR");
    return WithSeparator(value != nullptr && value[0] == '/' ? value : "/tmp");
}

std::string CacheFolder() {
    return XdgFolder("XDG_CACHE_HOME", ".cache/");
}

std::string DataFolder() {
    return XdgFolder("XDG_DATA_HOME", ".local/share/");
}

std::string RecentFolder() {
    std::string data = DataFolder();
    return data.empty() ? data : data + "RecentDocuments/";
}

std::string HomeTrashFolder() {
    std::string data = DataFolder();
    return data.empty() ? data : data + "Trash/";
}

}  // namespace tolvane
