#include "items/PaneState.h"

#include "items/DataExceptions.h"
#include "items/DataFunctions.h"
#include "items/FolderLister.h"
#include "items/Utf16.h"

namespace tolvane {
namespace {
constexpr std::size_t kMaxStringUnits = kPaneStateStringUnits - 1;

// The record's strings end at their first zero unit, so text after an embedded NUL could
// only be misread as the next field.
std::u16string ToRecordText(std::string_view text) {
    return Utf8ToUtf16(text.substr(0, text.find('\0')));
}

void WriteInt32(Data::Writer& writer, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
        static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
    Data::WriteExact(writer, bytes, sizeof bytes);
}

void WriteString(Data::Writer& writer, const std::u16string& text) {
    std::string bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xff);
        bytes += static_cast<char>(unit >> 8);
    }
    bytes.append(2, '\0');
    Data::WriteExact(writer, bytes.data(), bytes.size());
}

// A side's folder must be written: rather than a record that breaks on reading, keep the
// deepest ancestor that can be read back.
std::u16string FittingFolder(const std::string& folder) {
    std::string path = folder;
    std::u16string text = ToRecordText(path);
    while (text.size() > kMaxStringUnits) {
        std::size_t slash = path.rfind('/', path.size() >= 2 ? path.size() - 2 : 0);
        path.resize(slash == std::string::npos ? 0 : slash + 1);
        text = ToRecordText(path);
    }
    return text;
}

std::int32_t ReadInt32(Data::Reader& reader) {
    unsigned char bytes[4];
    if (reader.Read(bytes, 1, 4) < 4) {
        throw Data::EndOfBufferException();
    }
    return static_cast<std::int32_t>(std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) |
                                     (std::uint32_t{bytes[2]} << 16) |
                                     (std::uint32_t{bytes[3]} << 24));
}

std::string ReadString(Data::Reader& reader, std::array<char16_t, kPaneStateStringUnits>& buffer) {
    std::size_t length = Data::ReadWideString(reader, buffer.data(), buffer.size());
    return Utf16ToUtf8(std::u16string_view(buffer.data(), length));
}
}  // namespace

std::uint32_t DriveKeyOf(std::string_view volumeRoot) {
    std::uint32_t hash = 2166136261u;
    auto add = [&hash](unsigned char byte) {
        hash ^= byte;
        hash *= 16777619u;
    };
    for (char c : volumeRoot) {
        add(static_cast<unsigned char>(c));
    }
    if (volumeRoot.empty() || volumeRoot.back() != '/') {
        add('/');
    }
    return hash;
}

void SavePaneState(Data::Writer& writer, const PaneState& state) {
    std::vector<std::pair<std::uint32_t, std::u16string>> table;
    for (const auto& [key, folder] : state.lastFolderByDrive) {
        std::u16string text = ToRecordText(folder);
        if (text.size() <= kMaxStringUnits) {
            table.emplace_back(key, std::move(text));
        }
    }
    std::vector<std::u16string> recent;
    for (const std::string& folder : state.recentFolders) {
        std::u16string text = ToRecordText(folder);
        if (text.size() <= kMaxStringUnits) {
            recent.push_back(std::move(text));
        }
    }
    for (std::int32_t width : state.columnWidth) {
        WriteInt32(writer, width);
    }
    WriteInt32(writer, static_cast<std::int32_t>(table.size()));
    WriteInt32(writer, static_cast<std::int32_t>(recent.size()));
    for (const std::string& folder : state.folder) {
        WriteString(writer, FittingFolder(folder));
    }
    for (const auto& [key, text] : table) {
        WriteInt32(writer, static_cast<std::int32_t>(key));
        WriteString(writer, text);
    }
    for (const std::u16string& text : recent) {
        WriteString(writer, text);
    }
}

void LoadPaneState(Data::Reader& reader, PaneState& state) noexcept {
    try {
        // Each value is applied only once it is read whole: a cut inside a width must not
        // leave half of it in the field.
        for (std::int32_t& width : state.columnWidth) {
            width = ReadInt32(reader);
        }
        const std::int32_t tableCount = ReadInt32(reader);
        const std::int32_t recentCount = ReadInt32(reader);
        std::array<char16_t, kPaneStateStringUnits> buffer;
        for (std::string& folder : state.folder) {
            // A side shows an absolute folder: a relative one would be taken against
            // whatever the current folder happens to be.
            std::string path = CanonicalFolderPath(ReadString(reader, buffer));
            if (path.starts_with('/') && path.size() <= kMaxFolderPathLength) {
                folder = std::move(path);
            }
        }
        for (std::int32_t i = 0; i < tableCount; ++i) {
            const auto key = static_cast<std::uint32_t>(ReadInt32(reader));
            state.lastFolderByDrive[key] = ReadString(reader, buffer);
        }
        for (std::int32_t i = 0; i < recentCount; ++i) {
            state.recentFolders.push_back(ReadString(reader, buffer));
        }
    } catch (...) {
        // A damaged or missing record is no reason to fail: what was read stays applied.
    }
}

}  // namespace tolvane
