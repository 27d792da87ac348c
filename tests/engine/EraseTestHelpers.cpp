#include "EraseTestHelpers.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>

#include "engine/EraseJob.h"
#include "engine/SizeCounter.h"

namespace tolvane::test {

std::intptr_t RecordingTarget::Send(std::uint32_t message, std::uintptr_t wParam,
                                    std::intptr_t lParam) {
    Message m{wParam, lParam, {}};
    if (wParam == ERN_FAILED) {
        m.text = reinterpret_cast<const char*>(lParam);  // valid only during this call
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        lastMessageNumber = message;
        m_messages.push_back(m);
    }
    if (onMessage) {
        onMessage(wParam, lParam);
    }
    return 0;
}

std::vector<RecordingTarget::Message> RecordingTarget::Messages() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

int RecordingTarget::Count(std::uintptr_t code) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    int n = 0;
    for (const Message& m : m_messages) {
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

std::string RunErase(EraseEngine& engine, const std::vector<std::string>& paths,
                     RecordingTarget& target) {
    testing::internal::CaptureStdout();
    std::thread worker = StartEraseJob(paths, engine.PassCount(), &target, &engine);
    worker.join();
    return testing::internal::GetCapturedStdout();
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
    for (;;) {
        ssize_t n = read(m_fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
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

}  // namespace tolvane::test
