#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWidget>
#include <initializer_list>

#include "LoadFolder.h"
#include "QtTestEnvironment.h"
#include "panes/PaneController.h"

namespace tolvane::test {

// The controls of one window side, as the main window hands them over.
struct Controls {
    QWidget window;
    QListWidget* list = new QListWidget(&window);
    QTreeWidget* eraseList = new QTreeWidget(&window);
    QLineEdit* path = new QLineEdit(&window);
    QComboBox* location = new QComboBox(&window);

    Controls() {
        auto* layout = new QVBoxLayout(&window);
        for (QWidget* control : std::initializer_list<QWidget*>{location, path, list, eraseList}) {
            layout->addWidget(control);
        }
    }
    void Configure(PaneController& controller) const {
        controller.SetListViews(list, eraseList, nullptr, false);
        controller.AttachPathEdits(path, nullptr);
        controller.AttachLocationBoxes(location, nullptr);
    }
};

// The full paths of the erase list's rows, in order.
inline std::vector<std::string> ErasePaths(const PaneController& controller) {
    std::vector<std::string> paths;
    for (const FileItem& item : controller.CollectEraseList()) {
        paths.push_back(item.FullPath());
    }
    return paths;
}

// Shuts the controller down and lets the event loop run until PanesClosed arrives.
inline void ShutDownAndWait(PaneController& controller) {
    QSignalSpy closed(&controller, &PaneController::PanesClosed);
    ASSERT_TRUE(controller.Shutdown());
    ASSERT_TRUE(Received(closed));
}

}  // namespace tolvane::test
