#pragma once

#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

#include "engine/NotifyTarget.h"

namespace tolvane {

class EraseRunner;

// The figures of the progress line below the panes, gathered from what the run reports
// anyway: the running count while the total is worked out, then the total and how far the
// run is. It stands between the worker and the run (every notification is passed on to the
// run unchanged), so no disk work is added and the worker never waits for the window.
//
// Threads: Send on the worker; Take on the window's thread, a few times a second.
class RunFigures : public NotifyTarget {
public:
    struct Figures {
        bool counting = true;      // the total is not known yet
        std::int32_t counted = 0;  // files and folders counted so far
        bool entries = false;      // the total counts entries (no passes, or nothing to write)
        std::int64_t total = 0;    // bytes times passes, or entries
        int perMille = 0;
        // Since the total was known; set once counting is over.
        std::chrono::steady_clock::duration elapsed{};
    };

    explicit RunFigures(EraseRunner& run) : m_run(run) {}

    std::intptr_t Send(std::uint32_t message, std::uintptr_t code, std::intptr_t value) override;
    Figures Take() const;

private:
    EraseRunner& m_run;
    std::atomic<std::int32_t> m_counted{0};
    std::atomic<bool> m_totalKnown{false};
    std::atomic<bool> m_entries{false};
    std::atomic<std::int64_t> m_total{0};
    std::atomic<int> m_perMille{0};
    std::atomic<std::int64_t> m_startTicks{0};  // steady_clock, when the total became known
};

// The words beside the bar: "Total size is calculating, N files and folders" while counting;
// then the item being erased, what is done of the total ("12 Mb of 40 Mb", or "3 of 12
// entries") and, once it can be estimated, the time left. `item` may be empty.
QString ProgressLineText(const RunFigures::Figures& figures, const QString& item);
// The time left, or nothing while an estimate would only guess (under 1% done or under
// three seconds in).
std::optional<std::chrono::seconds> TimeLeft(const RunFigures::Figures& figures);

}  // namespace tolvane
