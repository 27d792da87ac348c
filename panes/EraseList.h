#pragma once

#include <QIcon>
#include <QPointer>
#include <QString>
#include <QTreeWidget>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "items/FileItem.h"
#include "panes/Locations.h"
#include "panes/SizePass.h"

class QListWidget;

namespace tolvane {

// The path column of a drive row: the row stands for the volume's free space. Every reader
// of the column takes the row's folder from the row's data, where a drive row's is empty.
constexpr std::string_view kFreeSpaceText = "free space";
// The size column of a row whose folder cannot be read: its size is not known.
constexpr std::string_view kUnreadableSizeText = "cannot be read";
// The item data role under which the browser's list entries and the erase list's rows keep a
// name's raw bytes (a QByteArray) beside the shown text, which loses bytes that are no UTF-8.
// An entry without it is taken by its text.
constexpr int kRawNameRole = Qt::UserRole;
// How many recent source folders the location box offers.
constexpr std::size_t kRecentFolderLimit = 7;

// The erase list: the rows of the window's erase-list control are the list of things the
// user has chosen to destroy. Columns: name (a drive row shows its drive spec), size (empty
// until the size worker has measured the row), path (the folder ending in '/', or
// kFreeSpaceText), and the hidden size in bytes as decimal text. A row whose folder cannot be
// listed shows kUnreadableSizeText as its size, and 0 bytes in the hidden column.
//
// Each row keeps its name and folder as raw bytes besides the shown text, so names that are
// not valid UTF-8 reach an erase run unchanged. A row is known by its name and folder; the
// list never holds two rows with the same pair, but never checks containment either (a
// folder and a file inside it stand side by side).
//
// Every edit of the rows tells the size worker (SizePass::Edited, then the wake), which
// restarts its pass; removing the row being counted stops that count only.
//
// Threads: the window's thread only, including the size worker's calls (TakeUnsizedRow,
// StoreSize), which reach it as blocking queued calls. That confinement is what keeps the
// worker's reads and the user's edits apart: no lock is needed or held.
class EraseList {
public:
    struct NewRow {
        FileItem item;
        QIcon icon;
    };

    EraseList(SizePass& sizes, std::function<void()> wakeSizer);

    // The control is the window's; a control deleted meanwhile is skipped. Its rows are
    // taken as they are.
    void SetControl(QTreeWidget* control);
    QTreeWidget* Control() const { return m_control; }
    int RowCount() const;

    // True when a row has this name and folder (exact bytes), and for the name "..".
    bool IsListed(const std::string& name, const std::string& folder) const;
    // Appends the rows that are not listed yet (nor earlier in `rows`), in order; the number
    // appended.
    int AddRows(const std::vector<NewRow>& rows);
    // Removes the rows at these positions (any order, duplicates and positions outside the
    // list ignored).
    void RemoveRows(std::vector<int> rows);
    void RemoveLeadingRows(int count);
    // Positions of the selected rows, ascending.
    std::vector<int> SelectedRows() const;

    // One item per row, top to bottom: folder and name as the row holds them (a drive row
    // gives folder "" and its drive spec), the find data of exactly that path (a plain
    // lookup: '*' and '?' in a name are just characters), and the size the row shows.
    std::vector<FileItem> Collect() const;
    // Each row's path (folder + name; a drive row gives its drive spec), top to bottom,
    // without looking at the files.
    std::vector<std::string> CollectPaths() const;

    // A row that could not be erased stays, shown as failed with the reason as its tooltip.
    void MarkRowFailed(int row, const QString& reason);
    void ClearFailedMarks();
    bool RowFailed(int row) const;
    // Why the row's item could not be erased; empty for a row that did not fail.
    QString FailureReason(int row) const;
    // The row's whole path as shown ("Free space on <volume>" for a drive row).
    static QString RowPathText(const QTreeWidgetItem& row);

    // For the size worker (see SizeRowAccess); window's thread.
    std::optional<SizeJob> TakeUnsizedRow(std::size_t from);
    void StoreSize(const SizeJob& job, const FolderSizer::Result& size);

    // A row's raw name and folder (empty for a drive row).
    static std::string RowName(const QTreeWidgetItem& row);
    static std::string RowFolder(const QTreeWidgetItem& row);

private:
    class EditScope;
    struct Counting {
        std::string name;
        std::string folder;
        std::uint64_t countId = 0;
        bool active = false;
    };

    QTreeWidgetItem* MakeRow(const NewRow& row) const;
    QTreeWidgetItem* FindRow(const std::string& name, const std::string& folder) const;
    // Takes `count` rows from `first` on off the control and forgets them.
    void TakeRows(int first, int count);

    SizePass& m_sizes;
    std::function<void()> m_wakeSizer;
    QPointer<QTreeWidget> m_control;
    Counting m_counting;
    // Every row by its name and folder, so that no lookup has to walk the list.
    std::unordered_map<std::string, QTreeWidgetItem*> m_rowsByKey;
    // Every row above this one has its size: the size worker looks for work from here on
    // rather than from the top, whatever has been removed meanwhile.
    int m_firstUnsized = 0;
};

// The item of exactly this entry of `folder` (ending in '/'), with the find data of a plain
// lookup ('*' and '?' are just characters); an entry that is gone keeps its name only.
FileItem EntryItem(const std::string& folder, const std::string& name);

// The items of a browser list's selected entries in `folder`, top to bottom, each with the
// entry's icon. ".." is left out; an entry whose folder is a volume entry of `locations` is
// that volume's drive row, so a listed volume stands for its free space and never for its
// files. Other entries of `locations` (a home folder on its own volume) are folders.
std::vector<EraseList::NewRow> ListSelectionRows(const QListWidget* list, const std::string& folder,
                                                 const std::vector<Location>& locations);

// Puts `folder` at the front of the recent folders (moving it there if listed), keeping at
// most `limit`. Volume roots and folders on slow volumes (by the volume entries of
// `locations`) are never remembered (true when the list changed).
bool RememberFolder(std::vector<std::string>& recent, const std::string& folder,
                    const std::vector<Location>& locations, std::size_t limit = kRecentFolderLimit);

}  // namespace tolvane
