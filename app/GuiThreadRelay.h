#pragma once

#include <cstdint>

#include "engine/NotifyTarget.h"
#include "platform/GuiCallGate.h"

namespace tolvane {

// Hands an erase worker's notifications to `receiver` on the GUI thread through a
// GuiCallGate and waits until they are handled, so a failed path's text stays valid. Once
// closed, the notifications are dropped (Send answers 0) and the worker no longer waits for
// this thread: a front end going away under a run closes the relay, stops the run and joins
// its worker without spinning an event loop. No lock is held across the call.
//
// Threads: construct, Close and destroy on the GUI thread; Send on the worker.
class GuiThreadRelay : public NotifyTarget {
public:
    explicit GuiThreadRelay(NotifyTarget& receiver) : m_receiver(receiver) {}

    std::intptr_t Send(std::uint32_t message, std::uintptr_t code, std::intptr_t value) override;
    void Close() { m_gate.Close(); }

private:
    NotifyTarget& m_receiver;
    GuiCallGate m_gate;
};

}  // namespace tolvane
