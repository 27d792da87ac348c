#pragma once

#include <QAbstractItemView>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

namespace tolvane::test {

// What a control answered to a drag that entered it and then dropped.
struct DropOutcome {
    bool entered = false;
    Qt::DropAction enterAction = Qt::IgnoreAction;
    bool dropped = false;
    Qt::DropAction dropAction = Qt::IgnoreAction;
};

// Drags `data` over the control and drops it, as the platform delivers a drag: the actions
// the source offers, and the proposed one from the keys held (Shift proposes Move, as file
// managers that move by default do).
inline DropOutcome DragAndDrop(QAbstractItemView& control, const QMimeData* data,
                               Qt::DropActions offered,
                               Qt::KeyboardModifiers keys = Qt::NoModifier) {
    DropOutcome outcome;
    const QPoint point = control.viewport()->rect().center();
    QDragEnterEvent enter(point, offered, data, Qt::LeftButton, keys);
    QApplication::sendEvent(control.viewport(), &enter);
    outcome.entered = enter.isAccepted();
    outcome.enterAction = enter.isAccepted() ? enter.dropAction() : Qt::IgnoreAction;
    QDropEvent drop(point, offered, data, Qt::NoButton, keys);
    QApplication::sendEvent(control.viewport(), &drop);
    outcome.dropped = drop.isAccepted();
    outcome.dropAction = drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
    return outcome;
}

}  // namespace tolvane::test
