#pragma once

#include <gtest/gtest.h>

#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/CMainFrame.h"
#include "panes/PaneController.h"

namespace tolvane::test {

// The settings file of the test environment.
inline std::string StoreFile() {
    return std::string(std::getenv("XDG_CONFIG_HOME")) + "/Miravelt/Tolvane.conf";
}

// A test that starts without a settings file and leaves none behind.
class WithoutSettingsFile : public testing::Test {
protected:
    void SetUp() override { std::filesystem::remove(StoreFile()); }
    void TearDown() override { std::filesystem::remove(StoreFile()); }
};

// A pane controller that counts what the window routes to it, and how much of it came after
// its shutdown (which must be nothing).
class RecordingController : public PaneController {
public:
    using PaneController::PaneController;
    void RefreshLocations() override { Count(); }
    void OnLocationSelected(int) override { Count(); }
    void OpenSelection() override { Count(); }
    void OnTreeSelectionChanged(QTreeWidgetItem*) override { Count(); }
    void AddFocusedSelection() override { Count(); }
    void RemoveSelectedRows() override { Count(); }

    int routed = 0;
    int routedAfterShutdown = 0;

private:
    void Count() {
        ++routed;
        routedAfterShutdown += ShuttingDown() ? 1 : 0;
    }
};

// Every visible descendant of `root` whose rectangle is empty or leaves its parent's; empty
// when the layout is sound.
std::string LayoutFaults(const QWidget& root);

}  // namespace tolvane::test
