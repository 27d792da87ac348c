#include "EngineTestHelpers.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "TempDir.h"
#include "Waiting.h"
#include "engine/EraseJob.h"
#include "engine/SizeCounter.h"

namespace tolvane::test {
namespace {

// What the worker does after the dialog: count the items, then erase them.
void CountAndErase(EraseEngine& engine, const std::vector<std::string>& paths,
                   NotifyTarget* window = nullptr) {
    EraseItemList items;
    for (const std::string& path : paths) {
        items.push_back(EraseItem{ClassifyItem(path), path});
    }
    ProgressSink sink(window, WM_ERASE_NOTIFY);
    SizeCounter counter(&sink);
    counter.SetItems(&items);
    counter.Walk();
    engine.SetItems(&items);
    engine.SetTotal(static_cast<std::int64_t>(counter.Bytes()) * engine.PassCount(),
                    engine.PassCount() <= 0);
    engine.SetSink(&sink);
    engine.Walk();
}

}  // namespace

std::intptr_t RecordingTarget::Send(std::uint32_t message, std::uintptr_t wParam,
                                    std::intptr_t lParam) {
    Message m{message, wParam, lParam, {}};
    std::string reason;
    if (wParam == ERN_FAILED) {
        m.text = reinterpret_cast<const char*>(lParam);
        m.value = 0;
        if (engine != nullptr) {
            reason = engine->LastFailureReason();  // valid while the worker waits for us
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.push_back(m);
        if (wParam == ERN_FAILED) {
            m_reasons.push_back(m.text + " - " + reason);
        }
    }
    if (onMessage) {
        onMessage(wParam, lParam);
    }
    if (wParam == ERN_FINISHED) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finished.notify_all();
    }
    return 0;
}

std::vector<RecordingTarget::Message> RecordingTarget::Messages() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

int RecordingTarget::Count(std::uintptr_t code) const {
    const std::vector<Message> messages = Messages();
    return static_cast<int>(std::count_if(messages.begin(), messages.end(),
                                          [&](const Message& m) { return m.code == code; }));
}

std::vector<std::string> RecordingTarget::Failures() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reasons;
}

bool RecordingTarget::WaitFinished(std::chrono::seconds limit) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_finished.wait_for(lock, limit, [this] {
        return !m_messages.empty() && m_messages.back().code == ERN_FINISHED;
    });
}

EraseRun::EraseRun(int passes, FileSystem* fileSystem)
    : engine(*new EraseEngine(passes, fileSystem)), target(*new RecordingTarget) {
    target.engine = &engine;
}

EraseRun::~EraseRun() {
    if (!m_hung) {
        delete &engine;
        delete &target;
    }
}

std::string EraseRun::Run(const std::vector<std::string>& paths, std::chrono::seconds limit) {
    if (captureStdOut) {
        testing::internal::CaptureStdout();
    }
    std::thread worker = StartEraseJob(paths, engine.PassCount(), &target, &engine);
    m_finished = target.WaitFinished(limit);
    if (m_finished) {
        worker.join();
    } else {
        engine.RequestCancel();
        worker.detach();
        m_hung = true;
        ADD_FAILURE() << "the erase run did not end within " << limit.count() << " s";
    }
    return captureStdOut ? testing::internal::GetCapturedStdout() : std::string();
}

ChildRun EraseInChild(int passes, const std::vector<std::string>& paths, bool unprivileged,
                      const std::function<void()>& prepare, FileSystem* fileSystem) {
    int pipeFds[2];
    ChildRun run;
    if (pipe(pipeFds) != 0) {
        return run;
    }
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        dup2(pipeFds[1], 1);
        close(pipeFds[0]);
        close(pipeFds[1]);
        if (unprivileged && (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
                             setresuid(65534, 65534, 65534) != 0)) {
            _exit(101);
        }
        if (prepare) {
            prepare();
        }
        EraseEngine engine(passes, fileSystem);
        RecordingTarget target;
        target.engine = &engine;
        CountAndErase(engine, paths, &target);
        for (const std::string& failure : target.Failures()) {
            std::printf("\nfailure: %s\n", failure.c_str());
        }
        for (const std::string& note : engine.Notes()) {
            std::printf("\nnote: %s\n", note.c_str());
        }
        std::fflush(nullptr);
        _exit(std::min(engine.FailedCount(), 100));
    }
    close(pipeFds[1]);
    const auto limit = std::chrono::minutes(5);
    if (child > 0 && !ReadToEnd(pipeFds[0], run.output, limit)) {
        kill(child, SIGKILL);  // a hang; WaitForChild reports it
    }
    close(pipeFds[0]);
    if (child > 0) {
        const int status = WaitForChild(child, limit);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return run;
}

std::string RunEraseHere(EraseEngine& engine, const std::vector<std::string>& paths) {
    testing::internal::CaptureStdout();
    CountAndErase(engine, paths);
    return testing::internal::GetCapturedStdout();
}

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st;
}

TreeState Snapshot(const std::string& root) {
    TreeState state;
    std::error_code error;
    namespace fs = std::filesystem;
    for (auto it = fs::recursive_directory_iterator(root, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const std::string path = it->path().string();
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) {
            state[path] = "vanished";
            continue;
        }
        std::string record = std::to_string(st.st_mode) + " " + std::to_string(st.st_mtim.tv_sec) +
                             "." + std::to_string(st.st_mtim.tv_nsec) + " ";
        if (S_ISREG(st.st_mode)) {
            record += ReadFile(path);
        } else if (S_ISLNK(st.st_mode)) {
            record += fs::read_symlink(path, error).string();
        }
        state[path] = record;
    }
    state[root] = std::to_string(state.size()) + " entries";
    return state;
}

bool MakeSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    path.copy(address.sun_path, path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    const bool ok = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) {
        close(fd);  // the socket file stays
    }
    return ok;
}

}  // namespace tolvane::test
