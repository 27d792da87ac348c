#pragma once

// What the window benchmarks measure on the window's thread: waiting for a state while the
// event loop runs, and how long the thread went without serving its events.
#include <time.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <functional>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

// Runs the event loop until `done` holds; false once `limit` has passed.
inline bool Until(const std::function<bool()>& done, Clock::duration limit) {
    const auto giveUp = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > giveUp) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// The calling thread's CPU time so far.
inline Clock::duration ThreadCpu() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// Records the largest gap between the ticks of a 5 ms timer on the window's thread, and the
// most CPU time the thread spent between two ticks: on a loaded machine a gap also holds the
// time the thread waited for a core, which the CPU time leaves out.
class GapProbe {
public:
    GapProbe() {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            const auto cpu = ThreadCpu();
            m_largest = std::max(m_largest, now - m_last);
            m_busiest = std::max(m_busiest, cpu - m_lastCpu);
            m_last = now;
            m_lastCpu = cpu;
        });
    }
    void Begin() {
        m_largest = {};
        m_busiest = {};
        m_last = Clock::now();
        m_lastCpu = ThreadCpu();
        m_timer.start(5);
    }
    void End() { m_timer.stop(); }
    double LargestGapMs() const { return Seconds(m_largest) * 1000; }
    double BusiestMs() const { return Seconds(m_busiest) * 1000; }

private:
    QTimer m_timer;
    Clock::time_point m_last;
    Clock::duration m_lastCpu{};
    Clock::duration m_largest{};
    Clock::duration m_busiest{};
};

}  // namespace bench
