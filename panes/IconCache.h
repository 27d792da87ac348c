#pragma once

#include <QIcon>
#include <string>
#include <string_view>
#include <unordered_map>

#include "panes/Locations.h"

namespace tolvane {

// Icon names follow the freedesktop icon naming: "folder", "drive-harddisk", or a MIME type's
// icon ("text-plain"). The empty name means "no icon" (the ".." entry, the separator).

// The icon name of a listing entry, from its name alone: a folder (or a link to one) is
// "folder"; anything else gets the icon of the MIME type its name's extension suggests. The
// content is never read (sniffing would open every file of a large folder). Any thread.
std::string IconNameForEntry(std::string_view name, bool isFolder);

// The icon name of an entry of the location box or of a tree root. Any thread.
std::string IconNameForLocation(const Location& location);

// Hands out the QIcon of an icon name: from the desktop's icon theme, else a generic icon of
// the same family, else one the program ships (a folder, a file, a volume, the trash; a
// link's emblem), so that every name gives an icon that shows, with or without a theme.
// Icons are made once per name and kept.
//
// Threads: the GUI thread only (QIcon and QPixmap are GUI objects). Workers compute icon
// names (IconNameForEntry) and hand those over.
class IconCache {
public:
    // A null icon for the empty name.
    QIcon Icon(const std::string& iconName);
    // The same icon with a link emblem in its lower left corner, for symbolic links.
    QIcon LinkIcon(const std::string& iconName);

    std::size_t Size() const { return m_icons.size() + m_linkIcons.size(); }

private:
    QIcon Make(const std::string& iconName);

    std::unordered_map<std::string, QIcon> m_icons;
    std::unordered_map<std::string, QIcon> m_linkIcons;
    std::unordered_map<std::string, QIcon> m_shipped;  // by the shipped icon's own name
    QIcon m_linkEmblem;
};

}  // namespace tolvane
