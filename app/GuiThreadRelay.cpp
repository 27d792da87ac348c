#include "app/GuiThreadRelay.h"

#include <QCoreApplication>

#include "engine/EraseRunner.h"

namespace tolvane {

std::intptr_t GuiThreadRelay::Send(std::uint32_t message, std::uintptr_t code,
                                   std::intptr_t value) {
    std::intptr_t result = 0;
    QMetaObject::invokeMethod(
        m_context,
        [&] {
            if (m_alive) {
                result = m_receiver->Send(message, code, value);
            }
        },
        Qt::BlockingQueuedConnection);
    return result;
}

void StopAndJoinOnGuiThread(EraseRunner& run) {
    if (run.Running()) {
        run.Stop();
        while (run.Running()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    run.Join();
}

}  // namespace tolvane
