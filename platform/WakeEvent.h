#pragma once

#include "platform/UniqueFd.h"

namespace tolvane {

// A manual-reset event that poll() can wait for, made from an eventfd: Signal() makes Fd()
// readable until Reset(). Signalling a signalled event changes nothing.
//
// Threads: Signal() from any thread; Reset() by the thread that waits on Fd(). Valid() is
// false when no eventfd could be made (descriptor limit): then every operation does nothing.
class WakeEvent {
public:
    WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    bool Valid() const { return m_fd.Valid(); }
    int Fd() const { return m_fd.Get(); }
    void Signal() const;
    void Reset() const;
    // Without waiting: whether the event is signalled now.
    bool IsSignalled() const;

private:
    UniqueFd m_fd;
};

}  // namespace tolvane
