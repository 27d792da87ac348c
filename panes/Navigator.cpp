#include "panes/Navigator.h"

#include <QSignalBlocker>

#include "panes/PathEdit.h"
#include "platform/Directory.h"

namespace tolvane {
namespace {

// Sets the box's entry without it counting as the user's choice.
void SelectEntry(QComboBox* box, int index) {
    if (box != nullptr) {
        const QSignalBlocker quiet(box);
        box->setCurrentIndex(index);
    }
}

}  // namespace

Navigator::Navigator(const std::vector<Location>& locations) : m_locations(locations) {}

std::string Navigator::VolumeRootOf(const std::string& folder) const {
    const std::optional<TreePathMatch> match = MatchTreePath(m_locations, folder);
    return match ? m_locations[match->rootIndex].path : std::string();
}

std::string Navigator::RecallFolder(const std::string& volumeRoot) const {
    return m_lastFolders.Recall(volumeRoot);
}

void Navigator::FolderShown(const std::string& folder) {
    m_lastFolders.Remember(VolumeRootOf(folder), folder);
    m_history.Visit(folder);
}

void Navigator::ShowVolumeOf(QComboBox* box, const std::string& folder) {
    // From the volumes the box lists, so nothing is read on the window's thread.
    if (const std::optional<TreePathMatch> match = MatchTreePath(m_locations, folder)) {
        SelectEntry(box, static_cast<int>(match->rootIndex));
    }
}

void Navigator::ShowDriveOfFolder(std::size_t side, QComboBox* box, const std::string& folder) {
    std::string shown = folder;
    if (box != nullptr) {
        const std::string root = VolumeRootOf(folder);
        if (!root.empty()) {
            SelectEntry(box, static_cast<int>(FindLocation(m_locations, root).value_or(0)));
        } else {
            // Its volume is gone: the last folder of the system's root volume instead.
            shown = RecallFolder("/");
            SelectEntry(box, static_cast<int>(FindLocation(m_locations, "/").value_or(0)));
        }
    }
    if (m_listing != nullptr) {
        m_listing->ShowFolder(side, shown, std::string());
    }
}

void Navigator::OnLocationSelected(std::size_t side, QComboBox* box, QLineEdit* edit, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_locations.size() ||
        m_listing == nullptr) {
        return;
    }
    const Location& location = m_locations[static_cast<std::size_t>(index)];
    std::string folder;
    switch (location.kind) {
        case LocationKind::Volume:
            folder = RecallFolder(location.path);
            break;
        case LocationKind::RootFolder:
            folder = VolumeRootOf(m_listing->Folder(side));
            break;
        case LocationKind::Separator:
            break;
        default:
            folder = location.path;
            break;
    }
    if (folder.empty()) {
        // The separator names no folder: the box goes back to where the list is.
        folder = m_listing->Folder(side);
    }
    const std::string root = VolumeRootOf(folder);
    const std::optional<std::size_t> entry = FindLocation(m_locations, root);
    SelectEntry(box, entry ? static_cast<int>(*entry) : -1);
    if (location.kind != LocationKind::Separator) {
        NavigateTo(side, edit, folder);
    }
}

void Navigator::NavigateTo(std::size_t side, QLineEdit* edit, const std::string& folder) {
    if (m_listing == nullptr) {
        return;
    }
    FolderLister canonical;
    if (!canonical.SetPath(folder)) {
        return;  // too long for the browser
    }
    SetPathText(edit, QString::fromStdString(canonical.Path()));
    m_listing->ShowFolder(side, canonical.Path(), "..");
}

void Navigator::OpenListItem(std::size_t side, QLineEdit* edit, const QListWidgetItem& item) {
    if (m_listing == nullptr) {
        return;
    }
    const std::string name = ItemName(item);
    // The item is a row of the folder the list shows, which right after a move is not yet
    // the folder asked for.
    const std::string& listed = m_listing->ListedFolder(side);
    FolderLister moved;
    moved.SetPath(listed.empty() ? m_listing->Folder(side) : listed);
    const std::string folder = moved.Path();
    std::string select;
    if (name == "..") {
        std::string removed;
        moved.Step("..", &removed);
        if (!removed.empty() && removed.back() == '/') {
            removed.pop_back();
        }
        select = removed;
    } else if (item.data(kFolderRole).toBool()) {
        if (!moved.Step(name)) {
            return;  // the path would be too long for the browser
        }
        select = ListingThread::kFirstEntry;  // the first Down goes on from it, not to ".."
        // One open, to say why a folder that cannot be read is not entered.
        int error = 0;
        if (!OpenFolder(moved.Path(), &error).Valid()) {
            if (m_refused) {
                m_refused(moved.Path(), error);
            }
            return;
        }
    } else {
        OpenWithShell(folder, folder + name);
        return;
    }
    if (moved.Path() == folder) {
        return;  // ".." at the root
    }
    SetPathText(edit, QString::fromStdString(moved.Path()));
    m_listing->ShowFolder(side, moved.Path(), select);
}

bool Navigator::GoUp(std::size_t side, QLineEdit* edit) {
    if (m_listing == nullptr) {
        return false;
    }
    const std::string& listed = m_listing->ListedFolder(side);
    FolderLister moved;
    moved.SetPath(listed.empty() ? m_listing->Folder(side) : listed);
    const std::string folder = moved.Path();
    std::string removed;
    moved.Step("..", &removed);
    if (moved.Path() == folder) {
        return false;  // at the root
    }
    if (!removed.empty() && removed.back() == '/') {
        removed.pop_back();
    }
    SetPathText(edit, QString::fromStdString(moved.Path()));
    m_listing->ShowFolder(side, moved.Path(), removed);
    return true;
}

bool Navigator::GoToTyped(std::size_t side, QLineEdit* edit, const std::string& typed) {
    FindData found;
    if (m_listing == nullptr || typed.empty() || typed.front() != '/' ||
        !StatFollowingLinks(typed, found)) {
        return false;
    }
    // A typed file is shown selected in its folder, as a file manager shows a file it is
    // asked for: ready to be inserted, never opened.
    std::string path = typed;
    std::string select = ListingThread::kFirstEntry;
    if (!found.IsDirectory()) {
        SplitPath(typed, path, select);
    }
    FolderLister folder;
    if (select.empty() || !folder.SetPath(path)) {
        return false;
    }
    SetPathText(edit, QString::fromStdString(folder.Path()));
    m_listing->ShowFolder(side, folder.Path(), select);
    return true;
}

void Navigator::OpenTreeItem(const std::string& itemPath) {
    if (itemPath.size() < 2 || itemPath.back() == '/') {
        return;  // a folder: it opens by expanding
    }
    const std::size_t slash = itemPath.rfind('/');
    OpenWithShell(itemPath.substr(0, slash + 1), itemPath);
}

void Navigator::OpenWithShell(const std::string& folder, const std::string& file) {
    if (m_openFile) {
        m_openFile(QString::fromStdString(file), QString::fromStdString(folder));
    }
}

}  // namespace tolvane
