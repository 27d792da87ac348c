#pragma once

#include <QAbstractItemView>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "items/DropFilesBlock.h"
#include "items/FileUriList.h"
#include "panes/PaneController.h"

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

// Plays the platform's drag loop: the drag's data goes over `target` and is dropped there
// (no target: released where nothing takes it), and the drag ends with what was answered.
struct DropRunner {
    struct State {
        QAbstractItemView* target = nullptr;
        std::unique_ptr<QMimeData> data;
        QTreeWidgetItem* currentAtDrag = nullptr;
        int runs = 0;
        // Runs while the pointer is on its way, before the drop.
        std::function<void()> onTheWay;
    };
    std::shared_ptr<State> state = std::make_shared<State>();

    PaneController::DragRunner Runner() const {
        return [state = state](QWidget* source, QMimeData* data) {
            ++state->runs;
            state->data.reset(data);
            if (auto* tree = qobject_cast<QTreeWidget*>(source)) {
                state->currentAtDrag = tree->currentItem();
            }
            if (state->onTheWay) {
                state->onTheWay();
            }
            if (state->target == nullptr) {
                return Qt::IgnoreAction;
            }
            // This program's drags offer Copy only.
            return DragAndDrop(*state->target, data, Qt::CopyAction).dropAction;
        };
    }
    // The names the last drag carried in its block, and in its text/uri-list.
    std::vector<std::string> BlockNames() const {
        std::vector<std::string> names;
        const QByteArray block = state->data->data(kDropFilesMimeType);
        EXPECT_TRUE(ReadDropFilesBlock(block.toStdString(), names));
        return names;
    }
    std::vector<std::string> UriPaths() const {
        return LocalPathsOfUriList(state->data->data("text/uri-list").toStdString());
    }
};

}  // namespace tolvane::test
