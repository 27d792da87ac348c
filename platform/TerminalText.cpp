#include "platform/TerminalText.h"

#include <errno.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

namespace tolvane {
namespace {

// Length of the valid UTF-8 sequence at the start of `text`, 0 when its first byte does not
// begin one. Overlong forms, surrogates and code points past U+10FFFF are not valid.
std::size_t ValidSequenceLength(std::string_view text) {
    const auto byte = [&text](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    std::size_t length = 0;
    std::uint8_t low = 0x80;  // allowed range of the second byte
    std::uint8_t high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // E0 80..9F would be overlong
        high = lead == 0xED ? 0x9F : 0xBF;  // ED A0..BF would be a surrogate
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;   // F0 80..8F would be overlong
        high = lead == 0xF4 ? 0x8F : 0xBF;  // F4 90.. would be past U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

void AppendHex(std::string& out, std::uint8_t byte) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
}

// The short escape of a C0 control, or 0 when it has none.
char ShortEscape(std::uint8_t byte) {
    static constexpr char kBellToReturn[] = "abtnvfr";  // \a (7) .. \r (13)
    if (byte >= '\a' && byte <= '\r') {
        return kBellToReturn[byte - '\a'];
    }
    return byte == 0x1B ? 'e' : 0;
}

void AppendAscii(std::string& out, std::uint8_t byte) {
    if (byte == '\\') {
        out += "\\\\";
    } else if (byte >= 0x20 && byte != 0x7F) {
        out += static_cast<char>(byte);
    } else if (char letter = ShortEscape(byte); letter != 0) {
        out += '\\';
        out += letter;
    } else {
        AppendHex(out, byte);
    }
}

}  // namespace

bool IsTerminal(int fd) {
    return ::isatty(fd) == 1;
}

bool MayAskOn(int fd) {
    const pid_t foreground = ::tcgetpgrp(fd);
    if (foreground < 0) {
        return errno == ENOTTY && ::isatty(fd) == 0;  // a pipe or a file: no job control
    }
    return foreground == ::getpgrp();
}

std::string EscapeForTerminal(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = ValidSequenceLength(text);
        if (length == 0) {
            // Not UTF-8: shown byte by byte, so nothing is lost and nothing is guessed.
            AppendHex(out, static_cast<std::uint8_t>(text.front()));
            text.remove_prefix(1);
            continue;
        }
        const std::string_view sequence = text.substr(0, length);
        if (length == 1) {
            AppendAscii(out, static_cast<std::uint8_t>(sequence.front()));
        } else if (static_cast<std::uint8_t>(sequence[0]) == 0xC2 &&
                   static_cast<std::uint8_t>(sequence[1]) <= 0x9F) {
            // A C1 control: many terminals act on it (CSI starts an escape sequence).
            AppendHex(out, 0xC2);
            AppendHex(out, static_cast<std::uint8_t>(sequence[1]));
        } else {
            out.append(sequence);
        }
        text.remove_prefix(length);
    }
    return out;
}

}  // namespace tolvane
