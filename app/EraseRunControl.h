#pragma once

namespace tolvane {

// What the main window needs to know of an erase run while it closes: whether one is going,
// and how to ask it to stop. The run tells the window when it has ended
// (CMainFrame::OnEraseRunEnded).
class EraseRunControl {
public:
    virtual ~EraseRunControl() = default;
    virtual bool Running() const = 0;
    // The user agreed to stop: the run ends at its next safe point (a free-space wipe
    // releases its fill files first), then reports its end.
    virtual void RequestStop() = 0;
};

}  // namespace tolvane
