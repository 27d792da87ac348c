#include "panes/TreePaths.h"

#include <QListWidgetItem>

namespace tolvane {
namespace {

const QTreeWidgetItem* RootOf(const QTreeWidgetItem* item) {
    while (item->parent() != nullptr) {
        item = item->parent();
    }
    return item;
}

}  // namespace

QString DisplayText(std::string_view name) {
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

std::string ItemName(const QTreeWidgetItem& item) {
    const QVariant name = item.data(0, kNameRole);
    return name.isValid() ? name.toByteArray().toStdString() : item.text(0).toStdString();
}

std::string ItemName(const QListWidgetItem& item) {
    const QVariant name = item.data(kNameRole);
    return name.isValid() ? name.toByteArray().toStdString() : item.text().toStdString();
}

QTreeWidgetItem* MakeRootItem(const QString& text, const QIcon& icon, bool folder) {
    auto* item = new QTreeWidgetItem(QStringList{text});
    item->setIcon(0, icon);
    item->setData(0, kFolderRole, folder);
    return item;
}

QTreeWidgetItem* MakeEntryItem(const std::string& name, const QIcon& icon, bool folder) {
    QTreeWidgetItem* item = MakeRootItem(DisplayText(name), icon, folder);
    item->setData(0, kNameRole, QByteArray::fromStdString(name));
    return item;
}

std::string TreeAddress::Path() const {
    std::string path = rootPath;
    for (const std::string& name : names) {
        path += name;
        path += '/';
    }
    return path;
}

std::optional<TreeAddress> AddressOf(const QTreeWidget& tree, const QTreeWidgetItem* item,
                                     const std::vector<Location>& locations) {
    if (item == nullptr || item->treeWidget() != &tree) {
        return std::nullopt;
    }
    TreeAddress address;
    const QTreeWidgetItem* root = RootOf(item);
    const int position = tree.indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(root));
    if (position < 0 || static_cast<std::size_t>(position) >= locations.size() ||
        locations[static_cast<std::size_t>(position)].path.empty()) {
        return std::nullopt;
    }
    address.root = static_cast<std::size_t>(position);
    address.rootPath = locations[address.root].path;
    for (const QTreeWidgetItem* at = item; at != root; at = at->parent()) {
        address.names.insert(address.names.begin(), ItemName(*at));
    }
    return address;
}

QTreeWidgetItem* Resolve(const QTreeWidget& tree, const TreeAddress& address,
                         const std::vector<Location>& locations) {
    if (address.root >= locations.size() || locations[address.root].path != address.rootPath ||
        static_cast<int>(address.root) >= tree.topLevelItemCount()) {
        return nullptr;
    }
    QTreeWidgetItem* item = tree.topLevelItem(static_cast<int>(address.root));
    for (const std::string& name : address.names) {
        item = FindChild(*item, name);
        if (item == nullptr) {
            return nullptr;
        }
    }
    return item;
}

QTreeWidgetItem* FindChild(const QTreeWidgetItem& parent, const std::string& name) {
    for (int i = 0; i < parent.childCount(); ++i) {
        if (ItemName(*parent.child(i)) == name) {
            return parent.child(i);
        }
    }
    return nullptr;
}

const Location* RootLocation(const QTreeWidget& tree, const QTreeWidgetItem* item,
                             const std::vector<Location>& locations) {
    if (item == nullptr || item->parent() != nullptr || item->treeWidget() != &tree) {
        return nullptr;
    }
    const int position = tree.indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item));
    if (position < 0 || static_cast<std::size_t>(position) >= locations.size()) {
        return nullptr;
    }
    return &locations[static_cast<std::size_t>(position)];
}

std::string ItemPath(const QTreeWidget& tree, const QTreeWidgetItem* item,
                     const std::vector<Location>& locations) {
    const std::optional<TreeAddress> address = AddressOf(tree, item, locations);
    if (!address) {
        return std::string();
    }
    std::string path = address->Path();
    // The kind of an item was recorded when it was read: no look at the disk here, which
    // could hang on a network volume.
    if (!address->names.empty() && !item->data(0, kFolderRole).toBool()) {
        path.pop_back();
    }
    return path;
}

std::string ItemFolder(const QTreeWidget& tree, const QTreeWidgetItem* item,
                       const std::vector<Location>& locations) {
    const Location* root = RootLocation(tree, item, locations);
    if (root != nullptr && root->kind == LocationKind::Volume) {
        return std::string();
    }
    std::string path = ItemPath(tree, item, locations);
    if (path.empty()) {
        return path;
    }
    if (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace tolvane
