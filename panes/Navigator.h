#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QListWidgetItem>
#include <QTreeWidget>
#include <functional>
#include <string>
#include <vector>

#include "panes/FolderHistory.h"
#include "panes/LastFolderByDrive.h"
#include "panes/ListingThread.h"
#include "panes/Locations.h"
#include "platform/DesktopOpener.h"

namespace tolvane {

// The user's moves between folders: a location chosen in the box, an entry opened in a list
// or a tree, the return to the folder last shown on a volume. Every move ends in a request
// to the listing worker (ListingThread::ShowFolder) or in a file handed to the shell.
//
// Which volume a folder lies on is decided from the location list by path alone (the
// deepest volume entry holding it), so no move touches a volume on the GUI thread.
//
// Threads: the GUI thread only.
class Navigator {
public:
    explicit Navigator(const std::vector<Location>& locations);

    void Attach(ListingThread* listing) { m_listing = listing; }
    void SetOpenFile(OpenFileFunction openFile) { m_openFile = std::move(openFile); }
    // Told when a folder the user opens cannot be read (its path and the error number), so
    // the window can say why instead of silently staying where it is.
    using RefusedFunction = std::function<void(const std::string& folder, int error)>;
    void SetRefused(RefusedFunction refused) { m_refused = std::move(refused); }
    LastFolderByDrive& LastFolders() { return m_lastFolders; }
    const LastFolderByDrive& LastFolders() const { return m_lastFolders; }

    // The mount point of the volume entry holding the folder; empty when none does.
    std::string VolumeRootOf(const std::string& folder) const;
    // The folder last shown on the volume, the root itself when none is kept; empty for an
    // empty root. Never adds an entry.
    std::string RecallFolder(const std::string& volumeRoot) const;
    // A list now shows this folder: it becomes its volume's last folder and a step of the
    // side's history.
    void FolderShown(const std::string& folder);
    FolderHistory& History() { return m_history; }

    // Puts the box on the volume entry of the folder and lists the folder. A folder whose
    // volume is gone is replaced by the last folder shown on the first volume (the root).
    void ShowDriveOfFolder(std::size_t side, QComboBox* box, const std::string& folder);
    // Puts the box on the volume that holds `folder`, however the list got there (a typed
    // path, a folder entered across a mount point); the list is left as it is.
    void ShowVolumeOf(QComboBox* box, const std::string& folder);
    // The box's entry `index` was chosen: a volume returns to its last folder, "Root folder"
    // goes to the root of the current volume, other entries to their folder; the box then
    // shows the volume of the new folder.
    void OnLocationSelected(std::size_t side, QComboBox* box, QLineEdit* edit, int index);
    // Lists the folder with ".." selected.
    void NavigateTo(std::size_t side, QLineEdit* edit, const std::string& folder);
    // An entry of a side's list was opened: ".." goes up and selects the folder left, a
    // folder (or a link to one) is entered, a file is handed to the shell.
    void OpenListItem(std::size_t side, QLineEdit* edit, const QListWidgetItem& item);
    // The parent of the folder the side's list shows, with the folder left selected; false
    // at the root.
    bool GoUp(std::size_t side, QLineEdit* edit);
    // The folder typed into the path edit: a folder (or a link to one) is listed with its
    // first entry selected; false for anything else.
    bool GoToTyped(std::size_t side, QLineEdit* edit, const std::string& typed);
    // A tree item was opened: a file is handed to the shell (folders open by expanding).
    void OpenTreeItem(const std::string& itemPath);
    // Starts the file's program through the shell, with the file's folder as working
    // directory. Starting is all it does, so it runs here.
    void OpenWithShell(const std::string& folder, const std::string& file);

private:
    const std::vector<Location>& m_locations;
    LastFolderByDrive m_lastFolders;
    FolderHistory m_history;
    ListingThread* m_listing = nullptr;
    OpenFileFunction m_openFile = OpenFileWithDesktop;
    RefusedFunction m_refused;
};

}  // namespace tolvane
