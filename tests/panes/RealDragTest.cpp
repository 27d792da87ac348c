// Drag and drop done for real: a private X server (xvfb-run), the xcb platform, and the mouse
// driven by xdotool through Qt's own drag loop. The drags run in a child program
// (real_drag_app); `timeout` ends it, its server and xdotool as one process group if it hangs.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "TempDir.h"

#ifndef TOLVANE_REAL_DRAG_APP
#error "TOLVANE_REAL_DRAG_APP must name the drag program"
#endif

namespace tolvane {
namespace {

// Both drags ran and said what they did.
void ExpectBothDrags(int status, const std::string& output) {
    ASSERT_NE(status, 124) << "the drag program hung\n" << output;
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("dragged in: a.txt b.txt"), std::string::npos) << output;
    EXPECT_NE(output.find("dragged out: 0 rows left"), std::string::npos) << output;
}

// The program drags two selected files from the side list onto the erase list, and then
// both rows out of the erase list onto the side list, and says what each drag did.
TEST(RealDragTest, XdotoolDragsFilesOntoTheEraseListAndRowsOutOfIt) {
    if (const std::string missing =
            test::MissingProgram({"xvfb-run", "Xvfb", "xdotool", "timeout"});
        !missing.empty()) {
        GTEST_SKIP() << missing << " is missing (scripts/setup.sh installs it)";
    }
    test::TempDir temp;
    std::string output;
    const int status =
        test::RunOnPrivateXServer(90, "'" TOLVANE_REAL_DRAG_APP "' '" + temp.Path() + "'", output);
    ExpectBothDrags(status, output);
}

// The same drags on Wayland, in Weston (its X11 backend on the private X server, so xdotool
// moves the compositor's pointer; the kiosk shell puts the window at the output's corner, so
// window and screen coordinates agree). The compositor takes the keyboard focus for a drag:
// the drop must add what the drag carried without asking where the focus is.
TEST(RealDragTest, UnderWaylandTheDropAddsWhatWasDragged) {
    if (const std::string missing =
            test::MissingProgram({"xvfb-run", "Xvfb", "xdotool", "timeout", "weston"});
        !missing.empty()) {
        GTEST_SKIP() << missing << " is missing (weston: apt-get install weston)";
    }
    test::TempDir temp;
    // $1 the socket's name, $2 the program, $3 its folder.
    constexpr char kScript[] = R"(weston --backend=x11-backend.so --shell=kiosk-shell.so \
    --width=1024 --height=768 --idle-time=0 --socket="$1" >"$3/weston.log" 2>&1 &
w=$!
for i in $(seq 1 120); do [ -S "$XDG_RUNTIME_DIR/$1" ] && break; sleep 0.5; done
sleep 2
WAYLAND_DISPLAY="$1" QT_QPA_PLATFORM=wayland "$2" "$3"
s=$?
kill $w
exit $s
)";
    ASSERT_TRUE(test::WriteFile(temp / "drag.sh", kScript));
    const std::string socket = "tolvane-drag-" + std::to_string(::getpid());
    std::string output;
    const int status =
        test::RunOnPrivateXServer(120,
                                  "sh '" + (temp / "drag.sh") + "' " + socket +
                                      " '" TOLVANE_REAL_DRAG_APP "' '" + temp.Path() + "'",
                                  output);
    if (output.find("platform plugin \"wayland\"") != std::string::npos) {
        GTEST_SKIP() << "Qt's Wayland platform is missing (apt-get install qt6-wayland)";
    }
    ExpectBothDrags(status, output);
}

}  // namespace
}  // namespace tolvane
