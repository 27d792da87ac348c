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

std::optional<std::size_t> SyncTreeRoots(QTreeWidget& tree, const std::vector<Location>& shown,
                                         const std::vector<Location>& list, IconCache& icons) {
    const int roots = tree.topLevelItemCount();
    if (shown == list && roots == static_cast<int>(list.size())) {
        return std::nullopt;
    }
    std::size_t kept = 0;
    while (kept < list.size() && kept < shown.size() && static_cast<int>(kept) < roots &&
           list[kept] == shown[kept]) {
        ++kept;
    }
    // The roots from the first difference on go with their branches; a selection inside
    // them moves, which the tree reports as a new selection.
    while (tree.topLevelItemCount() > static_cast<int>(kept)) {
        delete tree.takeTopLevelItem(tree.topLevelItemCount() - 1);
    }
    for (std::size_t i = kept; i < list.size(); ++i) {
        tree.addTopLevelItem(MakeRootItem(QString::fromStdString(list[i].displayName),
                                          LocationIcon(list[i], icons),
                                          list[i].kind != LocationKind::Separator));
    }
    return kept;
}

}  // namespace tolvane
