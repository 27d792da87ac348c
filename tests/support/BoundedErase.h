#pragma once

// Header only: it needs the engine, which the support library does not link.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/EraseEngine.h"
#include "engine/EraseJob.h"
#include "engine/NotifyTarget.h"

namespace tolvane::test {

struct BoundedEraseResult {
    bool finished = false;  // ERN_FINISHED arrived within the time bound
    int failedCount = 0;
    int notFoundCount = 0;
    std::vector<std::string> failedPaths;  // as sent with ERN_FAILED
};

// Runs an erase job the way a window does (StartEraseJob, worker thread, notifications) and
// waits at most `limit` for its end. A run that hangs (an open that blocks on a FIFO, say)
// must fail its test, not stop the whole suite: the worker is then asked to cancel and left
// behind, and the engine and receiver it uses are deliberately never freed.
inline BoundedEraseResult RunEraseBounded(const std::vector<std::string>& paths, int passes,
                                          std::chrono::seconds limit = std::chrono::seconds(60)) {
    struct Receiver : NotifyTarget {
        std::intptr_t Send(std::uint32_t, std::uintptr_t code, std::intptr_t value) override {
            std::lock_guard<std::mutex> lock(mutex);
            if (code == ERN_FAILED) {
                failed.emplace_back(reinterpret_cast<const char*>(value));
            } else if (code == ERN_FINISHED) {
                finished = true;
                done.notify_all();
            }
            return 0;
        }
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;            // guarded by mutex
        std::vector<std::string> failed;  // guarded by mutex
    };

    auto* receiver = new Receiver;
    auto* engine = new EraseEngine(passes);
    std::thread worker = StartEraseJob(paths, passes, receiver, engine);
    BoundedEraseResult result;
    {
        std::unique_lock<std::mutex> lock(receiver->mutex);
        result.finished = receiver->done.wait_for(lock, limit, [&] { return receiver->finished; });
    }
    if (!result.finished) {
        engine->RequestCancel();
        worker.detach();
        return result;
    }
    worker.join();
    result.failedCount = engine->FailedCount();
    result.notFoundCount = engine->NotFoundCount();
    result.failedPaths = receiver->failed;
    delete engine;
    delete receiver;
    return result;
}

}  // namespace tolvane::test
