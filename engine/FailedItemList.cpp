#include "engine/FailedItemList.h"

namespace tolvane {

namespace {
constexpr int kListedPaths = 16;
}

void FailedItemList::Reset() {
    m_count = 0;
    m_lines.clear();
}

void FailedItemList::Add(const std::string& path, const std::string& reason) {
    if (m_count >= 0 && m_count < kListedPaths) {
        ++m_count;
        m_lines.push_back(reason.empty() ? path : path + " - " + reason);
    } else if (m_count != -1) {
        m_count = -1;
        m_lines.emplace_back("...");
    }
}

}  // namespace tolvane
