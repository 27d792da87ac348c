#include "platform/OverlayLayers.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <string_view>

#include "platform/MediumInfo.h"

namespace tolvane {
namespace {

// The kernel shows separators and spaces inside option values as octal escapes (\054, \040)
// and a ':' inside a layer's path as "\:".
std::vector<std::string> SplitLayers(const std::string& value) {
    std::vector<std::string> layers(1);
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\' && i + 3 < value.size() && value[i + 1] >= '0' && value[i + 1] <= '3') {
            layers.back() += static_cast<char>((value[i + 1] - '0') * 64 +
                                               (value[i + 2] - '0') * 8 + (value[i + 3] - '0'));
            i += 3;
        } else if (c == '\\' && i + 1 < value.size()) {
            layers.back() += value[++i];
        } else if (c == ':') {
            layers.emplace_back();
        } else {
            layers.back() += c;
        }
    }
    std::erase_if(layers, [](const std::string& layer) { return layer.empty(); });
    return layers;
}

std::string PathOf(int fd) {
    char buffer[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    return n > 0 && n < static_cast<ssize_t>(sizeof buffer)
               ? std::string(buffer, static_cast<std::size_t>(n))
               : std::string();
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::vector<std::string> OverlayLowerLayers(const std::string& superOptions) {
    std::vector<std::string> layers;
    std::size_t start = 0;
    while (start <= superOptions.size()) {
        std::size_t comma = superOptions.find(',', start);
        const std::string option =
            superOptions.substr(start, comma == std::string::npos ? comma : comma - start);
        for (std::string_view prefix : {"lowerdir=", "lowerdir+=", "datadir+="}) {
            if (option.rfind(prefix, 0) == 0) {
                for (std::string& layer : SplitLayers(option.substr(prefix.size()))) {
                    layers.push_back(std::move(layer));
                }
            }
        }
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return layers;
}

OverlayLayers::OverlayLayers(int folderFd) {
    struct statfs info;
    if (::fstatfs(folderFd, &info) != 0 ||
        info.f_type != static_cast<decltype(info.f_type)>(OVERLAYFS_SUPER_MAGIC)) {
        return;
    }
    m_overlay = true;
    const std::string folder = PathOf(folderFd);
    std::string root = VolumeRootOf(folder);
    MountFacts mount;
    if (folder.empty() || root.empty() ||
        !MediumInfo().MountAt(root.size() > 1 ? root.substr(0, root.size() - 1) : root, mount) ||
        mount.entry.root != "/") {
        return;  // a part of an overlay bound elsewhere: where it lies in the layers is unknown
    }
    std::string relative = folder.substr(root.size() - 1);  // "/sub/dir", or "" at the root
    if (relative.empty()) {
        relative.assign(1, '/');  // not = "/": GCC 12 warns (-Wrestrict) about that at -O3
    }
    for (const std::string& layer : OverlayLowerLayers(mount.superOptions)) {
        const std::string place = relative == "/" ? layer : layer + relative;
        if (IsFolder(place)) {
            m_lowerFolders.push_back(place);
        }
    }
}

bool OverlayLayers::LowerHolds(const std::string& name) const {
    for (const std::string& folder : m_lowerFolders) {
        struct stat st;
        if (::lstat((folder + "/" + name).c_str(), &st) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace tolvane
