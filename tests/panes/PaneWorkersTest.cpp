#include "panes/PaneWorkers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "Waiting.h"

namespace tolvane {
namespace {

using test::Eventually;

TEST(PaneWorkersTest, ShutdownReturnsAtOnceAndReportsClosedOnceAfterBothEnded) {
    const std::set<pid_t> threadsBefore = test::ThreadIds();
    test::HeldWork held;
    std::atomic<int> closedCalls{0};
    std::atomic<bool> bothEndedAtClose{false};
    auto workers = std::make_unique<PaneWorkers>();
    // A listing pass that is slow to stop: it ignores the stop until released.
    ASSERT_TRUE(workers->Start([&held](WorkerThread&, int) { held.Run(); }, {}));
    workers->Listing().Wake();
    ASSERT_TRUE(Eventually([&] { return held.busy.load(); }));

    PaneWorkers* raw = workers.get();
    EXPECT_TRUE(workers->Shutdown([&closedCalls, &bothEndedAtClose, raw] {
        bothEndedAtClose = raw->Listing().Ended() && raw->Sizing().Ended();
        ++closedCalls;
    }));
    EXPECT_FALSE(workers->Shutdown([&closedCalls] { ++closedCalls; }));  // only once
    EXPECT_TRUE(workers->ShuttingDown());
    ASSERT_TRUE(Eventually([&] { return workers->Sizing().Ended(); }));
    EXPECT_EQ(closedCalls.load(), 0);  // the listing worker is still busy
    EXPECT_FALSE(workers->Listing().Ended());

    held.release = true;
    ASSERT_TRUE(Eventually([&] { return closedCalls.load() == 1; }));
    EXPECT_TRUE(bothEndedAtClose.load());
    workers.reset();
    EXPECT_EQ(closedCalls.load(), 1);
    EXPECT_TRUE(test::ThreadsAsBefore(threadsBefore));  // nothing left running
}

// Destroyed without a shutdown, workers are stopped and joined; never started, they shut down
// and report closed at once, and a destructor waits for no thread that never ran.
TEST(PaneWorkersTest, DestroyedOrNeverStartedWorkersLeaveNoThread) {
    const std::set<pid_t> threadsBefore = test::ThreadIds();
    {
        PaneWorkers workers;
        ASSERT_TRUE(workers.Start({}, {}));
        workers.Listing().Wake();
        workers.Sizing().Wake();
    }
    EXPECT_TRUE(test::ThreadsAsBefore(threadsBefore));
    std::atomic<int> closedCalls{0};
    {
        PaneWorkers workers;
        EXPECT_TRUE(workers.Shutdown([&closedCalls] { ++closedCalls; }));
    }
    EXPECT_EQ(closedCalls.load(), 1);
    PaneWorkers neverShutDown;
}

TEST(PaneWorkersTest, CancelListingStopsTheCurrentPassButKeepsTheWorker) {
    std::atomic<int> passes{0};
    std::atomic<int> cancelled{0};
    PaneWorkers workers;
    ASSERT_TRUE(workers.Start(
        [&](WorkerThread& self, int) {
            ++passes;
            while (!self.CancelRequested()) {
                std::this_thread::yield();
            }
            self.ClearCancel();
            ++cancelled;
        },
        {}));
    workers.Listing().Wake();
    ASSERT_TRUE(Eventually([&] { return passes.load() == 1; }));
    workers.CancelListing();
    ASSERT_TRUE(Eventually([&] { return cancelled.load() == 1; }));
    EXPECT_FALSE(workers.Listing().Ended());
    workers.Listing().Wake();
    ASSERT_TRUE(Eventually([&] { return passes.load() == 2; }));
    workers.CancelListing();
}

}  // namespace
}  // namespace tolvane
