#include "panes/FileDropTarget.h"

#include <QAbstractItemView>
#include <QDropEvent>
#include <QMimeData>

#include "items/DropFilesBlock.h"
#include "items/DroppedItem.h"
#include "items/FileUriList.h"
#include "panes/FileDataSource.h"
#include "platform/Volumes.h"

namespace tolvane {
namespace {

std::vector<std::string> BlockNames(const QMimeData* data, bool& readable) {
    const QByteArray block = data->data(kDropFilesMimeType);
    std::vector<std::string> names;
    readable = ReadDropFilesBlock(std::string_view(block.constData(), block.size()), names);
    return names;
}

std::vector<std::string> UriListPaths(const QMimeData* data) {
    const QByteArray list = data->data("text/uri-list");
    return LocalPathsOfUriList(std::string_view(list.constData(), list.size()));
}

}  // namespace

FileDropTarget::FileDropTarget(Qt::DropAction effect, Sources sources, Context context,
                               QObject* parent)
    : QObject(parent), m_effect(effect), m_sources(sources), m_context(std::move(context)) {}

FileDropTarget::~FileDropTarget() {
    Revoke();
}

bool FileDropTarget::Register(QAbstractItemView* control) {
    if (control == nullptr || m_control) {
        return false;
    }
    m_control = control;
    m_viewport = control->viewport();
    m_viewport->installEventFilter(this);
    m_viewport->setAcceptDrops(true);
    return true;
}

void FileDropTarget::Revoke() {
    if (m_viewport) {
        m_viewport->removeEventFilter(this);
        m_viewport->setAcceptDrops(false);
    }
    m_viewport = nullptr;
    m_control = nullptr;
}

bool FileDropTarget::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_viewport) {
        return false;
    }
    switch (event->type()) {
        case QEvent::DragEnter:
            m_checkedData = nullptr;  // a new drag: its data is looked at afresh
            [[fallthrough]];
        case QEvent::DragMove: {
            auto& move = static_cast<QDragMoveEvent&>(*event);
            if (Qt::DropAction effect = Answer(move); effect != Qt::IgnoreAction) {
                move.setDropAction(effect);
                move.accept();
            } else {
                move.ignore();
            }
            return true;  // the control's own item drops never see our drags
        }
        case QEvent::Drop:
            Drop(static_cast<QDropEvent&>(*event));
            return true;
        case QEvent::DragLeave:
            m_checkedData = nullptr;
            return false;
        default:
            return false;
    }
}

Qt::DropAction FileDropTarget::Answer(const QDropEvent& event) {
    if (m_context.accepting && !m_context.accepting()) {
        return Qt::IgnoreAction;
    }
    const QMimeData* data = event.mimeData();
    if (IsOwnDrag(data)) {
        return HasDropFilesBlock(data) ? m_effect : Qt::IgnoreAction;
    }
    if (m_sources != Sources::Any || !(event.possibleActions() & Qt::CopyAction)) {
        return Qt::IgnoreAction;
    }
    return OffersFiles(data) ? Qt::CopyAction : Qt::IgnoreAction;
}

bool FileDropTarget::IsOwnDrag(const QMimeData* data) const {
    return data != nullptr && m_context.ownDrag && m_context.ownDrag() == data;
}

bool FileDropTarget::OffersFiles(const QMimeData* data) {
    if (data == nullptr) {
        return false;
    }
    if (data != m_checkedData) {
        m_checkedData = data;
        if (HasDropFilesBlock(data)) {
            bool readable = false;
            m_checkedOffersFiles = !BlockNames(data, readable).empty();
        } else {
            m_checkedOffersFiles = HasUriList(data) && !UriListPaths(data).empty();
        }
    }
    return m_checkedOffersFiles;
}

void FileDropTarget::Drop(QDropEvent& event) {
    const Qt::DropAction effect = Answer(event);
    m_checkedData = nullptr;
    if (effect == Qt::IgnoreAction || !ReadDroppedFiles(event.mimeData())) {
        event.ignore();
        return;
    }
    m_dropped = true;
    event.setDropAction(effect);
    event.accept();
    if (IsOwnDrag(event.mimeData())) {
        emit OwnDragDropped();
    } else {
        emit FilesDropped(m_droppedItems.Items());
    }
}

bool FileDropTarget::ReadDroppedFiles(const QMimeData* data) {
    m_droppedItems.Clear();
    if (HasDropFilesBlock(data)) {
        bool readable = false;
        std::vector<std::string> names = BlockNames(data, readable);
        if (!readable) {
            return false;
        }
        const std::vector<MountEntry> mounts =
            names.empty() ? std::vector<MountEntry>{} : ReadMountTable();
        for (const std::string& name : names) {
            if (std::optional<FileItem> item = DroppedBlockItem(name, mounts)) {
                m_droppedItems.PushBack(*item);
            }
        }
        return true;
    }
    if (HasUriList(data)) {
        for (const std::string& path : UriListPaths(data)) {
            m_droppedItems.PushBack(DroppedFileItem(path));
        }
        return true;
    }
    return false;
}

}  // namespace tolvane
