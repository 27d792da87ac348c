// File names shown on a terminal: any byte a name may hold, made harmless and unambiguous.
#include "FuzzChecks.h"
#include "platform/TerminalText.h"

using namespace tolvane;
using namespace tolvane::fuzz;

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Reverses the escapes the way a reader of the output would; false for text that no name
// can have escaped to.
bool Unescape(std::string_view text, std::string& raw) {
    static constexpr std::string_view kLetters = "abtnvfr";
    raw.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            raw.push_back(text[i]);
            continue;
        }
        if (++i >= text.size()) {
            return false;
        }
        const char letter = text[i];
        if (letter == '\\') {
            raw.push_back('\\');
        } else if (letter == 'e') {
            raw.push_back('\x1b');
        } else if (kLetters.find(letter) != std::string_view::npos) {
            raw.push_back(static_cast<char>('\a' + kLetters.find(letter)));
        } else if (letter == 'x' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            raw.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

// Whether the text is well-formed UTF-8 with no C0 control, DEL or C1 control.
bool IsSafeOnTerminal(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x20 || lead == 0x7f) {
            return false;
        }
        std::size_t length = lead < 0x80 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
        if (lead >= 0x80 && lead < 0xc2) {
            return false;
        }
        if (lead == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xa0) {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view name = AsText(data, size);
    const std::string shown = EscapeForTerminal(name);
    Require(IsSafeOnTerminal(shown), "a shown name holds no control and no broken UTF-8");
    std::string raw;
    Require(Unescape(shown, raw) && raw == name, "a shown name gives back its bytes exactly");
    return 0;
}
