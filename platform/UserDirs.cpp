#include "platform/UserDirs.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/HexDigits.h"
#include "platform/UserFolders.h"

namespace tolvane {
namespace {

std::string AbsoluteEnv(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

void SkipBlanks(std::string_view line, std::size_t& pos) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) {
        ++pos;
    }
}

bool Expect(std::string_view line, std::size_t& pos, std::string_view word) {
    if (line.substr(pos, word.size()) != word) {
        return false;
    }
    pos += word.size();
    return true;
}

// The quoted value of one line, escapes removed; false unless the line is
// `XDG_<name>_DIR="..."` with a closing quote.
bool QuotedValueOf(std::string_view line, std::string_view name, std::string& value) {
    std::size_t pos = 0;
    SkipBlanks(line, pos);
    if (!Expect(line, pos, "XDG_") || !Expect(line, pos, name) || !Expect(line, pos, "_DIR")) {
        return false;
    }
    SkipBlanks(line, pos);
    if (!Expect(line, pos, "=")) {
        return false;
    }
    SkipBlanks(line, pos);
    if (!Expect(line, pos, "\"")) {
        return false;
    }
    value.clear();
    for (; pos < line.size(); ++pos) {
        if (line[pos] == '"') {
            return true;
        }
        if (line[pos] == '\\' && pos + 1 < line.size()) {
            ++pos;
        }
        value.push_back(line[pos]);
    }
    return false;  // no closing quote: a cut line is not trusted
}

// Whether a value could name a folder other than the one it spells out: a zero byte would
// cut it short where it is passed on as a C string, and "$HOME/../x" is not below home.
bool MisleadingValue(std::string_view value) {
    if (value.find('\0') != std::string_view::npos) {
        return true;
    }
    for (std::size_t start = 0; start <= value.size();) {
        std::size_t end = value.find('/', start);
        if (end == std::string_view::npos) {
            end = value.size();
        }
        const std::string_view component = value.substr(start, end - start);
        if (component == "." || component == "..") {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// "$HOME" alone or followed by '/', or an absolute path; anything else (relative paths,
// other variables, misleading values) is not a form the file may hold.
std::string ExpandValue(const std::string& value, std::string_view home) {
    if (MisleadingValue(value)) {
        return std::string();
    }
    if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/')) {
        if (home.empty() || home[0] != '/') {
            return std::string();
        }
        return WithSeparator(std::string(home) + value.substr(5));
    }
    if (!value.empty() && value[0] == '/') {
        return WithSeparator(value);
    }
    return std::string();
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();  // an unreadable or missing file gives empty text, as meant
    return text.str();
}

bool StatFolder(const std::string& path, struct stat& info) {
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A folder, not a link, that belongs to uid.
bool IsOwnFolder(const std::string& path, unsigned uid) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == uid;
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

}  // namespace

std::string ParseUserDir(std::string_view text, std::string_view name, std::string_view home) {
    std::string result;
    std::string value;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (QuotedValueOf(line, name, value)) {
            std::string path = ExpandValue(value, home);
            if (!path.empty()) {
                result = std::move(path);
            }
        }
    }
    return result;
}

std::string UserDir(std::string_view name) {
    const std::string home = AbsoluteEnv("HOME");
    if (home.empty()) {
        return std::string();
    }
    std::string config = AbsoluteEnv("XDG_CONFIG_HOME");
    config = config.empty() ? WithSeparator(home) + ".config/" : WithSeparator(config);
    std::string path = ParseUserDir(ReadWholeFile(config + "user-dirs.dirs"), name, home);
    if (path.empty()) {
        path = WithSeparator(home) + (name == "DESKTOP" ? "Desktop/" : "");
    }
    return path;
}

std::vector<SpecialFolder> ListSpecialFolders() {
    const std::string home = AbsoluteEnv("HOME");
    const std::string config = AbsoluteEnv("XDG_CONFIG_HOME");
    const std::vector<SpecialFolder> candidates = {
        {SpecialFolderKind::Documents, UserDir("DOCUMENTS")},
        {SpecialFolderKind::Desktop, UserDir("DESKTOP")},
        {SpecialFolderKind::Favorites, WithSeparator(home)},
        {SpecialFolderKind::Temp, TempFolder()},
        {SpecialFolderKind::Recent, RecentFolder()},
        {SpecialFolderKind::Templates, UserDir("TEMPLATES")},
        {SpecialFolderKind::AppData, config.empty() && !home.empty()
                                         ? WithSeparator(home) + ".config/"
                                         : WithSeparator(config)},
        {SpecialFolderKind::InternetCache, CacheFolder()},
    };
    struct stat homeInfo {};
    const bool haveHome = !home.empty() && StatFolder(home, homeInfo);
    std::vector<SpecialFolder> folders;
    for (const SpecialFolder& folder : candidates) {
        struct stat info {};
        if (folder.path.empty() || !StatFolder(folder.path, info)) {
            continue;
        }
        // XDG points every unset folder at the home folder: that is no special folder.
        const bool isHome =
            haveHome && info.st_dev == homeInfo.st_dev && info.st_ino == homeInfo.st_ino;
        if (isHome != (folder.kind == SpecialFolderKind::Favorites)) {
            continue;
        }
        folders.push_back(folder);
    }
    return folders;
}

std::vector<TrashFolder> ListTrashFolders(const std::vector<Volume>& volumes, unsigned uid) {
    std::vector<TrashFolder> folders;
    const std::string data = DataFolder();
    struct stat info {};
    if (!data.empty() && StatFolder(data + "Trash", info)) {
        const Volume* holder = nullptr;
        for (const Volume& volume : volumes) {
            if (data.rfind(volume.root, 0) == 0 &&
                (holder == nullptr || volume.root.size() > holder->root.size())) {
                holder = &volume;
            }
        }
        folders.push_back({data + "Trash/", holder != nullptr ? holder->root : std::string()});
    }
    const std::string id = std::to_string(uid);
    for (const Volume& volume : volumes) {
        if (volume.slow) {
            continue;  // a network or removable volume is read only when the user goes there
        }
        const std::string shared = volume.root + ".Trash";
        if (::lstat(shared.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
            (info.st_mode & S_ISVTX) != 0 && IsOwnFolder(shared + "/" + id, uid)) {
            folders.push_back({shared + "/" + id + "/", volume.root});
        }
        if (IsOwnFolder(volume.root + ".Trash-" + id, uid)) {
            folders.push_back({volume.root + ".Trash-" + id + "/", volume.root});
        }
    }
    return folders;
}

std::string DecodeUdevLabel(std::string_view name) {
    std::string decoded;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char byte = 0;
        // No label holds a zero byte, so "\x00" is no escape udev wrote: it stays as it is
        // rather than cutting the label short wherever it is passed as a C string.
        if (name[i] == '\\' && i + 1 < name.size() && name[i + 1] == 'x' &&
            ReadHexByte(name, i + 2, byte) && byte != '\0') {
            decoded.push_back(byte);
            i += 3;
        } else {
            decoded.push_back(name[i]);
        }
    }
    return decoded;
}

std::string VolumeLabel(const std::string& source, const std::string& byLabelFolder) {
    if (source.empty() || source[0] != '/') {
        return std::string();
    }
    const std::string device = RealPath(source);
    DIR* dir = device.empty() ? nullptr : ::opendir(byLabelFolder.c_str());
    if (dir == nullptr) {
        return std::string();  // no labels on this system (containers often lack the folder)
    }
    std::string label;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." &&
            RealPath(WithSeparator(byLabelFolder) + name) == device) {
            label = DecodeUdevLabel(name);
            break;
        }
    }
    ::closedir(dir);  // a read-only directory stream: nothing to lose on close
    return label;
}

}  // namespace tolvane
