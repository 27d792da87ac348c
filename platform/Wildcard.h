#pragma once

#include <string_view>

namespace tolvane {

// True when the pattern has a wildcard character ('*' or '?').
bool HasWildcard(std::string_view pattern);

// Matches a name against a pattern in which only '*' (any run, also empty) and '?' (one
// byte) are wildcards, case-sensitively. "*.*" matches every name, also names without a
// dot, as folder listings expect.
bool MatchWildcard(std::string_view pattern, std::string_view name);

}  // namespace tolvane
