#pragma once

#include <QComboBox>
#include <QTreeWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "panes/IconCache.h"
#include "panes/Locations.h"

namespace tolvane {

// The folders that take a look at volumes to be found: the special folders (whose list is
// read from the home folder) and the user's trash folders. Gathered off the GUI thread, as a
// home folder on a network volume can hang any access.
struct ProbedFolders {
    std::vector<SpecialFolder> specialFolders;
    std::vector<TrashFolder> trashFolders;
};

// Gathers them; may block on a slow volume, so only on a worker thread.
ProbedFolders ProbeFolders(const std::vector<Volume>& volumes);

// What the location list is built from, as the GUI thread can know it every second without
// touching any volume: the mount table and the labels in the device folder are read here;
// the special and trash folders are the last ones a worker probed (SetProbed).
//
// Threads: the GUI thread only.
class LocationSource {
public:
    using VolumeReader = std::function<std::vector<Volume>()>;

    // An empty reader reads the mount table (ListVolumes).
    explicit LocationSource(VolumeReader readVolumes = {});

    // Reads the volumes again; true when they differ from the last read. Labels are looked
    // up again only then.
    bool ReadVolumes();
    const std::vector<LabeledVolume>& Volumes() const { return m_volumes; }
    std::vector<Volume> PlainVolumes() const;

    void SetProbed(ProbedFolders probed) { m_probed = std::move(probed); }
    bool Probed() const { return m_probedOnce; }
    void MarkProbed() { m_probedOnce = true; }

    LocationInputs Inputs(const std::vector<std::string>& recentFolders,
                          bool showSpecialFolders) const;

private:
    VolumeReader m_readVolumes;
    std::vector<LabeledVolume> m_volumes;
    ProbedFolders m_probed;
    bool m_probedOnce = false;
};

// Brings a location box from the list it shows (`shown`, position for position) to `list`
// with the fewest changes: entries that stay are kept, entries gone are removed, new ones are
// inserted where they belong. The selected entry stays selected while it exists. Emits no
// signals (the box's index changes are the program's, not the user's).
void SyncLocationBox(QComboBox& box, const std::vector<Location>& shown,
                     const std::vector<Location>& list, IconCache& icons);

// For each root of a new list, the position it had in the old one; nothing for a root made
// anew.
using RootOrigins = std::vector<std::optional<std::size_t>>;

// Brings the tree's root items from `shown` to `list` with the fewest changes: roots that
// stay keep their items (branches, expansion, selection), gone ones are removed, new ones
// inserted where they belong. When a root that holds the selection goes, nothing is selected.
// Returns where each root came from; nothing when nothing changed.
std::optional<RootOrigins> SyncTreeRoots(QTreeWidget& tree, const std::vector<Location>& shown,
                                         const std::vector<Location>& list, IconCache& icons);

// The icon of a location entry, for the box and the tree.
QIcon LocationIcon(const Location& location, IconCache& icons);

}  // namespace tolvane
