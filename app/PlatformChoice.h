#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/DisplayProbe.h"

namespace tolvane {

// Which Qt platform the program can start on, settled before any QApplication exists: when
// none of the platforms Qt would try can start (its plugin is missing, or its display server
// is not there), Qt aborts the whole process, so the program must know beforehand and run in
// the terminal or say why the window cannot open.
//
// Qt tries, in order: the platforms QT_QPA_PLATFORM lists ("wayland;xcb"), else Wayland in
// a Wayland session (WAYLAND_DISPLAY set, or XDG_SESSION_TYPE=wayland) followed by xcb. A
// platform can start when its plugin is installed and, for xcb and Wayland, its server
// answers; offscreen, minimal and the like need no server.
struct PlatformFacts {
    std::string requested;        // QT_QPA_PLATFORM
    bool waylandSession = false;  // XDG_SESSION_TYPE=wayland
    DisplayStatus display;
    // Whether a platform plugin with this key (lower case: "xcb", "wayland") is installed.
    std::function<bool(std::string_view key)> hasPlugin;
};

struct PlatformChoice {
    enum class Outcome {
        kWindow,       // Qt can start: on `platform`, or on its own choice when that is empty
        kNoDisplay,    // neither DISPLAY nor WAYLAND_DISPLAY is set
        kUnavailable,  // a display is set, but no platform Qt would try can start: `reason`
    };
    Outcome outcome = Outcome::kNoDisplay;
    // For kWindow: the platform to give Qt, when one it would try first cannot start (so it
    // never tries it); empty when every platform it would try can start.
    std::string platform;
    // Why no window can open (kUnavailable), or what was missing on the way to `platform`
    // (kWindow): one line for standard error, empty when there is nothing to say.
    std::string reason;
};

PlatformChoice ChoosePlatform(const PlatformFacts& facts);

// The facts of this process: its environment, its display servers (probed, see
// ProbeDisplay) and the platform plugins in the folders Qt loads them from.
PlatformFacts CurrentPlatformFacts();

}  // namespace tolvane
