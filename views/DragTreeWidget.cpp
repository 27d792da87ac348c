#include "views/DragTreeWidget.h"

#include <QMouseEvent>

namespace tolvane {

QTreeWidgetItem* DragTreeWidget::PressedItem() const {
    return m_pressed.isValid() ? itemFromIndex(m_pressed) : nullptr;
}

void DragTreeWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        // A persistent index: the listing may rebuild the tree between press and drag.
        m_pressed = indexAt(event->position().toPoint());
    }
    QTreeWidget::mousePressEvent(event);
}

void DragTreeWidget::startDrag(Qt::DropActions /*supportedActions*/) {
    emit BeginDrag();
}

}  // namespace tolvane
