// One erase run as every front end drives it: the notifications decoded into calls, each
// failure given to the item it belongs to, the stop question with the worker held, and an
// end that comes while the question is open. The worker delivers the calls itself here (no
// relay), so the runner's own locking is what ThreadSanitizer sees.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "FaultyFileSystem.h"
#include "TempDir.h"
#include "Waiting.h"
#include "engine/EraseEngine.h"
#include "engine/EraseRunner.h"

namespace tolvane::test {
namespace {

constexpr auto kHang = std::chrono::seconds(60);  // a hang, not a slow machine

// Records the run's calls, in order, as short words; callable from any thread.
class Recorder : public EraseRunner::Listener {
public:
    void OnProgress(int perMille) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        progress.push_back(perMille);
    }
    void OnItemFailed(const std::string& path, const std::string& reason) override {
        Note("failed " + path + (reason.empty() ? " (no reason)" : ""));
    }
    void OnItemDone(const EraseRunner::ItemEnd& item) override {
        if (onItemDone) {
            onItemDone(item);
        }
        Note("item " + std::to_string(item.index) + (item.notFound ? " not found" : "") +
             (item.failures > 0 ? " failures " + std::to_string(item.failures) : ""));
    }
    void OnFinished(const EraseEngine&) override { Note("finished"); }
    void OnEnded() override { Note("ended"); }

    std::vector<std::string> Events() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    // Waits until `word` was recorded; false after a minute.
    bool WaitFor(const std::string& word) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, kHang, [&] {
            return std::find(m_events.begin(), m_events.end(), word) != m_events.end();
        });
    }

    std::function<void(const EraseRunner::ItemEnd&)> onItemDone;  // on the worker
    std::vector<int> progress;                                    // guarded by m_mutex

private:
    void Note(const std::string& word) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(word);
        m_changed.notify_all();
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_events;  // guarded by m_mutex
};

// Single files of one folder, each its own item, are overwritten as one batch (one sync for
// all, instead of one each), and still every failure is told before the end of its own item.
TEST(EraseRunner, FilesOfOneFolderShareABatchAndKeepTheirFailuresApart) {
    TempDir dir;
    for (const char* name : {"a", "b", "c"}) {
        ASSERT_TRUE(WriteFile(dir / name, name));
    }
    ASSERT_EQ(link((dir / "b").c_str(), (dir / "b-link").c_str()), 0);
    FaultyFileSystem fs;
    std::vector<bool> firstThereAtWrite;
    fs.beforeWrite = [&](int) { firstThereAtWrite.push_back(Exists(dir / "a")); };
    Recorder recorder;
    EraseRunner run(recorder);
    const std::vector<std::string> paths = {dir / "a", dir / "b", dir / "c", dir / "missing"};

    testing::internal::CaptureStdout();  // the engine's progress line
    ASSERT_TRUE(run.Start(paths, std::make_unique<EraseEngine>(1, &fs)));
    ASSERT_TRUE(recorder.WaitFor("ended"));
    run.Join();
    testing::internal::GetCapturedStdout();

    const std::vector<std::string> expected = {"item 0", "failed " + dir / "b", "item 1 failures 1",
                                               "item 2", "item 3 not found",    "finished",
                                               "ended"};
    EXPECT_EQ(recorder.Events(), expected);
    EXPECT_EQ(firstThereAtWrite, (std::vector<bool>{true, true}));  // a and c, together
    EXPECT_EQ(ListNames(dir.Path()), (std::vector<std::string>{"b", "b-link"}));
}

// Holds the worker in its report of the end of the first item: the test then acts at a known
// point of the run, as a window does when it begins the question.
void HoldAtFirstItemEnd(Recorder& recorder, CountGate& gate) {
    recorder.onItemDone = [&gate](const EraseRunner::ItemEnd& item) {
        if (item.index == 0) {
            gate.Arrive();
        }
    };
}

TEST(EraseRunner, DecodesEachNotificationAndGivesFailuresToTheirItem) {
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir / "a", "a") && MakeDirs(dir / "folder/sub"));
    ASSERT_TRUE(WriteFile(dir / "folder/sub/b", "b"));
    Recorder recorder;
    EraseRunner run(recorder);
    // "folder/." is refused (it names a folder other than the one the user read): a failure
    // with its reason. The empty path is no item.
    const std::vector<std::string> paths = {dir / "a", "", dir / "folder/.", dir / "missing",
                                            dir / "folder"};

    testing::internal::CaptureStdout();  // the engine's progress line
    ASSERT_TRUE(run.Start(paths, std::make_unique<EraseEngine>(1)));
    EXPECT_FALSE(run.Start(paths, std::make_unique<EraseEngine>(1)));  // one run at a time
    ASSERT_TRUE(recorder.WaitFor("ended"));
    run.Join();
    testing::internal::GetCapturedStdout();

    const std::vector<std::string> expected = {"item 0",
                                               "failed " + dir / "folder/.",
                                               "item 2 failures 1",
                                               "item 3 not found",
                                               "item 4",
                                               "finished",
                                               "ended"};
    EXPECT_EQ(recorder.Events(), expected);
    EXPECT_FALSE(Exists(dir / "a") || Exists(dir / "folder"));
    EXPECT_FALSE(run.Running());
    EXPECT_EQ(run.Engine(), nullptr);
    const RunOutcome outcome = run.Outcome();
    EXPECT_EQ(outcome.failed, 1);
    EXPECT_EQ(outcome.notFound, 1);
    EXPECT_FALSE(outcome.stoppedByUser || outcome.cutShort);
    ASSERT_FALSE(recorder.progress.empty());
    EXPECT_TRUE(std::is_sorted(recorder.progress.begin(), recorder.progress.end()));
    EXPECT_EQ(recorder.progress.back(), 1000);
}

