// Drag and drop done for real: a private X server (xvfb-run), the xcb platform, and the mouse
// driven by xdotool through Qt's own drag loop. The drags run in a child program
// (real_drag_app); `timeout` ends it, its server and xdotool as one process group if it hangs.
#include <gtest/gtest.h>

#include <string>

#include "TempDir.h"

#ifndef TOLVANE_REAL_DRAG_APP
#error "TOLVANE_REAL_DRAG_APP must name the drag program"
#endif

namespace tolvane {
namespace {

// The program drags two selected files from the side list onto the erase list, and then
// both rows out of the erase list onto the side list, and says what each drag did.
TEST(RealDragTest, XdotoolDragsFilesOntoTheEraseListAndRowsOutOfIt) {
    for (const std::string program : {"xvfb-run", "Xvfb", "xdotool", "timeout"}) {
        if (test::RunCommand("command -v " + program) != 0) {
            GTEST_SKIP() << "Xvfb or xdotool is missing (scripts/setup.sh installs both)";
        }
    }
    test::TempDir temp;
    std::string output;
    const int status = test::RunCommand(
        "timeout -k 10 90 xvfb-run -a -s '-screen 0 1024x768x24 -nolisten tcp' "
        // The X libraries keep allocations to their end; a leak report of theirs under the
        // sanitizers would end the program before its report reaches us.
        "env QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0 '" TOLVANE_REAL_DRAG_APP "' '" +
            temp.Path() + "' </dev/null",
        &output);
    ASSERT_NE(status, 124) << "the drag program hung\n" << output;
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("dragged in: a.txt b.txt"), std::string::npos) << output;
    EXPECT_NE(output.find("dragged out: 0 rows left"), std::string::npos) << output;
}

}  // namespace
}  // namespace tolvane
