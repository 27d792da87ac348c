#pragma once

#include <QIcon>
#include <QListWidgetItem>
#include <QString>
#include <QTreeWidget>
#include <optional>
#include <string>
#include <vector>

#include "panes/Locations.h"

namespace tolvane {

// What the browser keeps in its list and tree items besides the text and the icon.
enum ItemRole : int {
    kNameRole = Qt::UserRole,  // QByteArray: the entry's name as the disk has it
    kFolderRole,               // bool: entered as a folder (a folder, a link to one, "..")
    kLinkRole,                 // bool: a symbolic link
    kFilledRole,               // bool, tree items: the children have been read at least once
};

// Linux names are bytes, not always UTF-8: the text shown may have lost some (U+FFFD), so
// every path is built from the name kept beside it.
QString DisplayText(std::string_view name);
std::string ItemName(const QTreeWidgetItem& item);
std::string ItemName(const QListWidgetItem& item);

// A new tree item for an entry called `name`; `folder` says whether it can be entered.
QTreeWidgetItem* MakeEntryItem(const std::string& name, const QIcon& icon, bool folder);
// A new root item with this text.
QTreeWidgetItem* MakeRootItem(const QString& text, const QIcon& icon, bool folder);

// Where an item stands in a tree, as a thread-free value: the root at position `root`, whose
// location has the folder `rootPath`, then the child names from the root down. Workers get
// addresses, never items; the GUI thread turns an address back into the item (Resolve),
// which fails once the tree has changed under it.
struct TreeAddress {
    std::size_t root = 0;
    std::string rootPath;  // ends with '/'
    std::vector<std::string> names;

    // The folder the address names, ending with '/'.
    std::string Path() const;
    bool operator==(const TreeAddress&) const = default;
};

// The roots of a tree stand in the order of `locations`, position for position. These
// functions only look at the items and the list: no file system is touched.

// The address of an item; nothing for the separator root or an item of another tree.
std::optional<TreeAddress> AddressOf(const QTreeWidget& tree, const QTreeWidgetItem* item,
                                     const std::vector<Location>& locations);
// The item at an address: its root must still stand for the same folder and each child is
// found by its exact name (names are case-sensitive). Null when it is gone.
QTreeWidgetItem* Resolve(const QTreeWidget& tree, const TreeAddress& address,
                         const std::vector<Location>& locations);
// The child with exactly this name; null when none.
QTreeWidgetItem* FindChild(const QTreeWidgetItem& parent, const std::string& name);

// The location entry a root item stands for; null for an item that is no root.
const Location* RootLocation(const QTreeWidget& tree, const QTreeWidgetItem* item,
                             const std::vector<Location>& locations);

// The path of an item: a folder's ends with '/', a file's does not; empty for the separator.
std::string ItemPath(const QTreeWidget& tree, const QTreeWidgetItem* item,
                     const std::vector<Location>& locations);
// The folder that holds the item, ending with '/'. A volume's root item has none (empty):
// its row stands for the volume's free space. Which roots are volumes is decided by the
// location list, not by the path being a mount point (a home folder on its own volume is a
// folder).
std::string ItemFolder(const QTreeWidget& tree, const QTreeWidgetItem* item,
                       const std::vector<Location>& locations);

}  // namespace tolvane
