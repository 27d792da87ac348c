#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tolvane {

constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes the code point at text[pos] and moves pos past it. On an ill-formed sequence it
// returns false, sets codePoint to the value of the first byte and moves pos past the
// longest prefix that could have begun a valid sequence (at least one byte), so one bad
// stretch counts once, as the Unicode standard recommends for replacement.
bool DecodeUtf8(std::string_view text, std::size_t& pos, char32_t& codePoint);

// Appends the UTF-8 form of a code point (U+0000..U+10FFFF, surrogates excluded).
void AppendUtf8(std::string& out, char32_t codePoint);

// UTF-8 to UTF-16 and back. Ill-formed input (bad UTF-8, unpaired surrogates) becomes
// U+FFFD; nothing is ever dropped silently.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace tolvane
