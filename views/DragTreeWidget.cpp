#include "views/DragTreeWidget.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

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

void DragTreeWidget::paintEvent(QPaintEvent* event) {
    QTreeWidget::paintEvent(event);
    if (!hasFocus() || topLevelItemCount() > 0) {
        return;
    }
    QPainter painter(viewport());
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = viewport()->rect().adjusted(2, 2, -2, -2);
    option.backgroundColor = palette().color(QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

void DragTreeWidget::focusInEvent(QFocusEvent* event) {
    QTreeWidget::focusInEvent(event);
    viewport()->update();
}

void DragTreeWidget::focusOutEvent(QFocusEvent* event) {
    QTreeWidget::focusOutEvent(event);
    viewport()->update();
}

}  // namespace tolvane
