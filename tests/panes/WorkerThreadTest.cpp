#include "panes/WorkerThread.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "TempDir.h"
#include "Waiting.h"
#include "platform/FolderWatch.h"
#include "platform/PollWait.h"
#include "platform/WakeEvent.h"

namespace tolvane {
namespace {

using test::Eventually;

TEST(WaitPrimitivesTest, WakeEventIsManualResetAndPollSeesIt) {
    WakeEvent event;
    ASSERT_TRUE(event.Valid());
    int fds[] = {-1, event.Fd()};
    EXPECT_EQ(WaitReadable(fds, 0), kWaitTimedOut);
    event.Signal();
    event.Signal();  // a second signal changes nothing
    EXPECT_EQ(WaitReadable(fds, 0), 1);
    EXPECT_EQ(WaitReadable(fds, 0), 1);  // stays signalled until reset
    event.Reset();
    EXPECT_FALSE(event.IsSignalled());
    event.Reset();  // resetting a reset event is harmless
    EXPECT_EQ(WaitReadable(fds, 0), kWaitTimedOut);
}

TEST(WaitPrimitivesTest, FolderWatchSeesEntriesComeAndGoButNotTheSubtree) {
    test::TempDir dir;
    ASSERT_TRUE(test::MakeDirs(dir / "sub"));
    FolderWatch watch;
    ASSERT_TRUE(watch.Watch(dir.Path()));
    int fds[] = {watch.Fd()};
    EXPECT_EQ(WaitReadable(fds, 0), kWaitTimedOut);
    ASSERT_TRUE(test::WriteFile(dir / "sub/deeper", "x"));  // below the folder: no change
    EXPECT_FALSE(watch.Drain());
    ASSERT_TRUE(test::WriteFile(dir / "new", "x"));
    EXPECT_EQ(WaitReadable(fds, -1), 0);
    EXPECT_TRUE(watch.Drain());
    EXPECT_EQ(WaitReadable(fds, 0), kWaitTimedOut);
    EXPECT_FALSE(watch.Watch(dir / "new"));  // a file is no folder to watch
}

TEST(WaitPrimitivesTest, UnprivilegedThreadCanLowerItsIoPriorityAndPutItBack) {
    // Root passes every check, so the rule is tried as nobody in a child process.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0) {
            ::_exit(10);
        }
        IoPriority seen = IoPriority::Normal;
        bool ok = SetIoPriority(0, IoPriority::Idle) && GetIoPriority(0, seen) &&
                  seen == IoPriority::Idle && SetIoPriority(0, IoPriority::Normal) &&
                  GetIoPriority(0, seen) && seen == IoPriority::Normal;
        ::_exit(ok ? 0 : 11);
    }
    const int status = test::WaitForChild(child, std::chrono::minutes(1));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A wake runs the pass with index 0, a change in a watched folder with the watch's index
// (1 for the first), both on the worker at its priority.
TEST(WorkerThreadTest, WakesRunThePassOnTheWorkerWithTheirIndexAtItsPriority) {
    test::TempDir dir;
    FolderWatch watch;
    ASSERT_TRUE(watch.Watch(dir.Path()));
    std::atomic<int> passes{0};
    std::atomic<int> woken{-1};
    std::atomic<bool> idle{false};
    WorkerThread worker;
    worker.SetWatchFds({watch.Fd()});
    ASSERT_TRUE(worker.Start(
        [&](WorkerThread&, int which) {
            IoPriority priority = IoPriority::Normal;
            idle = GetIoPriority(0, priority) && priority == IoPriority::Idle;
            watch.Drain();
            woken = which;
            ++passes;
        },
        IoPriority::Idle));
    EXPECT_FALSE(worker.Start({}, IoPriority::Idle));  // one thread per worker
    worker.Wake();
    ASSERT_TRUE(Eventually([&] { return passes.load() == 1; }));
    EXPECT_EQ(woken.load(), 0);
    EXPECT_TRUE(idle.load());
    ASSERT_TRUE(test::WriteFile(dir / "entry", ""));
    ASSERT_TRUE(Eventually([&] { return woken.load() == 1; }));
}

// How the worker is when the stop request comes.
enum class StopWhile { Waiting, Busy, NeverWoken };

class WorkerStopTest : public testing::TestWithParam<StopWhile> {};

TEST_P(WorkerStopTest, StopEndsTheWorkerExactlyOnceAndOnlyThenItJoins) {
    std::atomic<bool> inPass{false};
    std::atomic<bool> sawStop{false};
    std::atomic<int> passes{0};
    WorkerThread worker;
    ASSERT_TRUE(worker.Start(
        [&](WorkerThread& self, int) {
            ++passes;
            if (GetParam() != StopWhile::Busy) {
                return;
            }
            inPass = true;
            while (!self.CancelRequested()) {
                std::this_thread::yield();
            }
            sawStop = self.StopRequested();
        },
        IoPriority::Normal));
    if (GetParam() != StopWhile::NeverWoken) {
        worker.Wake();
        ASSERT_TRUE(Eventually([&] { return passes.load() == 1; }));
    }
    if (GetParam() == StopWhile::Busy) {
        ASSERT_TRUE(Eventually([&] { return inPass.load(); }));
        EXPECT_FALSE(worker.Join());  // busy: not to be joined
        EXPECT_FALSE(worker.Ended());
    }
    worker.RequestStop();
    int ended[] = {worker.EndedFd()};
    EXPECT_EQ(WaitReadable(ended, -1), 0);
    EXPECT_TRUE(worker.Join());
    EXPECT_EQ(worker.EndedCount(), 1);
    EXPECT_EQ(sawStop.load(), GetParam() == StopWhile::Busy);
    EXPECT_EQ(passes.load(), GetParam() == StopWhile::NeverWoken ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, WorkerStopTest,
                         testing::Values(StopWhile::Waiting, StopWhile::Busy,
                                         StopWhile::NeverWoken));

}  // namespace
}  // namespace tolvane
