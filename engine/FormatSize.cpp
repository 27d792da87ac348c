#include "engine/FormatSize.h"

#include <cstdio>

namespace tolvane {

std::string FormatSize(std::int64_t v) {
    static const char* const kUnits[] = {"bytes", "Kb", "Mb", "Gb", "Tb"};
    int unit = 0;
    while (v >= 10000 && unit < 4) {
        ++unit;
        v = (v + 511) / 1024;
    }
    char text[48];
    std::snprintf(text, sizeof text, "%d %s", static_cast<std::int32_t>(v), kUnits[unit]);
    return text;
}

std::string FormatDecimalSize(std::uint64_t bytes) {
    static const char* const kUnits[] = {"bytes", "kB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1000 && unit < 4) {
        value /= 1000;
        ++unit;
    }
    char text[48];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, kUnits[unit]);
    return text;
}

}  // namespace tolvane
