#include "items/DropFilesBlock.h"

#include <cstdint>

#include "items/Utf16.h"

namespace tolvane {
namespace {

constexpr std::size_t kWideFlagOffset = 16;

void AppendUint32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xff));
    }
}

std::uint32_t Uint32At(std::string_view block, std::size_t offset) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(block[offset + i]);
    }
    return value;
}

void ReadNarrowNames(std::string_view names, std::vector<std::string>& out) {
    while (!names.empty()) {
        std::size_t end = names.find('\0');
        if (end == 0 || end == std::string_view::npos) {
            return;  // the list's end, or a name cut off by the end of the block
        }
        out.emplace_back(names.substr(0, end));
        names.remove_prefix(end + 1);
    }
}

void ReadWideNames(std::string_view names, std::vector<std::string>& out) {
    std::u16string name;
    for (std::size_t pos = 0; pos + 1 < names.size(); pos += 2) {
        char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(names[pos]) |
                                              static_cast<unsigned char>(names[pos + 1]) << 8);
        if (unit != 0) {
            name.push_back(unit);
            continue;
        }
        if (name.empty()) {
            return;
        }
        out.push_back(Utf16ToUtf8(name));
        name.clear();
    }
}

}  // namespace

std::string DragEntryOf(const FileItem& item) {
    if (item.IsDriveRow()) {
        return item.name;
    }
    if (item.findData.name.empty()) {
        return {};
    }
    return item.folder + item.findData.name;
}

std::string BuildDropFilesBlock(const std::vector<FileItem>& items) {
    std::string block;
    AppendUint32(block, kDropFilesHeaderSize);  // where the names begin
    AppendUint32(block, 0);                     // drop point x
    AppendUint32(block, 0);                     // drop point y
    AppendUint32(block, 0);                     // the point is not in a non-client area
    AppendUint32(block, 0);                     // 8-bit names
    for (const FileItem& item : items) {
        std::string entry = DragEntryOf(item);
        if (entry.empty()) {
            continue;
        }
        block += entry;
        block.push_back('\0');
    }
    block.append(kDropFilesTrailerSize, '\0');
    return block;
}

bool ReadDropFilesBlock(std::string_view block, std::vector<std::string>& names) {
    names.clear();
    if (block.size() < kDropFilesHeaderSize) {
        return false;
    }
    std::uint32_t first = Uint32At(block, 0);
    if (first < kDropFilesHeaderSize || first > block.size()) {
        return false;
    }
    std::string_view list = block.substr(first);
    if (Uint32At(block, kWideFlagOffset) != 0) {
        ReadWideNames(list, names);
    } else {
        ReadNarrowNames(list, names);
    }
    return true;
}

}  // namespace tolvane
