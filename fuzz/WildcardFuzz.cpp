// File-name patterns from the command line and the browser, matched against any name.
#include "FuzzChecks.h"
#include "platform/Wildcard.h"

using namespace tolvane;
using namespace tolvane::fuzz;

namespace {

// The plain definition, position by position: '*' any run, '?' one byte, else itself.
bool Matches(std::string_view pattern, std::string_view name) {
    std::vector<std::vector<char>> can(pattern.size() + 1, std::vector<char>(name.size() + 1, 0));
    can[pattern.size()][name.size()] = 1;
    for (std::size_t p = pattern.size(); p-- > 0;) {
        for (std::size_t n = name.size() + 1; n-- > 0;) {
            if (pattern[p] == '*') {
                can[p][n] = can[p + 1][n] || (n < name.size() && can[p][n + 1]);
            } else {
                can[p][n] = n < name.size() && (pattern[p] == '?' || pattern[p] == name[n]) &&
                            can[p + 1][n + 1];
            }
        }
    }
    return can[0][0] != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = AsText(data, size);
    const std::size_t cut = text.find('\0');
    if (cut == std::string_view::npos || size > 512) {
        return 0;
    }
    const std::string_view pattern = text.substr(0, cut);
    const std::string_view name = text.substr(cut + 1);
    const bool matched = MatchWildcard(pattern, name);
    Require(matched == (pattern == "*.*" || Matches(pattern, name)),
            "a pattern matches exactly the names its wildcards allow");
    if (!HasWildcard(pattern)) {
        Require(matched == (pattern == name), "a pattern without wildcards matches only itself");
    }
    return 0;
}