// The question is begun while the worker reports the end of the first item: the worker is
// then held at its next gate, before the second file. The answer decides what happens to the
// rest; a stop without a question has the effect of Yes.
struct StopCase {
    const char* name;
    bool ask;
    bool stop;
};

class EraseRunnerStopTest : public testing::TestWithParam<StopCase> {};

TEST_P(EraseRunnerStopTest, AnswerIsInForceBeforeTheWorkerGoesOn) {
    const StopCase& param = GetParam();
    TempDir dir;
    std::vector<std::string> paths;
    for (const char* name : {"1", "2", "3"}) {  // a folder each: no shared batch
        ASSERT_TRUE(MakeDirs(dir / name) && WriteFile(dir / name + "/" + name, name));
        paths.push_back(dir / name + "/" + name);
    }
    Recorder recorder;
    CountGate hold;
    HoldAtFirstItemEnd(recorder, hold);
    EraseRunner run(recorder);

    testing::internal::CaptureStdout();
    ASSERT_TRUE(run.Start(paths, std::make_unique<EraseEngine>(1)));
    ASSERT_TRUE(Eventually([&] { return hold.Arrived(); }));
    if (param.ask) {
        ASSERT_TRUE(run.BeginAsking());
        EXPECT_FALSE(run.BeginAsking());  // one question at a time
    } else {
        run.Stop();
        EXPECT_FALSE(run.BeginAsking());  // stopping already: nothing to ask
    }
    hold.Release();
    if (param.ask) {
        // Held: nothing of the second item may happen until the answer is in.
        EXPECT_TRUE(run.Running());
        EXPECT_EQ(ReadFile(paths[1]), "2");
        run.EndAsking(param.stop);
    }
    ASSERT_TRUE(recorder.WaitFor("ended"));
    run.Join();
    testing::internal::GetCapturedStdout();

    EXPECT_FALSE(Exists(paths[0]));
    const bool stopped = param.stop || !param.ask;
    EXPECT_EQ(Exists(paths[1]), stopped);
    EXPECT_EQ(Exists(paths[2]), stopped);
    const RunOutcome outcome = run.Outcome();
    EXPECT_EQ(outcome.stoppedByUser, stopped);
    EXPECT_EQ(outcome.cutShort, stopped);
    // The end comes once, last, after the walk's last word.
    const std::vector<std::string> events = recorder.Events();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2], "finished");
    EXPECT_EQ(events.back(), "ended");
    EXPECT_EQ(std::count(events.begin(), events.end(), "ended"), 1);
}

INSTANTIATE_TEST_SUITE_P(Answers, EraseRunnerStopTest,
                         testing::Values(StopCase{"YesStops", true, true},
                                         StopCase{"NoGoesOn", true, false},
                                         StopCase{"StopWithoutAsking", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The worker was past its last gate when the question began: its end comes while the
// question is open and is kept back until the answer, which then has nothing left to stop.
TEST(EraseRunner, EndThatComesWhileAskingWaitsForTheAnswer) {
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir / "only", "x"));
    Recorder recorder;
    CountGate hold;
    HoldAtFirstItemEnd(recorder, hold);
    EraseRunner run(recorder);

    testing::internal::CaptureStdout();
    ASSERT_TRUE(run.Start({dir / "only"}, std::make_unique<EraseEngine>(1)));
    ASSERT_TRUE(Eventually([&] { return hold.Arrived(); }));
    ASSERT_TRUE(run.BeginAsking());
    hold.Release();
    ASSERT_TRUE(recorder.WaitFor("finished"));
    run.Join();  // the worker is gone: nothing more can come from it
    EXPECT_TRUE(run.Running());
    EXPECT_NE(run.Engine(), nullptr);  // still there for the answer
    EXPECT_EQ(recorder.Events().back(), "finished");

    run.EndAsking(true);
    testing::internal::GetCapturedStdout();

    EXPECT_EQ(recorder.Events().back(), "ended");
    EXPECT_FALSE(run.Running());
    EXPECT_FALSE(run.Outcome().stoppedByUser);
    EXPECT_EQ(run.Outcome().Status(), kExitErased);
    EXPECT_FALSE(Exists(dir / "only"));
}

}  // namespace
}  // namespace tolvane::test
