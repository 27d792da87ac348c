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

// The same drags on Wayland, in Weston (its X11 backend on the private X server, so xdotool
// moves the compositor's pointer; the kiosk shell puts the window at the output's corner, so
// window and screen coordinates agree). The compositor takes the keyboard focus for a drag:
// the drop must add what the drag carried without asking where the focus is.
TEST(RealDragTest, UnderWaylandTheDropAddsWhatWasDragged) {
    for (const std::string program : {"xvfb-run", "Xvfb", "xdotool", "timeout", "weston"}) {
        if (test::RunCommand("command -v " + program + " >/dev/null") != 0) {
            GTEST_SKIP() << program << " is missing (weston: apt-get install weston)";
        }
    }
    test::TempDir temp;
    // $1 the socket's name, $2 the program, $3 its folder.
    constexpr char kScript[] = R"(weston --backend=x11-backend.so --shell=kiosk-shell.so \
    --width=1024 --height=768 --idle-time=0 --socket="$1" >"$3/weston.log" 2>&1 &
w=$!
for i in $(seq 1 120); do [ -S "$XDG_RUNTIME_DIR/$1" ] && break; sleep 0.5; done
sleep 2
WAYLAND_DISPLAY="$1" QT_QPA_PLATFORM=wayland ASAN_OPTIONS=detect_leaks=0 "$2" "$3"
s=$?
kill $w
exit $s
)";
    ASSERT_TRUE(test::WriteFile(temp / "drag.sh", kScript));
    const std::string socket = "tolvane-drag-" + std::to_string(::getpid());
    std::string output;
    const int status = test::RunCommand(
        "timeout -k 10 120 xvfb-run -a -s '-screen 0 1024x768x24 -nolisten tcp' sh '" +
            (temp / "drag.sh") + "' " + socket + " '" TOLVANE_REAL_DRAG_APP "' '" + temp.Path() +
            "' </dev/null 2>&1",
        &output);
    if (output.find("platform plugin \"wayland\"") != std::string::npos) {
        GTEST_SKIP() << "Qt's Wayland platform is missing (apt-get install qt6-wayland)";
    }
    ASSERT_NE(status, 124) << "the drag program hung\n" << output;
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("dragged in: a.txt b.txt"), std::string::npos) << output;
    EXPECT_NE(output.find("dragged out: 0 rows left"), std::string::npos) << output;
}

}  // namespace
}  // namespace tolvane
