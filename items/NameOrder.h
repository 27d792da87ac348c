#pragma once

#include <string>
#include <string_view>

namespace tolvane {

// The case-insensitive name order of listings, for UTF-8 names.
//
// Two names compare as their sort keys do, byte by byte (std::string comparison). A key is
// the name with every code point case-folded (so "Ärmel" and "ärmel" have the same key) and
// written again in UTF-8, whose byte order is code point order. Ill-formed bytes are kept
// apart from real characters: they sort after every character, by byte value.

// The simple case fold of one code point (mostly: its lower case).
char32_t FoldCase(char32_t codePoint);

// Appends the sort key of a name.
void AppendNameSortKey(std::string_view name, std::string& key);

}  // namespace tolvane
