#pragma once

#include <string>
#include <vector>

namespace tolvane {

// The lower layers under a folder of an overlay mount (containers, live sessions). A file that
// came with a lower layer keeps its original there whatever is done through the overlay: a
// write goes to a copy in the upper layer, a delete only hides the name. The layers are found
// through the mount options and looked into directly, which works where this process can reach
// them; elsewhere nothing is known and LowerHolds() is false.
class OverlayLayers {
public:
    // Looks at the mount of the open folder `folderFd` once.
    explicit OverlayLayers(int folderFd);

    bool OnOverlay() const { return m_overlay; }
    // Whether some lower layer holds an entry named `name` at the folder's place.
    bool LowerHolds(const std::string& name) const;

private:
    bool m_overlay = false;
    std::vector<std::string> m_lowerFolders;  // the folder's place in each reachable lower layer
};

// The lower layers an overlay's options name ("lowerdir=/a:/b", or one "lowerdir+=" or
// "datadir+=" option per layer), escapes decoded.
std::vector<std::string> OverlayLowerLayers(const std::string& superOptions);

}  // namespace tolvane
