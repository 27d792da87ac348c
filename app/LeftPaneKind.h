#pragma once

#include <cstdint>

namespace tolvane {

// What the left pane of the main window shows. The values are stored ("LeftType").
enum class LeftPaneKind : std::int32_t { Tree = 0, BigIcons = 1, List = 2 };

// A stored value outside 0..2 (hand-edited, or from a newer version) is shown and checked
// as a list, the plainest kind.
inline LeftPaneKind LeftPaneKindFromStored(std::int32_t value) {
    return value >= 0 && value <= 2 ? static_cast<LeftPaneKind>(value) : LeftPaneKind::List;
}

}  // namespace tolvane
