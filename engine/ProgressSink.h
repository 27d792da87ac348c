#pragma once

#include <cstdint>
#include <string>

#include "engine/NotifyTarget.h"

namespace tolvane {

// Report codes of ProgressSink::ReportItem.
enum ReportCode : int {
    kReportNotFound = 1,
    kReportFailed = 2,
    kReportRefused = 3,  // an item the program never erases; its line says why
};

// Everything a run has to say goes through one sink: text lines on standard output and
// WM_ERASE_NOTIFY to the window, when one is set. Used by the worker thread only; the
// window is not owned.
class ProgressSink {
public:
    explicit ProgressSink(NotifyTarget* window = nullptr, std::uint32_t message = WM_ERASE_NOTIFY)
        : m_window(window), m_message(message) {}

    // Per mille of position/total (1000 for a total of 0), written and sent when it changed.
    void Progress(std::int64_t position, std::int64_t total);
    // A path that named nothing (code 1), could not be erased (2) or is refused (3, the line
    // shows `reason`). Codes 2 and 3 are sent to the window.
    void ReportItem(const std::string& path, int code, const std::string& reason = std::string());
    void ItemDone();
    void Finished();
    // Running count of the size count, when a window is set: ERN_COUNTING every
    // kCountNotifyStep entries and a line at every thousand.
    void CountProgress(std::int32_t count);
    static constexpr std::int32_t kCountNotifyStep = 50;

    std::int32_t Last() const { return m_last; }

private:
    void Send(std::uintptr_t code, std::intptr_t value);

    std::int32_t m_last = -1;
    NotifyTarget* m_window;
    std::uint32_t m_message;
};

}  // namespace tolvane
