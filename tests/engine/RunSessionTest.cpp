// One erase run as every front end reports it: each item ends erased, failed, refused or not
// found, in list order; what stayed is listed with its reason; the counts name items and
// entries apart. Failures through the file-system seam; escaping is each front end's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "FaultyFileSystem.h"
#include "TempDir.h"
#include "engine/EraseEngine.h"
#include "engine/RunSession.h"

namespace tolvane::test {
namespace {

using State = RunSession::ItemState;

// Waits for the end of a run whose worker delivers its own notifications.
class EndWaiter : public RunSession::Observer {
public:
    void OnItemEnded() override { ++itemEnds; }
    void OnEnded() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ended = true;
        m_changed.notify_all();
    }
    // False when the run has not ended within a minute: a hang, not a slow machine.
    bool Wait() {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::minutes(1), [&] { return m_ended; });
    }
    int itemEnds = 0;  // on the worker, read after the end

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_ended = false;
};

class RunSessionTest : public testing::Test {
protected:
    std::string File(const std::string& name, const std::string& content = "secret") {
        EXPECT_TRUE(WriteFile(m_dir / name, content));
        return m_dir / name;
    }
    // Runs `paths` at one pass through `fs` and returns the ended items.
    std::vector<RunSession::ItemResult> RunAll(RunSession& session, FileSystem* fs = nullptr) {
        EXPECT_TRUE(session.Start(std::make_unique<EraseEngine>(1, fs)));
        if (!m_observer.Wait()) {
            ADD_FAILURE() << "the run did not end within a minute";
            std::abort();  // its worker is stuck: joining it would hang the test instead
        }
        session.Run().Join();
        return session.TakeFinished();
    }

    TempDir m_dir;
    EndWaiter m_observer;
};

// Every kind of end, in list order, and the report built from them: the items refused before
// the walk (a path too long for any system call) keep their place between the walked ones.
TEST_F(RunSessionTest, EachItemEndsInListOrderWithItsReason) {
    const std::string erased = File("erased");
    const std::string missing = m_dir / "missing";
    const std::string tooLong = m_dir.Path() + "/" + std::string(PATH_MAX, 'x');
    ASSERT_TRUE(MakeDirs(m_dir / "folder"));
    const std::string stuck1 = File("folder/stuck1");
    const std::string stuck2 = File("folder/stuck2");
    const std::string last = File("last");
    RunSession session({erased, missing, "", tooLong, m_dir / "folder", last}, {}, m_observer);
    ASSERT_EQ(session.ConfirmLines(3),
              (std::vector<std::string>{"Confirm erasing following files:", erased, missing, "",
                                        "... and 3 more"}));
    FaultyFileSystem stuck;
    stuck.failWriteName = "stuck1";
    stuck.failSyncName = "stuck2";
    const std::vector<RunSession::ItemResult> ended = RunAll(session, &stuck);

    ASSERT_EQ(ended.size(), 5u);  // the empty path is no item
    const std::vector<std::pair<std::size_t, State>> expected = {{0, State::Erased},
                                                                 {1, State::NotFound},
                                                                 {3, State::Refused},
                                                                 {4, State::Failed},
                                                                 {5, State::Erased}};
    for (std::size_t i = 0; i < ended.size(); ++i) {
        EXPECT_EQ(std::make_pair(ended[i].index, ended[i].state), expected[i]) << i;
    }
    EXPECT_EQ(m_observer.itemEnds, 4);  // once per walked item: the refused one ends with one
    EXPECT_EQ(ended[1].reasons, std::vector<std::string>{missing + " - not found"});
    EXPECT_EQ(ended[2].reasons[0].substr(tooLong.size()),
              " - refused: path too long (more than 4095 bytes)");
    // The folder's row says which of its entries stayed.
    ASSERT_EQ(ended[3].reasons.size(), 2u);  // the folder stays silently around them
    EXPECT_EQ(ended[3].reasons[0].rfind(stuck1 + " - ", 0), 0u) << ended[3].reasons[0];
    EXPECT_EQ(ended[3].reasons[1].rfind(stuck2 + " - ", 0), 0u) << ended[3].reasons[1];

    EXPECT_FALSE(session.AllErased());
    EXPECT_FALSE(Exists(erased) || Exists(last));
    EXPECT_TRUE(Exists(stuck1) && Exists(stuck2));
    const std::vector<std::string>& failures = session.FailureLines();
    const auto listed = [&](const std::string& start, const std::string& part = "") {
        return std::any_of(failures.begin(), failures.end(), [&](const std::string& line) {
            return line.rfind(start, 0) == 0 && line.find(part) != std::string::npos;
        });
    };
    EXPECT_TRUE(listed(missing + " - not found"));
    EXPECT_TRUE(listed(tooLong, " - refused: path too long"));
    EXPECT_TRUE(listed(stuck1 + " - "));
    // Five items: two erased; the folder failed and the long path was refused (items); two
    // files stayed in the folder and one path was refused (files and folders).
    EXPECT_EQ(session.SummaryLines()[0],
              "Erased 2 of 5 items, 2 failed (1 refused), 1 not found; 3 files and folders could "
              "not be erased.");
    EXPECT_EQ(session.Outcome().Status(), kExitSomeFailed);
}

// A run in which everything went is all erased, and its counts need no second kind.
TEST_F(RunSessionTest, AllErasedOnlyWhenEveryItemWent) {
    const std::string a = File("a");
    ASSERT_TRUE(MakeDirs(m_dir / "dir/sub"));
    File("dir/sub/inner");
    RunSession session({a, m_dir / "dir"}, {}, m_observer);
    const std::vector<RunSession::ItemResult> ended = RunAll(session);
    ASSERT_EQ(ended.size(), 2u);
    EXPECT_TRUE(ended[0].Erased() && ended[1].Erased());
    EXPECT_TRUE(session.AllErased());
    EXPECT_TRUE(session.FailureLines().empty());
    EXPECT_EQ(session.SummaryLines()[0], "Erased 2 of 2 items, 0 failed, 0 not found.");
    EXPECT_EQ(session.Outcome().Status(), kExitErased);
}

}  // namespace
}  // namespace tolvane::test
