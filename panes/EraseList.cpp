#include "panes/EraseList.h"

#include <fcntl.h>

#include <QBrush>
#include <QColor>
#include <QListWidget>
#include <algorithm>
#include <charconv>
#include <utility>

#include "engine/FormatSize.h"
#include "panes/TreePaths.h"
#include "platform/Directory.h"

namespace tolvane {
namespace {

enum Column { kName = 0, kSize = 1, kPath = 2, kBytes = 3 };

// Roles of the row data beside the shown text.
constexpr int kRawRole = kRawNameRole;         // raw name (column 0) and folder (column 2)
constexpr int kFailedRole = Qt::UserRole + 1;  // column 0: the row could not be erased
constexpr int kReasonRole = Qt::UserRole + 2;  // column 0: why, as the run said

// What a row's tooltip shows: the whole path (the columns may cut it), or for a row that
// could not be erased, why.
void SetRowTip(QTreeWidgetItem& item, const QString& text) {
    for (int column = 0; column < item.columnCount(); ++column) {
        item.setToolTip(column, text);
    }
}

QByteArray Bytes(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromBytes(const QVariant& value) {
    const QByteArray bytes = value.toByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// A row's name and folder as one text; neither can hold a NUL byte.
std::string Key(const std::string& name, const std::string& folder) {
    std::string key = name;
    key += '\0';
    key += folder;
    return key;
}

// A row made by this list keeps its name and folder as plain strings too: a run of many rows
// reads them for every row when it starts and as its rows leave, and the raw bytes in the
// item data cost a conversion each time.
class EraseRow : public QTreeWidgetItem {
public:
    static constexpr int kType = QTreeWidgetItem::UserType + 1;

    EraseRow(std::string name, std::string folder)
        : QTreeWidgetItem(kType), name(std::move(name)), folder(std::move(folder)) {}

    static const EraseRow* Of(const QTreeWidgetItem& row) {
        return row.type() == kType ? static_cast<const EraseRow*>(&row) : nullptr;
    }

    const std::string name;
    const std::string folder;
};

std::string RowKey(const QTreeWidgetItem& row) {
    return Key(EraseList::RowName(row), EraseList::RowFolder(row));
}

// The item a listed path stands for: the folder of a volume entry is its drive row.
FileItem ItemForPath(const std::string& folder, const std::string& name,
                     const std::vector<Location>& locations) {
    const std::string asFolder = folder + name + "/";
    for (const Location& location : locations) {
        if (location.kind == LocationKind::Volume && location.path == asFolder) {
            if (std::optional<FileItem> drive = DriveItem(location.path)) {
                return *drive;
            }
        }
    }
    return EntryItem(folder, name);
}

}  // namespace

// Every change of the rows: the size worker learns of it before the rows change and is woken
// once they have, so its pass never misses an edit.
class EraseList::EditScope {
public:
    explicit EditScope(EraseList& list) : m_list(list) { m_list.m_sizes.Edited(); }
    ~EditScope() {
        if (m_list.m_wakeSizer) {
            m_list.m_wakeSizer();
        }
    }
    EditScope(const EditScope&) = delete;
    EditScope& operator=(const EditScope&) = delete;

private:
    EraseList& m_list;
};

EraseList::EraseList(SizePass& sizes, std::function<void()> wakeSizer)
    : m_sizes(sizes), m_wakeSizer(std::move(wakeSizer)) {}

void EraseList::SetControl(QTreeWidget* control) {
    m_control = control;
    m_rowsByKey.clear();
    m_firstUnsized = 0;
    for (int index = 0; index < RowCount(); ++index) {
        QTreeWidgetItem* row = m_control->topLevelItem(index);
        m_rowsByKey.emplace(RowKey(*row), row);
    }
}

int EraseList::RowCount() const {
    return m_control ? m_control->topLevelItemCount() : 0;
}

std::string EraseList::RowName(const QTreeWidgetItem& row) {
    const EraseRow* made = EraseRow::Of(row);
    return made ? made->name : FromBytes(row.data(kName, kRawRole));
}

std::string EraseList::RowFolder(const QTreeWidgetItem& row) {
    const EraseRow* made = EraseRow::Of(row);
    return made ? made->folder : FromBytes(row.data(kPath, kRawRole));
}

bool EraseList::IsListed(const std::string& name, const std::string& folder) const {
    return name == ".." || FindRow(name, folder) != nullptr;
}

QTreeWidgetItem* EraseList::FindRow(const std::string& name, const std::string& folder) const {
    if (!m_control) {
        return nullptr;
    }
    const auto found = m_rowsByKey.find(Key(name, folder));
    return found == m_rowsByKey.end() ? nullptr : found->second;
}

QTreeWidgetItem* EraseList::MakeRow(const NewRow& row) const {
    const FileItem& item = row.item;
    auto* made = new EraseRow(item.name, item.folder);
    made->setText(kName,
                  QString::fromUtf8(item.name.data(), static_cast<qsizetype>(item.name.size())));
    made->setData(kName, kRawRole, Bytes(item.name));
    made->setIcon(kName, row.icon);
    made->setText(kPath, item.IsDriveRow()
                             ? QString::fromUtf8(kFreeSpaceText.data(),
                                                 static_cast<qsizetype>(kFreeSpaceText.size()))
                             : QString::fromUtf8(item.folder.data(),
                                                 static_cast<qsizetype>(item.folder.size())));
    made->setData(kPath, kRawRole, Bytes(item.folder));
    SetRowTip(*made, RowPathText(*made));
    return made;
}

QString EraseList::RowPathText(const QTreeWidgetItem& row) {
    const std::string folder = RowFolder(row);
    const std::string name = RowName(row);
    return folder.empty() ? QStringLiteral("Free space on %1").arg(DisplayText(name))
                          : DisplayText(folder + name);
}

QString EraseList::FailureReason(int row) const {
    return RowFailed(row) ? m_control->topLevelItem(row)->data(kName, kReasonRole).toString()
                          : QString();
}

int EraseList::AddRows(const std::vector<NewRow>& rows) {
    if (!m_control || rows.empty()) {
        return 0;
    }
    EditScope edit(*this);
    QList<QTreeWidgetItem*> made;
    for (const NewRow& row : rows) {
        if (row.item.name.empty() || row.item.name == "..") {
            continue;
        }
        QTreeWidgetItem* newRow = MakeRow(row);
        if (!m_rowsByKey.emplace(Key(row.item.name, row.item.folder), newRow).second) {
            delete newRow;  // listed already, or earlier in `rows`
            continue;
        }
        made.append(newRow);
    }
    m_control->addTopLevelItems(made);
    return static_cast<int>(made.size());
}

void EraseList::RemoveRows(std::vector<int> rows) {
    if (!m_control || rows.empty()) {
        return;
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [&](int index) { return index < 0 || index >= RowCount(); }),
               rows.end());
    EditScope edit(*this);
    // Runs of neighbouring rows, from the last run up, so every removal leaves the positions
    // still to go valid.
    std::size_t end = rows.size();
    while (end > 0) {
        std::size_t begin = end - 1;
        while (begin > 0 && rows[begin - 1] == rows[begin] - 1) {
            --begin;
        }
        TakeRows(rows[begin], static_cast<int>(end - begin));
        end = begin;
    }
}

void EraseList::TakeRows(int first, int count) {
    for (int index = first; index < first + count; ++index) {
        const QTreeWidgetItem& row = *m_control->topLevelItem(index);
        const std::string name = RowName(row);
        const std::string folder = RowFolder(row);
        m_rowsByKey.erase(Key(name, folder));
        if (m_counting.active && name == m_counting.name && folder == m_counting.folder) {
            // Only this row's count stops; a count of any other row goes on.
            m_sizes.StopCount(m_counting.countId);
            m_counting.active = false;
        }
    }
    // The run in one removal, which deletes its rows: the view and the selection then catch up
    // once, not once a row, when a batch of many files ends together.
    m_control->model()->removeRows(first, count);
    if (first < m_firstUnsized) {
        m_firstUnsized = std::max(first, m_firstUnsized - count);
    }
}

void EraseList::RemoveLeadingRows(int count) {
    std::vector<int> rows;
    for (int index = std::min(count, RowCount()) - 1; index >= 0; --index) {
        rows.push_back(index);
    }
    RemoveRows(std::move(rows));
}

std::vector<int> EraseList::SelectedRows() const {
    std::vector<int> rows;
    for (int index = 0; index < RowCount(); ++index) {
        if (m_control->topLevelItem(index)->isSelected()) {
            rows.push_back(index);
        }
    }
    return rows;
}

std::vector<std::string> EraseList::CollectPaths() const {
    std::vector<std::string> paths;
    paths.reserve(static_cast<std::size_t>(RowCount()));
    for (int index = 0; index < RowCount(); ++index) {
        const QTreeWidgetItem& row = *m_control->topLevelItem(index);
        paths.push_back(RowFolder(row) + RowName(row));
    }
    return paths;
}

std::vector<FileItem> EraseList::Collect() const {
    std::vector<FileItem> items;
    for (int index = 0; index < RowCount(); ++index) {
        const QTreeWidgetItem& row = *m_control->topLevelItem(index);
        FileItem item;
        item.folder = RowFolder(row);
        item.name = RowName(row);
        if (item.IsDriveRow()) {
            item.findData.name = item.name;  // as DriveItem: the drive spec throughout
        } else if (!StatEntry(AT_FDCWD, item.FullPath(), item.findData)) {
            item.findData.name = item.name;  // gone: the run reports it as not found
        }
        const QByteArray bytes = row.text(kBytes).toLatin1();
        std::from_chars(bytes.constData(), bytes.constData() + bytes.size(), item.size);
        items.push_back(std::move(item));
    }
    return items;
}

void EraseList::MarkRowFailed(int row, const QString& reason) {
    if (row < 0 || row >= RowCount()) {
        return;
    }
    QTreeWidgetItem& item = *m_control->topLevelItem(row);
    item.setData(kName, kFailedRole, true);
    item.setData(kName, kReasonRole, reason);
    for (int column = 0; column < m_control->columnCount(); ++column) {
        item.setForeground(column, QBrush(QColor(Qt::red)));
    }
    SetRowTip(item, reason);  // its lines name the paths that stayed
}

void EraseList::ClearFailedMarks() {
    for (int index = 0; index < RowCount(); ++index) {
        QTreeWidgetItem& item = *m_control->topLevelItem(index);
        if (!item.data(kName, kFailedRole).toBool()) {
            continue;
        }
        item.setData(kName, kFailedRole, QVariant());
        item.setData(kName, kReasonRole, QVariant());
        for (int column = 0; column < m_control->columnCount(); ++column) {
            item.setData(column, Qt::ForegroundRole, QVariant());
        }
        SetRowTip(item, RowPathText(item));
    }
}

bool EraseList::RowFailed(int row) const {
    return row >= 0 && row < RowCount() &&
           m_control->topLevelItem(row)->data(kName, kFailedRole).toBool();
}

std::optional<SizeJob> EraseList::TakeUnsizedRow(std::size_t from) {
    m_firstUnsized = std::min(m_firstUnsized, RowCount());
    int index = std::max(static_cast<int>(std::min<std::size_t>(from, RowCount())), m_firstUnsized);
    for (; index < RowCount(); ++index) {
        const QTreeWidgetItem& row = *m_control->topLevelItem(index);
        if (!row.text(kSize).isEmpty()) {
            if (index == m_firstUnsized) {
                ++m_firstUnsized;
            }
            continue;
        }
        SizeJob job{RowName(row), RowFolder(row), static_cast<std::size_t>(index),
                    m_sizes.BeginCount()};
        m_counting = {job.name, job.folder, job.countId, true};
        return job;
    }
    return std::nullopt;
}

void EraseList::StoreSize(const SizeJob& job, const FolderSizer::Result& size) {
    if (m_counting.active && m_counting.countId == job.countId) {
        m_counting.active = false;
    }
    if (m_sizes.CountStopped(job.countId)) {
        return;  // a partial total: the row it belonged to went
    }
    QTreeWidgetItem* row = FindRow(job.name, job.folder);
    if (row == nullptr || !row->text(kSize).isEmpty()) {
        return;
    }
    const std::string shown = size.unreadable ? std::string(kUnreadableSizeText)
                                              : FormatSize(static_cast<std::int64_t>(size.bytes));
    row->setText(kSize, QString::fromStdString(shown));
    // The whole 64-bit count: the run's progress total and the summaries read it back.
    row->setText(kBytes, QString::number(size.bytes));
}

FileItem EntryItem(const std::string& folder, const std::string& name) {
    FileItem item;
    item.folder = folder;
    item.name = name;
    if (!StatEntry(AT_FDCWD, folder + name, item.findData)) {
        item.findData.name = name;  // gone meanwhile: the run will say it found nothing
    }
    return item;
}

std::vector<EraseList::NewRow> ListSelectionRows(const QListWidget* list, const std::string& folder,
                                                 const std::vector<Location>& locations) {
    std::vector<EraseList::NewRow> rows;
    if (list == nullptr || folder.empty()) {
        return rows;
    }
    for (int index = 0; index < list->count(); ++index) {
        const QListWidgetItem& entry = *list->item(index);
        if (!entry.isSelected()) {
            continue;
        }
        const QVariant raw = entry.data(kRawNameRole);
        const std::string name = raw.typeId() == QMetaType::QByteArray
                                     ? FromBytes(raw)
                                     : entry.text().toUtf8().toStdString();
        if (name.empty() || name == "..") {
            continue;
        }
        rows.push_back({ItemForPath(folder, name, locations), entry.icon()});
    }
    return rows;
}

bool RememberFolder(std::vector<std::string>& recent, const std::string& folder,
                    const std::vector<Location>& locations, std::size_t limit) {
    if (folder.size() <= 1 || folder.front() != '/') {
        return false;  // no folder, or the system root
    }
    for (const Location& location : locations) {
        if (location.kind == LocationKind::Volume && location.path == folder) {
            return false;  // a volume root is in the location list already
        }
    }
    // A slow volume (network, removable) may be gone or hang the next time it is offered.
    std::optional<TreePathMatch> match = MatchTreePath(locations, folder);
    if (match && locations[match->rootIndex].slow) {
        return false;
    }
    std::erase(recent, folder);
    recent.insert(recent.begin(), folder);
    if (recent.size() > limit) {
        recent.resize(limit);
    }
    return true;
}

}  // namespace tolvane
