#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <vector>

#include "items/FileItemList.h"

class QAbstractItemView;
class QDropEvent;
class QMimeData;

namespace tolvane {

// Takes drops of files on one pane control. Registered on a control it answers the drags
// that pass over it with its drop effect and receives their drops; Revoke (or destruction)
// gives the control back.
//
// Two kinds of drag reach it:
// - a drag this program runs (its data is what Context::ownDrag names): answered with the
//   drop effect, which the controller sets to none on the control the drag started in; a
//   drop emits OwnDragDropped, and the window adds what the drag carries by its own means;
// - any other drag, from another program: taken only by a target made for them
//   (Sources::Any), only when it offers Copy and names at least one local file, and then
//   always answered with Copy (a target that only reads the names must never let the
//   source think they were moved); a drop emits FilesDropped with exactly the files named.
// Data that names no file shows no drop effect. While Context::accepting says no (an erase
// run) nothing is accepted.
//
// Threads: the window's thread only.
class FileDropTarget : public QObject {
    Q_OBJECT

public:
    enum class Sources { OwnDragsOnly, Any };

    // What every target of one pane controller consults; empty functions mean "accepting"
    // and "no drag of ours is running".
    struct Context {
        std::function<bool()> accepting;
        std::function<const QMimeData*()> ownDrag;
    };

    FileDropTarget(Qt::DropAction effect, Sources sources, Context context,
                   QObject* parent = nullptr);
    ~FileDropTarget() override;

    // Starts taking drops on the control (on its viewport, where drags arrive). False for
    // no control or when already registered.
    bool Register(QAbstractItemView* control);
    void Revoke();
    QAbstractItemView* Control() const { return m_control; }

    // Qt::IgnoreAction stands for "no drop effect".
    void SetDropEffect(Qt::DropAction effect) { m_effect = effect; }
    Qt::DropAction DropEffect() const { return m_effect; }

    // Fills the dropped items from the data: from the DROPFILES block when it is there
    // (drive specs become drive rows), else from text/uri-list (local files only). Each
    // item has tag -1. False when the data holds neither or the block is damaged.
    bool ReadDroppedFiles(const QMimeData* data);
    const FileItemList& DroppedItems() const { return m_droppedItems; }
    bool Dropped() const { return m_dropped; }

signals:
    void OwnDragDropped();
    void FilesDropped(const std::vector<FileItem>& items);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The effect to answer a drag or drop with; Qt::IgnoreAction refuses it.
    Qt::DropAction Answer(const QDropEvent& event);
    bool IsOwnDrag(const QMimeData* data) const;
    bool OffersFiles(const QMimeData* data);
    void Drop(QDropEvent& event);

    Qt::DropAction m_effect;
    Sources m_sources;
    Context m_context;
    QPointer<QAbstractItemView> m_control;
    QPointer<QWidget> m_viewport;
    FileItemList m_droppedItems;
    bool m_dropped = false;
    // Whether the data of the drag now over the control names files, worked out once per
    // drag rather than at every move.
    const QMimeData* m_checkedData = nullptr;
    bool m_checkedOffersFiles = false;
};

}  // namespace tolvane
