#include "items/FileUriList.h"

#include "items/DropFilesBlock.h"
#include "platform/Directory.h"
#include "platform/HexDigits.h"

namespace tolvane {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y) {
            return false;
        }
    }
    return true;
}

// The path part of a file URI, still escaped; false when the URI is not a local file's.
bool EscapedLocalPath(std::string_view uri, std::string_view& escaped) {
    constexpr std::string_view kScheme = "file:";
    if (uri.size() < kScheme.size() || !EqualsIgnoringCase(uri.substr(0, 5), kScheme)) {
        return false;
    }
    std::string_view rest = uri.substr(kScheme.size());
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        std::size_t slash = rest.find('/');
        std::string_view host = rest.substr(0, slash);
        if (!host.empty() && !EqualsIgnoringCase(host, "localhost")) {
            return false;  // another machine's file, or no path at all
        }
        if (slash == std::string_view::npos) {
            return false;
        }
        rest.remove_prefix(slash);
    }
    // The query and the fragment are not part of the file's name: a '?' or '#' in a name
    // is sent escaped.
    escaped = rest.substr(0, rest.find_first_of("?#"));
    return true;
}

// Escapes become raw bytes; a '%' that starts no escape is taken as itself, as senders
// that forget to escape it mean.
void Unescape(std::string_view escaped, std::string& raw) {
    raw.clear();
    std::size_t i = 0;
    while (i < escaped.size()) {
        char byte = 0;
        if (escaped[i] != '%' || !ReadHexByte(escaped, i + 1, byte)) {
            raw.push_back(escaped[i]);
            ++i;
            continue;
        }
        raw.push_back(byte);
        i += 3;
    }
}

}  // namespace

std::string FileUri(std::string_view path) {
    std::string uri = "file://";
    for (char c : path) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (IsUnreserved(byte) || c == '/') {
            uri.push_back(c);
        } else {
            uri.push_back('%');
            uri.push_back(kHexDigits[byte >> 4]);
            uri.push_back(kHexDigits[byte & 0xf]);
        }
    }
    return uri;
}

std::string BuildUriList(const std::vector<FileItem>& items) {
    std::string list;
    for (const FileItem& item : items) {
        if (item.IsDriveRow()) {
            continue;
        }
        std::string entry = DragEntryOf(item);
        if (!entry.empty()) {
            list += FileUri(entry);
            list += "\r\n";
        }
    }
    return list;
}

bool LocalPathOfUri(std::string_view uri, std::string& path) {
    std::string_view escaped;
    if (!EscapedLocalPath(uri, escaped)) {
        return false;
    }
    Unescape(escaped, path);
    // No name holds a zero byte, escaped or sent raw: passed on as a C string, the path
    // would be cut there and name another file.
    if (path.find('\0') != std::string::npos) {
        return false;
    }
    // A folder's URI may end with a separator; the item is the folder itself.
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return IsPlainAbsolutePath(path);
}

std::vector<std::string> LocalPathsOfUriList(std::string_view text) {
    std::vector<std::string> paths;
    constexpr std::string_view kBlanks(" \t\r\0", 4);
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        std::size_t first = line.find_first_not_of(kBlanks);
        if (first == std::string_view::npos || line[first] == '#') {
            continue;  // a blank line or a comment
        }
        line = line.substr(first, line.find_last_not_of(kBlanks) - first + 1);
        std::string path;
        if (LocalPathOfUri(line, path)) {
            paths.push_back(std::move(path));
        }
    }
    return paths;
}

}  // namespace tolvane
