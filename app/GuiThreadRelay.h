#pragma once

#include <QObject>
#include <QPointer>
#include <cstdint>

#include "engine/NotifyTarget.h"

namespace tolvane {

class EraseRunner;

// Hands an erase worker's notifications to `receiver` on the GUI thread and waits until they
// are handled, so a failed path's text stays valid and the run may end while it is handled.
// No lock is held across the call. Once `context` is gone the messages are dropped (Qt
// releases the waiting worker when the context is destroyed before the call runs; the
// QPointer is checked on the GUI thread, where it is reliable).
class GuiThreadRelay : public NotifyTarget {
public:
    GuiThreadRelay(QObject* context, NotifyTarget* receiver)
        : m_alive(context), m_context(context), m_receiver(receiver) {}

    std::intptr_t Send(std::uint32_t message, std::uintptr_t code, std::intptr_t value) override;

private:
    QPointer<QObject> m_alive;  // read on the GUI thread only
    QObject* m_context;         // where the call is queued (see above)
    NotifyTarget* m_receiver;
};

// For a front end going away under a run: stops it, keeps the GUI thread handling the
// worker's relayed calls (they come to the still complete front end) until its end, so the
// worker never waits on something that is gone, and joins it.
void StopAndJoinOnGuiThread(EraseRunner& run);

}  // namespace tolvane
