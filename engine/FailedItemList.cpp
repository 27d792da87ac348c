#include "engine/FailedItemList.h"

namespace tolvane {

namespace {
constexpr int kListedPaths = 16;
}

void FailedItemList::Reset() {
    m_count = 0;
    m_text.clear();
}

void FailedItemList::Add(const std::string& path, const std::string& reason) {
    if (m_count >= 0 && m_count < kListedPaths) {
        ++m_count;
        m_text += "\r\n";
        m_text += path;
        if (!reason.empty()) {
            m_text += " - ";
            m_text += reason;
        }
    } else if (m_count != -1) {
        m_count = -1;
        m_text += "\r\n...";
    }
}

}  // namespace tolvane
