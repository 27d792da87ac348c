#include "app/GuiThreadRelay.h"

namespace tolvane {

std::intptr_t GuiThreadRelay::Send(std::uint32_t message, std::uintptr_t code,
                                   std::intptr_t value) {
    std::intptr_t result = 0;
    (void)m_gate.Run([&] { result = m_receiver.Send(message, code, value); });
    return result;
}

}  // namespace tolvane
