#pragma once

#include <string>

#include "items/DataMemoryReader.h"
#include "items/DataMemoryWriter.h"
#include "items/PaneState.h"
#include "panes/PaneController.h"

namespace tolvane::test {

// Loads a saved state whose side 1 shows `folder`, as the window does when it opens.
inline void LoadFolder(PaneController& controller, const std::string& folder) {
    PaneState state;
    state.folder[0] = folder;
    Data::MemoryWriter record;
    SavePaneState(record, state);
    Data::MemoryReader reader(record);
    controller.LoadPaneState(reader);
}

}  // namespace tolvane::test
