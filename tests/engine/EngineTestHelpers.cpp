#include "EngineTestHelpers.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <thread>

#include "engine/EraseJob.h"
#include "engine/SizeCounter.h"

namespace tolvane::test {

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
    int n = 0;
    for (const Message& m : Messages()) {
        n += m.code == code ? 1 : 0;
    }
    return n;
}

std::vector<std::string> RecordingTarget::FailedPaths() const {
    std::vector<std::string> paths;
    for (const Message& m : Messages()) {
        if (m.code == ERN_FAILED) {
            paths.push_back(m.text);
        }
    }
    return paths;
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
    testing::internal::CaptureStdout();
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
    return testing::internal::GetCapturedStdout();
}

ChildRun EraseInChild(int passes, const std::vector<std::string>& paths, bool unprivileged,
                      const std::function<void()>& prepare) {
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
        EraseItemList items;
        for (const std::string& path : paths) {
            items.push_back(EraseItem{ClassifyItem(path), path});
        }
        ProgressSink sink;
        SizeCounter counter(&sink);
        counter.SetItems(&items);
        counter.Walk();
        EraseEngine engine(passes);
        engine.SetItems(&items);
        engine.SetTotal(static_cast<std::int64_t>(counter.Bytes()) * passes);
        engine.SetSink(&sink);
        engine.Walk();
        for (const std::string& note : engine.Notes()) {
            std::printf("\nnote: %s\n", note.c_str());
        }
        std::fflush(nullptr);
        _exit(std::min(engine.FailedCount(), 100));
    }
    close(pipeFds[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        run.output.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        run.status = WEXITSTATUS(status);
    }
    return run;
}

void OpenUpTo(const std::string& folder) {
    std::string root = std::getenv("TMPDIR");
    root = root.substr(0, root.rfind('/'));  // the test environment's root holds TMPDIR
    for (std::string path = folder; path.size() >= root.size();
         path = path.substr(0, path.rfind('/'))) {
        struct stat st;
        if (stat(path.c_str(), &st) == 0) {
            chmod(path.c_str(), (st.st_mode & 07777) | 0711);
        }
        if (path.find('/') == std::string::npos) {
            break;
        }
    }
}

std::string RunEraseHere(EraseEngine& engine, const std::vector<std::string>& paths) {
    EraseItemList items;
    for (const std::string& path : paths) {
        items.push_back(EraseItem{ClassifyItem(path), path});
    }
    testing::internal::CaptureStdout();
    ProgressSink sink;
    SizeCounter counter(&sink);
    counter.SetItems(&items);
    counter.Walk();
    engine.SetItems(&items);
    engine.SetTotal(static_cast<std::int64_t>(counter.Bytes()) * engine.PassCount());
    engine.SetSink(&sink);
    engine.Walk();
    return testing::internal::GetCapturedStdout();
}

std::uint64_t WrittenByThisThread() {
    std::ifstream io("/proc/thread-self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value) {
        if (key == "wchar:") {
            return value;
        }
    }
    return 0;
}

FolderEvents::FolderEvents(const std::string& folder) {
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd >= 0) {
        inotify_add_watch(m_fd, folder.c_str(),
                          IN_MOVED_FROM | IN_MOVED_TO | IN_CREATE | IN_DELETE);
    }
}

FolderEvents::~FolderEvents() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

std::vector<std::string> FolderEvents::Take() {
    std::vector<std::string> events;
    std::map<std::uint32_t, std::string> movedFrom;
    alignas(inotify_event) char buffer[65536];
    for (ssize_t n; (n = read(m_fd, buffer, sizeof buffer)) > 0;) {
        for (char* p = buffer; p < buffer + n;) {
            auto* e = reinterpret_cast<inotify_event*>(p);
            std::string name = e->len ? e->name : "";
            if (e->mask & IN_MOVED_FROM) {
                movedFrom[e->cookie] = name;
            } else if (e->mask & IN_MOVED_TO) {
                events.push_back(movedFrom[e->cookie] + ">" + name);
            } else if (e->mask & IN_CREATE) {
                events.push_back("+" + name);
            } else if (e->mask & IN_DELETE) {
                events.push_back("-" + name);
            }
            p += sizeof(inotify_event) + e->len;
        }
    }
    return events;
}

bool SetImmutable(const std::string& path, bool on) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    close(fd);
    return ok;
}

namespace {
EraseItemList OrdinaryItems(const std::vector<std::string>& paths) {
    EraseItemList items;
    for (const std::string& path : paths) {
        items.push_back({ItemKind::Ordinary, path});
    }
    return items;
}
}  // namespace

RecordingWalker::RecordingWalker(const std::vector<std::string>& paths)
    : m_items(OrdinaryItems(paths)) {
    SetItems(&m_items);
}

std::vector<std::string> RecordingWalker::Log() const {
    std::vector<std::string> log;
    for (const WalkCall& call : calls) {
        log.push_back(call.path.empty() ? call.kind : call.kind + " " + call.path);
    }
    return log;
}

std::vector<WalkCall> RecordingWalker::Calls(const std::string& kind) const {
    std::vector<WalkCall> found;
    for (const WalkCall& call : calls) {
        if (call.kind == kind) {
            found.push_back(call);
        }
    }
    return found;
}

std::vector<std::string> WalkLog(const std::vector<std::string>& paths) {
    RecordingWalker walker(paths);
    walker.Walk();
    return walker.Log();
}

std::pair<std::int32_t, std::uint64_t> CountItems(const std::vector<std::string>& paths) {
    EraseItemList items = OrdinaryItems(paths);
    SizeCounter counter;
    counter.SetItems(&items);
    counter.Walk();
    return {counter.Count(), counter.Bytes()};
}

std::string NestingError(const std::vector<WalkCall>& calls) {
    std::vector<std::string> open;  // folders entered and not left yet, the innermost last
    for (const WalkCall& call : calls) {
        if (call.kind == "leave") {
            if (open.empty() || open.back() != call.path) {
                return "leave " + call.path + " does not close the folder entered last";
            }
            open.pop_back();
        } else if (call.kind == "enter" || call.kind == "file") {
            std::string path = call.path;
            if (call.kind == "enter") {
                if (path.empty() || path.back() != '/') {
                    return "entered folder without trailing '/': " + path;
                }
                path.pop_back();
            }
            if (!open.empty() &&
                (path.size() <= open.back().size() || !path.starts_with(open.back()) ||
                 path.find('/', open.back().size()) != std::string::npos)) {
                return call.path + " is not directly inside " + open.back();
            }
            if (call.kind == "enter") {
                open.push_back(call.path);
            }
        }
    }
    return open.empty() ? std::string() : "folder never left: " + open.back();
}

}  // namespace tolvane::test
