#pragma once

#include <QListWidget>

namespace tolvane {

// A folder list that reports where a drag of its items begins instead of running Qt's own
// item drag: the pane controller decides what a drag carries and how it runs. Drags must be
// enabled on it (setDragEnabled), which also keeps a multiple selection when one of its
// items is pressed to drag them all.
//
// Threads: the window's thread only.
class DragListWidget : public QListWidget {
    Q_OBJECT

public:
    explicit DragListWidget(QWidget* parent = nullptr) : QListWidget(parent) {}

signals:
    // The pointer moved past the drag distance with the button down on an item.
    void BeginDrag();

protected:
    void startDrag(Qt::DropActions supportedActions) override;
};

}  // namespace tolvane
