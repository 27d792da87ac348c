#pragma once

#include <array>
#include <cstdint>

#include "app/LeftPaneKind.h"

namespace Data {
class MemoryWriter;
}

namespace tolvane {

// The window's restored rectangle in screen coordinates, right and bottom exclusive. A
// bottom of -1 means no placement was ever stored.
struct WindowRect {
    std::int32_t left = -1;
    std::int32_t top = -1;
    std::int32_t right = -1;
    std::int32_t bottom = -1;

    bool Stored() const { return bottom != -1; }
};

// Every setting of the main window, with the defaults a new user gets.
struct MainSettings {
    std::int32_t passes = 3;
    LeftPaneKind leftType = LeftPaneKind::Tree;
    bool useRightWindow = true;
    std::int32_t leftWidth = 288;
    bool showAdvertisement = true;
    bool desktopShortcut = true;
    bool contextMenu = false;
    bool zoomed = false;
    WindowRect windowRect;
    // Recycle bin, temporary files, Internet cache, history, cookies, recent documents:
    // carried from run to run, not used by the window.
    std::array<bool, 6> autoTargets{true, true, false, false, false, false};
};

// Reads the whole table from the settings store (absent or unusable values give the
// defaults above), and the pane-state block "RizUze" into paneState. The pass count is read
// as a run reads it (ReadPassesSetting); a "LeftType" outside 0..2 reads as List.
// Threads: the window's thread.
MainSettings LoadSettings(Data::MemoryWriter& paneState);

// Writes the whole table, flags as 0 or 1, and paneState's bytes as "RizUze". Best effort,
// like every write of the store.
void SaveSettings(const MainSettings& settings, const Data::MemoryWriter& paneState);

}  // namespace tolvane
