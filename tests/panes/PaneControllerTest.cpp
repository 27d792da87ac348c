#include "panes/PaneController.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTreeWidget>

#include "PaneTestControls.h"
#include "items/DataMemoryReader.h"
#include "items/DataMemoryWriter.h"

namespace tolvane {
namespace {

using test::Controls;
using test::ShutDownAndWait;

// A stored 0 width is kept, only -1 is the default; a width the user set is saved.
TEST(PaneControllerTest, StartGivesTheEraseListItsColumnsAndTheEditTheFolder) {
    PaneState stored;
    stored.columnWidth = {-1, 0, -1};
    stored.folder[0] = "/home/me/a long folder name/";
    Data::MemoryWriter records[3];
    SavePaneState(records[0], stored);
    for (int round = 0; round < 2; ++round) {
        Controls controls;
        PaneController controller;
        controls.Configure(controller);
        Data::MemoryReader reader(records[round]);
        controller.LoadPaneState(reader);
        ASSERT_TRUE(controller.Start());

        QTreeWidget& list = *controls.eraseList;
        ASSERT_EQ(list.columnCount(), 4);
        const char* names[] = {"name", "size", "path", "sz"};
        for (int column = 0; column < 4; ++column) {
            EXPECT_EQ(list.headerItem()->text(column), names[column]);
        }
        EXPECT_EQ(list.columnWidth(0), 150);
        EXPECT_EQ(list.columnWidth(1), 0);
        EXPECT_EQ(list.columnWidth(2), round == 0 ? 225 : 410);
        EXPECT_TRUE(list.isColumnHidden(3));
        EXPECT_EQ(controls.path->text(), "/home/me/a long folder name/");
        EXPECT_EQ(controls.path->cursorPosition(), controls.path->text().size());
        list.setColumnWidth(2, 410);
        controller.SavePaneState(records[round + 1]);
        ShutDownAndWait(controller);
    }
}

TEST(PaneControllerTest, FocusedSideFollowsTheControlWithTheFocus) {
    Controls controls;
    PaneController controller;
    controls.Configure(controller);
    controls.window.show();
    controls.window.activateWindow();
    const std::pair<QWidget*, int> cases[] = {
        {controls.list, 1}, {controls.eraseList, 2}, {controls.location, 4}, {controls.path, 0}};
    for (const auto& [control, side] : cases) {
        control->setFocus();
        QCoreApplication::processEvents();
        EXPECT_EQ(controller.FocusedSide(), side) << control->metaObject()->className();
    }
}

}  // namespace
}  // namespace tolvane
