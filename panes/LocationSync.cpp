#include "panes/LocationSync.h"

#include <unistd.h>

#include <QSignalBlocker>
#include <algorithm>

#include "panes/TreePaths.h"

namespace tolvane {
namespace {

bool SameVolumes(const std::vector<LabeledVolume>& a, const std::vector<Volume>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const Volume& old = a[i].volume;
        if (old.root != b[i].root || old.source != b[i].source || old.fsType != b[i].fsType ||
            old.slow != b[i].slow) {
            return false;
        }
    }
    return true;
}

}  // namespace

ProbedFolders ProbeFolders(const std::vector<Volume>& volumes) {
    ProbedFolders probed;
    probed.specialFolders = ListSpecialFolders();
    probed.trashFolders = ListTrashFolders(volumes, ::getuid());
    return probed;
}

LocationSource::LocationSource(VolumeReader readVolumes)
    : m_readVolumes(readVolumes ? std::move(readVolumes) : VolumeReader(ListVolumes)) {}

bool LocationSource::ReadVolumes() {
    std::vector<Volume> volumes = m_readVolumes();
    if (SameVolumes(m_volumes, volumes)) {
        return false;
    }
    m_volumes.clear();
    for (Volume& volume : volumes) {
        // The label comes from the device folder, never from the volume itself.
        std::string label = VolumeLabel(volume.source);
        m_volumes.push_back(LabeledVolume{std::move(volume), std::move(label)});
    }
    return true;
}

std::vector<Volume> LocationSource::PlainVolumes() const {
    std::vector<Volume> volumes;
    for (const LabeledVolume& volume : m_volumes) {
        volumes.push_back(volume.volume);
    }
    return volumes;
}

LocationInputs LocationSource::Inputs(const std::vector<std::string>& recentFolders,
                                      bool showSpecialFolders) const {
    LocationInputs inputs;
    inputs.volumes = m_volumes;
    inputs.specialFolders = m_probed.specialFolders;
    inputs.trashFolders = m_probed.trashFolders;
    inputs.recentFolders = recentFolders;
    inputs.showSpecialFolders = showSpecialFolders;
    return inputs;
}

QIcon LocationIcon(const Location& location, IconCache& icons) {
    return icons.Icon(IconNameForLocation(location));
}

void SyncLocationBox(QComboBox& box, const std::vector<Location>& shown,
                     const std::vector<Location>& list, IconCache& icons) {
    if (shown == list && box.count() == static_cast<int>(list.size())) {
        return;
    }
    const QSignalBlocker quiet(&box);
    std::vector<Location> current = shown;
    current.resize(static_cast<std::size_t>(box.count()));  // the box is the truth on counts
    const int selected = box.currentIndex();
    std::optional<Location> selectedEntry;
    if (selected >= 0 && static_cast<std::size_t>(selected) < current.size()) {
        selectedEntry = current[static_cast<std::size_t>(selected)];
    }
    std::size_t i = 0;
    for (const Location& location : list) {
        if (i < current.size() && current[i] == location) {
            ++i;
            continue;
        }
        // Gone entries before one that stays are removed; anything else is new.
        auto later =
            std::find(current.begin() + static_cast<std::ptrdiff_t>(i), current.end(), location);
        if (later != current.end()) {
            const auto first = static_cast<std::ptrdiff_t>(i);
            for (auto k = later - current.begin(); k > first; --k) {
                box.removeItem(static_cast<int>(i));
            }
            current.erase(current.begin() + first, later);
            ++i;
            continue;
        }
        box.insertItem(static_cast<int>(i), LocationIcon(location, icons),
                       QString::fromStdString(location.displayName));
        current.insert(current.begin() + static_cast<std::ptrdiff_t>(i), location);
        ++i;
    }
    while (box.count() > static_cast<int>(i)) {
        box.removeItem(box.count() - 1);
    }
    int reselect = -1;
    if (selectedEntry) {
        auto found = std::find(list.begin(), list.end(), *selectedEntry);
        if (found != list.end()) {
            reselect = static_cast<int>(found - list.begin());
        }
    }
    box.setCurrentIndex(reselect);
}

namespace {

// The old roots that stay, paired with their new positions: the heaviest common subsequence
// of the two lists, where the root holding the selection outweighs all others together, so
// it is kept wherever that is possible at all.
std::vector<std::pair<std::size_t, std::size_t>> KeptRoots(const std::vector<Location>& old,
                                                           const std::vector<Location>& list,
                                                           std::optional<std::size_t> selected) {
    const std::size_t n = old.size();
    const std::size_t m = list.size();
    auto weight = [&](std::size_t i) { return selected == i ? n + 1 : 1; };
    // best[i][j]: the weight keepable from old[i..] and list[j..].
    std::vector<std::vector<std::size_t>> best(n + 1, std::vector<std::size_t>(m + 1, 0));
    for (std::size_t i = n; i-- > 0;) {
        for (std::size_t j = m; j-- > 0;) {
            best[i][j] = std::max(best[i + 1][j], best[i][j + 1]);
            if (old[i] == list[j]) {
                best[i][j] = std::max(best[i][j], best[i + 1][j + 1] + weight(i));
            }
        }
    }
    std::vector<std::pair<std::size_t, std::size_t>> kept;
    for (std::size_t i = 0, j = 0; i < n && j < m;) {
        if (old[i] == list[j] && best[i][j] == best[i + 1][j + 1] + weight(i)) {
            kept.emplace_back(i++, j++);
        } else if (best[i][j] == best[i + 1][j]) {
            ++i;
        } else {
            ++j;
        }
    }
    return kept;
}

std::optional<std::size_t> SelectedRoot(const QTreeWidget& tree) {
    const QTreeWidgetItem* item = tree.currentItem();
    if (item == nullptr) {
        return std::nullopt;
    }
    while (item->parent() != nullptr) {
        item = item->parent();
    }
    const int position = tree.indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item));
    return position < 0 ? std::nullopt : std::optional<std::size_t>(position);
}

}  // namespace

std::optional<RootOrigins> SyncTreeRoots(QTreeWidget& tree, const std::vector<Location>& shown,
                                         const std::vector<Location>& list, IconCache& icons) {
    const std::size_t roots = static_cast<std::size_t>(tree.topLevelItemCount());
    if (shown == list && roots == list.size()) {
        return std::nullopt;
    }
    std::vector<Location> old = shown;
    old.resize(std::min(roots, shown.size()));  // the tree is the truth on counts
    const std::optional<std::size_t> selected = SelectedRoot(tree);
    const auto kept = KeptRoots(old, list, selected);
    std::vector<bool> stays(roots, false);
    RootOrigins origins(list.size());
    for (const auto& [from, to] : kept) {
        stays[from] = true;
        origins[to] = from;
    }
    // A root that stays keeps its item, with its branch, its expansion and the selection in
    // it: another volume coming or going changes nothing there. Only when the selection's
    // own root goes is nothing selected, rather than whatever the tree would pick instead.
    if (selected && !stays[*selected]) {
        tree.setCurrentItem(nullptr);
        tree.clearSelection();
    }
    for (std::size_t i = roots; i-- > 0;) {
        if (!stays[i]) {
            delete tree.takeTopLevelItem(static_cast<int>(i));
        }
    }
    for (std::size_t j = 0; j < list.size(); ++j) {
        if (!origins[j]) {
            tree.insertTopLevelItem(static_cast<int>(j),
                                    MakeRootItem(QString::fromStdString(list[j].displayName),
                                                 LocationIcon(list[j], icons),
                                                 list[j].kind != LocationKind::Separator));
        }
    }
    return origins;
}

}  // namespace tolvane
