// A stop answered with Yes must be in force before the held worker takes its next step: both
// front ends, driven in this process, with the worker held at a known gate by the test.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <QPushButton>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "QtTestEnvironment.h"
#include "TempDir.h"
#include "Waiting.h"
#include "app/CEraseProgressDlg.h"
#include "app/TerminalRun.h"
#include "engine/EraseEngine.h"

namespace tolvane::test {
namespace {

constexpr char kStopPrompt[] = "Do you want to stop erasing? [y/N] ";

// Holds a run's worker at its first gate after `gone` has disappeared (that entry erased, the
// next not touched) and runs `onHeld` there. Release() waits until the worker has left, so
// what the releasing thread does next comes too late for that step.
class HoldBeforeNextEntry {
public:
    std::unique_ptr<EraseEngine> MakeEngine(int passes, std::string gone,
                                            std::function<void()> onHeld) {
        auto engine = std::make_unique<EraseEngine>(passes);
        EraseEngine* e = engine.get();
        e->Gate().SetHooks({
            .arriving =
                [this, e, gone = std::move(gone), onHeld = std::move(onHeld)] {
                    {
                        std::lock_guard<std::mutex> lock(m_mutex);
                        if (m_held || Exists(gone)) {
                            return;
                        }
                        m_held = true;
                    }
                    e->Gate().Hold();
                    onHeld();
                },
            .passed =
                [this, e] {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    if (m_held && !m_left) {
                        m_left = true;
                        m_stopSetWhenLeft = e->IsCancelled();
                        m_changed.notify_all();
                    }
                },
            .released =
                [this] {
                    std::unique_lock<std::mutex> lock(m_mutex);
                    if (m_held) {
                        m_releasedWhileHeld = true;
                        m_changed.wait(lock, [this] { return m_left; });
                    }
                },
        });
        return engine;
    }

    // Held, released, and the stop was in force when the worker left the gate.
    bool StoppedWhenLeft() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_left && m_releasedWhileHeld && m_stopSetWhenLeft;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_held = false;  // guarded by m_mutex, as the three below
    bool m_left = false;
    bool m_stopSetWhenLeft = false;
    bool m_releasedWhileHeld = false;
};

// A pipe whose ends close with it.
struct Pipe {
    Pipe() { EXPECT_EQ(::pipe(fds), 0); }
    ~Pipe() {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    // What is there, waiting at most a minute for it.
    std::string Read() {
        std::string text;
        ReadSome(fds[0], text);
        return text;
    }
    int fds[2] = {-1, -1};
};

class StopOrderTest : public testing::Test {
protected:
    void SetUp() override {
        // Each in a folder of its own: files of one folder share a batch and are finished
        // together, so there is no step between them to stop at.
        for (const char* name : {"1-first", "2-second", "3-third"}) {
            ASSERT_TRUE(MakeDirs(m_dir / name) && WriteFile(m_dir / name + "/" + name, name));
            m_paths.push_back(m_dir / name + "/" + name);
        }
    }
    // The first entry is gone, the worker was held before the second and saw the stop when
    // it went on, and nothing after the first was touched.
    void ExpectStoppedBeforeTheSecond() {
        EXPECT_TRUE(m_hold.StoppedWhenLeft());
        EXPECT_FALSE(Exists(m_paths[0]));
        EXPECT_EQ(ReadFile(m_paths[1]), "2-second");
        EXPECT_EQ(ReadFile(m_paths[2]), "3-third");
    }

