#include "platform/GuiCallGate.h"

#include <QMetaObject>

namespace tolvane {
namespace {

enum class CallState { Queued, Running, Done };

}  // namespace

GuiCallGate::GuiCallGate() : m_shared(std::make_shared<Shared>()) {}

GuiCallGate::~GuiCallGate() {
    Close();
}

bool GuiCallGate::Run(const std::function<void()>& call) {
    // Shared with the queued call, which may outlive this frame once the gate is closed.
    auto state = std::make_shared<CallState>(CallState::Queued);  // guarded by shared->lock
    std::shared_ptr<Shared> shared = m_shared;
    std::unique_lock<std::mutex> hold(shared->lock);
    if (shared->closed) {
        return false;
    }
    // Queued under the lock, so the gate cannot close (and the context go) in between.
    QMetaObject::invokeMethod(
        &m_context,
        [shared, state, &call] {
            {
                std::lock_guard<std::mutex> check(shared->lock);
                if (shared->closed) {
                    return;  // the worker no longer waits: `call` may be gone
                }
                *state = CallState::Running;
            }
            call();
            {
                std::lock_guard<std::mutex> check(shared->lock);
                *state = CallState::Done;
            }
            shared->changed.notify_all();
        },
        Qt::QueuedConnection);
    if (m_queuedHook) {
        m_queuedHook();
    }
    // A running call is finished even when the gate closes meanwhile: it uses this frame.
    shared->changed.wait(hold, [&] {
        return *state == CallState::Done || (shared->closed && *state == CallState::Queued);
    });
    return *state == CallState::Done;
}

void GuiCallGate::Close() {
    {
        std::lock_guard<std::mutex> hold(m_shared->lock);
        m_shared->closed = true;
    }
    m_shared->changed.notify_all();
}

}  // namespace tolvane
