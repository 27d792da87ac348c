#pragma once

#include <string>

namespace tolvane {

// The window's collection of failed paths: at most 16 lines, then one "\r\n..." line. Each
// line is the path, followed by " - <reason>" when the reason is known.
class FailedItemList {
public:
    void Reset();
    void Add(const std::string& path, const std::string& reason = std::string());
    const std::string& Text() const { return m_text; }
    bool Empty() const { return m_text.empty(); }

private:
    std::string m_text;
    int m_count = 0;  // -1 once the list is full
};

}  // namespace tolvane