    TempDir m_dir;
    std::vector<std::string> m_paths;
    HoldBeforeNextEntry m_hold;
};

TEST_F(StopOrderTest, DialogSetsTheStopBeforeTheWorkerGoesOn) {
    BoxAnswerer answerer;
    CEraseProgressDlg dialog(m_paths, 1);
    dialog.SetEngineFactory([&](int passes) {
        return m_hold.MakeEngine(passes, m_paths[0], [&dialog] {
            QMetaObject::invokeMethod(
                &dialog, [&dialog] { dialog.CancelButton()->click(); }, Qt::QueuedConnection);
        });
    });
    answerer.ThenClick(QMessageBox::Yes);  // erase
    answerer.ThenClick(QMessageBox::Yes);  // stop; a list of what was left may follow

    EXPECT_EQ(dialog.DoModal(), 130);

    ASSERT_GE(answerer.Seen().size(), 2u);
    EXPECT_EQ(answerer.Seen()[1].text, "Do you want to stop erasing?");
    ExpectStoppedBeforeTheSecond();
}

TEST_F(StopOrderTest, TerminalRunSetsTheStopBeforeTheWorkerGoesOn) {
    Pipe answers;
    Pipe talk;
    ASSERT_EQ(::write(answers.fds[1], "y\n", 2), 2);
    TerminalRun run(m_paths, 1, true, {answers.fds[0], talk.fds[1], answers.fds[0], talk.fds[1]});
    const pthread_t asking = ::pthread_self();
    run.SetEngineFactory([&](int passes) {
        // Ctrl+C, delivered to the thread that asks (the worker never takes it).
        return m_hold.MakeEngine(passes, m_paths[0], [asking] { ::pthread_kill(asking, SIGINT); });
    });

    testing::internal::CaptureStdout();  // the progress line
    const int status = run.Run();
    testing::internal::GetCapturedStdout();

    EXPECT_EQ(status, 130);
    EXPECT_NE(talk.Read().find(kStopPrompt), std::string::npos);
    ExpectStoppedBeforeTheSecond();
}

// A Yes after the last piece of work finds nothing left to stop and the status says all was
// erased, whether it came after the worker's end or while the last item's end was reported.
class StopAfterTheLastItemTest : public StopOrderTest, public testing::WithParamInterface<bool> {};

TEST_P(StopAfterTheLastItemTest, CountsAsComplete) {
    class EndsWhileAsked : public TerminalRun {
    public:
        EndsWhileAsked(std::vector<std::string> paths, Pipe& answers, Pipe& talk, bool before)
            : TerminalRun(std::move(paths), 1, true,
                          {answers.fds[0], talk.fds[1], answers.fds[0], talk.fds[1]}),
              m_answers(answers),
              m_talk(talk),
              m_asking(::pthread_self()),
              m_before(before) {
            SetEngineFactory([this](int passes) {
                auto engine = std::make_unique<EraseEngine>(passes);
                m_engine = engine.get();
                return engine;
            });
        }

        std::intptr_t Send(std::uint32_t message, std::uintptr_t code,
                           std::intptr_t value) override {
            if (code == ERN_ITEMDONE && ++m_itemsDone == 3) {
                // All erased: interrupt, and go on only once the question is out.
                ::pthread_kill(m_asking, SIGINT);
                std::string said;
                EXPECT_TRUE(Eventually([&] {
                    said += m_talk.Read();
                    return said.find(kStopPrompt) != std::string::npos;
                }));
                if (m_before) {
                    Answer();
                    EXPECT_TRUE(Eventually([&] { return m_engine->IsCancelled(); }));
                }
            }
            std::intptr_t result = TerminalRun::Send(message, code, value);
            if (code == ERN_FINISHED && !m_before) {
                Answer();
            }
            return result;
        }

    private:
        void Answer() { EXPECT_EQ(::write(m_answers.fds[1], "y\n", 2), 2); }

        Pipe& m_answers;
        Pipe& m_talk;
        pthread_t m_asking;
        bool m_before;
        EraseEngine* m_engine = nullptr;
        int m_itemsDone = 0;  // worker thread only
    };
    Pipe answers;
    Pipe talk;
    EndsWhileAsked run(m_paths, answers, talk, GetParam());

    testing::internal::CaptureStdout();
    const int status = run.Run();
    testing::internal::GetCapturedStdout();

    EXPECT_EQ(status, 0);
    for (const std::string& path : m_paths) {
        EXPECT_FALSE(Exists(path));
    }
}

INSTANTIATE_TEST_SUITE_P(AnsweredAfterAndBeforeTheEnd, StopAfterTheLastItemTest, testing::Bool());

}  // namespace
}  // namespace tolvane::test
