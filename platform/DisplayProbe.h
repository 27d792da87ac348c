#pragma once

#include <string>

namespace tolvane {

// Whether the display servers the environment names can be reached, decided by connecting
// to their sockets (and closing again at once), before any toolkit is started: Qt aborts the
// process when no display it tries can be used, and a DISPLAY left behind by an ended session
// (a terminal multiplexer, an old shell) is common.
//
// For each server:
//   unset:       its variable is not set (or empty);
//   reachable:   an X server (DISPLAY ":N" -> the socket /tmp/.X11-unix/XN, abstract or
//                not; "host:N" -> TCP port 6000 + N) or a Wayland compositor
//                (WAYLAND_DISPLAY, relative to XDG_RUNTIME_DIR unless absolute) accepted
//                a connection;
//   unreachable: set, but nothing answers.
// `value` is the variable's value, for a message.
//
// May block for a moment on a remote X display (at most a few seconds per address). Any
// thread; reads the environment only.
struct DisplayServer {
    enum class Access { kUnset, kReachable, kUnreachable };
    Access access = Access::kUnset;
    std::string value;
};
struct DisplayStatus {
    DisplayServer x11;      // DISPLAY
    DisplayServer wayland;  // WAYLAND_DISPLAY
};
DisplayStatus ProbeDisplay();

}  // namespace tolvane
