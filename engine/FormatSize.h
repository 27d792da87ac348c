#pragma once

#include <cstdint>
#include <string>

namespace tolvane {

// A byte count as short text: "9999 bytes", "10 Kb", "9999 Kb", "10 Mb" ... Each step to the
// next unit divides by 1024 rounding to the nearest (a remainder of exactly 512 rounds down),
// and steps are taken only while the number is 10000 or more; "Tb" is the last unit.
std::string FormatSize(std::int64_t bytes);

// A byte count in the decimal units file managers show, for the program's own notes and
// summaries: "512 bytes", "12.5 MB", "3.0 GB".
std::string FormatDecimalSize(std::uint64_t bytes);

}  // namespace tolvane
