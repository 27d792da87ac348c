#pragma once

#include <QPersistentModelIndex>
#include <QTreeWidget>

namespace tolvane {

// A tree or report list that reports where a drag of its items begins instead of running
// Qt's own item drag, and remembers which item the button went down on: by the time the
// pointer has moved past the drag distance it may be over a neighbour, and the drag is of
// the item that was pressed. Drags must be enabled on it (setDragEnabled).
//
// Threads: the window's thread only.
class DragTreeWidget : public QTreeWidget {
    Q_OBJECT

public:
    explicit DragTreeWidget(QWidget* parent = nullptr) : QTreeWidget(parent) {}

    // The item of the last press of the left button; null when it was not on an item or the
    // item has gone since.
    QTreeWidgetItem* PressedItem() const;

signals:
    // The pointer moved past the drag distance with the button down on an item.
    void BeginDrag();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    // An empty list with the keyboard focus shows the focus all the same.
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QPersistentModelIndex m_pressed;
};

}  // namespace tolvane
