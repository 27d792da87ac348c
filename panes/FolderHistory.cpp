#include "panes/FolderHistory.h"

namespace tolvane {

void FolderHistory::Visit(const std::string& folder) {
    if (!m_folders.empty() && m_folders[m_position] == folder) {
        return;
    }
    if (!m_folders.empty()) {
        m_folders.resize(m_position + 1);
    }
    m_folders.push_back(folder);
    if (m_folders.size() > kLimit) {
        m_folders.erase(m_folders.begin());
    }
    m_position = m_folders.size() - 1;
}

std::optional<std::string> FolderHistory::Back() {
    if (m_folders.empty() || m_position == 0) {
        return std::nullopt;
    }
    return m_folders[--m_position];
}

std::optional<std::string> FolderHistory::Forward() {
    if (m_position + 1 >= m_folders.size()) {
        return std::nullopt;
    }
    return m_folders[++m_position];
}

}  // namespace tolvane
