#pragma once

// What every fuzz program uses: a failed property stops the run like a crash, so libFuzzer
// keeps the input that broke it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane::fuzz {

inline void Require(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", property);
        std::abort();
    }
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The input cut at every `separator` byte: how one input becomes several strings.
inline std::vector<std::string> SplitAt(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

// Absolute, more than the root, and no empty, "." or ".." component: a path that names
// exactly what it spells.
inline bool IsPlainAbsolute(std::string_view path) {
    if (path.size() < 2 || path.front() != '/') {
        return false;
    }
    for (const std::string& part : SplitAt(path.substr(1), '/')) {
        if (part.empty() || part == "." || part == "..") {
            return false;
        }
    }
    return true;
}

// Whether a path has a "." or ".." component, which would make it name something other than
// what it spells out.
inline bool HasDotComponent(std::string_view path) {
    for (const std::string& part : SplitAt(path, '/')) {
        if (part == "." || part == "..") {
            return true;
        }
    }
    return false;
}

}  // namespace tolvane::fuzz
