#pragma once

#include <cstddef>
#include <vector>

#include "items/FileItem.h"

namespace tolvane {

// An ordered list of items with one read cursor. Walk it as
//   for (list.Begin(); !list.AtEnd(); list.Next()) { use(list.Current()); }
// The cursor either designates an element or stands at the end; once at the end it stays
// there when elements are appended. Copies take the elements and the cursor. Not
// thread-safe.
class FileItemList {
public:
    void Begin();
    bool AtEnd() const { return m_cursor == kEnd; }
    // The element under the cursor; not to be called at the end.
    const FileItem& Current() const { return m_items[m_cursor]; }
    FileItem& Current() { return m_items[m_cursor]; }
    void Next();

    void PushBack(const FileItem& item) { m_items.push_back(item); }
    void Clear();

    std::size_t Size() const { return m_items.size(); }
    bool Empty() const { return m_items.empty(); }
    const std::vector<FileItem>& Items() const { return m_items; }

private:
    static constexpr std::size_t kEnd = static_cast<std::size_t>(-1);

    std::vector<FileItem> m_items;
    std::size_t m_cursor = kEnd;
};

}  // namespace tolvane
