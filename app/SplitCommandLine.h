#pragma once

#include <string>
#include <vector>

namespace tolvane {

// Splits one command-line string (program name first) into its path list, the way the
// desktop shells hand paths to us:
//   - a "free space" is a space outside double quotes, scanning each remainder afresh
//     with quoting off and every '"' toggling it;
//   - the program name is everything up to the first free space and is not returned;
//   - each entry is the remainder cut at its first free space (when there is none, one
//     trailing space is dropped); an entry that begins and ends with '"' (two distinct
//     characters) loses that one pair, other quotes stay;
//   - empty entries are kept: two spaces give an empty entry between them.
// There is no length bound. On Linux argv already is the list; this stays the rule for a
// command line received as one string.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

}  // namespace tolvane
