#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace Data {
class MemoryWriter;
}

namespace tolvane {

// The user's settings: named values in the settings file (settings/SettingsFile.h), read and
// written with QSettings in the file's own strict syntax. Each operation opens the store for
// the one access; the file is created by the first write. Writes are best effort: their
// results are not reported.
//
// Only a regular file (or none) is used. When something else stands at that name (a FIFO,
// which would block the reader for good, a link, a folder), every value reads as its default
// and writes do nothing: the settings are never the reason the program hangs, and nothing is
// written through such an entry.
//
// Reading is strict about types: a value stored with the wrong type (a text that is not a
// 32-bit whole number under a number's name, for instance) reads as the default, exactly
// like an absent value. A binary value larger than kMaxBinarySetting bytes reads as empty.
//
// Threads: the user-interface thread only (the terminal run has no other).

constexpr std::uint32_t kMaxBinarySetting = 32768;

std::int32_t GetSettingDword(const char* name, std::int32_t defaultValue);
void SetSettingDword(const char* name, std::int32_t value);
// The block is Reset to kMaxBinarySetting bytes, filled with the stored bytes and Resized
// to their count: 0 when the value is absent, of another type or too large.
void GetSettingBinary(const char* name, Data::MemoryWriter& block);
void SetSettingBinary(const char* name, const void* bytes, std::size_t length);
// text is UTF-8.
void SetSettingString(const char* name, const std::string& text);

// The "Passes" setting as a run uses it: as stored, unchecked like the main window uses it,
// up to kMaxStoredPasses; absent, of the wrong type or negative gives the default 3. A count
// above kMaxStoredPasses (no menu offers one; it would take one 32 KiB buffer per pass and
// could overflow the progress total) also gives 3, and so does an unusable settings file; then
// `note`, when given, receives a line saying so instead of the value being changed silently.
constexpr std::int32_t kDefaultPasses = 3;
constexpr std::int32_t kMaxStoredPasses = 100;
std::int32_t ReadPassesSetting(std::string* note = nullptr);
// The pass count of a run: the one given on the command line, else the setting's.
std::int32_t PassesForRun(const std::optional<int>& given, std::string* note);

}  // namespace tolvane
