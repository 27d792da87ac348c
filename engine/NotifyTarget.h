#pragma once

#include <cstdint>

namespace tolvane {

// The message an erase worker sends to the window that started the run.
constexpr std::uint32_t WM_ERASE_NOTIFY = 0x1686;

// wParam codes of WM_ERASE_NOTIFY.
enum EraseNotifyCode : std::uintptr_t {
    ERN_PROGRESS = 1,  // lParam: per mille done, 0..1000
    ERN_ITEMDONE = 2,  // lParam: 1; a list item is finished (not after a cancel)
    ERN_FINISHED = 3,  // lParam: 1; once, last; the receiver may delete the engine now
    ERN_FAILED = 5,    // lParam: const char* path, valid only during the call: copy it
    ERN_COUNTING = 6,  // lParam: files and folders counted so far, before the total is known
};

// Stands for the window that receives an erase run's notifications. Send is synchronous:
// it returns only when the receiver has handled the message, so the worker never runs ahead
// of the window. Called on the worker thread; implementations that touch widgets must hop to
// the GUI thread with a blocking queued call.
class NotifyTarget {
public:
    virtual ~NotifyTarget() = default;
    virtual std::intptr_t Send(std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t lParam) = 0;
};

}  // namespace tolvane
