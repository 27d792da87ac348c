#pragma once

#include <cstddef>
#include <string_view>

namespace tolvane {

// The value of a hexadecimal digit of either case, -1 for any other character.
inline int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The byte written as two hexadecimal digits at `at` of text ("%2F", "\x2F" after their
// markers); false when they are not both there.
inline bool ReadHexByte(std::string_view text, std::size_t at, char& byte) {
    if (at + 1 >= text.size()) {
        return false;
    }
    const int high = HexDigitValue(text[at]);
    const int low = HexDigitValue(text[at + 1]);
    if (high < 0 || low < 0) {
        return false;
    }
    byte = static_cast<char>(high << 4 | low);
    return true;
}

}  // namespace tolvane
