// The relay that carries an erase worker's notifications onto the GUI thread: delivered there
// while the gate is open, and once closed the worker is answered at once without this thread
// turning its event loop, which is how a dialog going away under a run ends it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <chrono>
#include <future>

#include "QtTestEnvironment.h"
#include "Waiting.h"
#include "app/GuiThreadRelay.h"

namespace tolvane {
namespace {

struct Receiver : NotifyTarget {
    std::atomic<int> calls{0};
    std::atomic<bool> onGuiThread{false};
    std::intptr_t Send(std::uint32_t, std::uintptr_t code, std::intptr_t) override {
        ++calls;
        onGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        return static_cast<std::intptr_t>(code) * 10;
    }
};

TEST(GuiThreadRelay, DeliversOnTheGuiThreadWhileOpenAndDropsOnceClosed) {
    Receiver receiver;
    GuiThreadRelay relay(receiver);

    auto delivered = std::async(std::launch::async,
                                [&] { return relay.Send(WM_ERASE_NOTIFY, ERN_PROGRESS, 5); });
    ASSERT_TRUE(test::EventuallyOnLoop([&] {
        return delivered.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
    }));
    EXPECT_EQ(delivered.get(), 10);
    EXPECT_EQ(receiver.calls, 1);
    EXPECT_TRUE(receiver.onGuiThread);

    // A worker waiting for a thread that no longer turns its loop is let go by the close.
    std::atomic<bool> queued{false};
    auto waiting = std::async(std::launch::async, [&] {
        queued = true;
        return relay.Send(WM_ERASE_NOTIFY, ERN_FINISHED, 1);
    });
    ASSERT_TRUE(test::Eventually([&] { return queued.load(); }));
    relay.Close();
    EXPECT_EQ(waiting.get(), 0);
    EXPECT_EQ(relay.Send(WM_ERASE_NOTIFY, ERN_PROGRESS, 7), 0);
    QCoreApplication::processEvents();  // a call queued before the close must not run now
    EXPECT_EQ(receiver.calls, 1);
}

}  // namespace
}  // namespace tolvane
