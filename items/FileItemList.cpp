#include "items/FileItemList.h"

namespace tolvane {

void FileItemList::Begin() {
    m_cursor = m_items.empty() ? kEnd : 0;
}

void FileItemList::Next() {
    if (m_cursor == kEnd) {
        return;
    }
    if (++m_cursor >= m_items.size()) {
        m_cursor = kEnd;
    }
}

void FileItemList::Clear() {
    m_items.clear();
    m_cursor = kEnd;
}

}  // namespace tolvane
