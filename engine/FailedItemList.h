#pragma once

#include <string>
#include <vector>

namespace tolvane {

// The collection of failed paths a run shows at its end: at most 16 lines, then one "..."
// line. Each line is the path, followed by " - <reason>" when the reason is known. Front ends
// lay the lines out their own way.
class FailedItemList {
public:
    void Reset();
    void Add(const std::string& path, const std::string& reason = std::string());
    const std::vector<std::string>& Lines() const { return m_lines; }
    bool Empty() const { return m_lines.empty(); }

private:
    std::vector<std::string> m_lines;
    int m_count = 0;  // -1 once the list is full
};

}  // namespace tolvane
