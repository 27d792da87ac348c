#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "engine/EraseEngine.h"
#include "engine/NotifyTarget.h"

namespace tolvane::test {

// What the engine writes before a report line, to blank the progress line.
inline const std::string kBlank = "\r                    \r";

// A window stand-in that records every notification. Send may run on the worker thread; the
// optional hook runs there too, inside Send, as a window's handler would.
class RecordingTarget : public NotifyTarget {
public:
    struct Message {
        std::uint32_t number;
        std::uintptr_t code;
        std::intptr_t value;  // 0 for ERN_FAILED: its pointer means nothing after the call
        std::string text;     // the path of ERN_FAILED, copied while the call lasts
        bool operator==(const Message&) const = default;
    };

    std::intptr_t Send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;

    std::vector<Message> Messages() const;
    int Count(std::uintptr_t code) const;
    // "<path> - <reason>" for every ERN_FAILED, the reason read from `engine`.
    std::vector<std::string> Failures() const;
    // False when ERN_FINISHED has not arrived within `limit`.
    bool WaitFinished(std::chrono::seconds limit) const;

    std::function<void(std::uintptr_t code, std::intptr_t value)> onMessage;
    const EraseEngine* engine = nullptr;  // where failure reasons are read, when set

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_finished;
    std::vector<Message> m_messages;     // guarded by m_mutex
    std::vector<std::string> m_reasons;  // guarded by m_mutex
};

inline std::ostream& operator<<(std::ostream& out, const RecordingTarget::Message& m) {
    return out << "{" << m.number << ", " << m.code << ", " << m.value << ", \"" << m.text << "\"}";
}

// An erase job run the way a window runs it: StartEraseJob, a worker thread, notifications to
// `target`. A run that hangs (an open that blocks on a FIFO, say) must fail its test, not stop
// the suite: the worker is then asked to cancel and left behind, and the engine and target it
// uses are deliberately never freed.
class EraseRun {
public:
    explicit EraseRun(int passes, FileSystem* fileSystem = nullptr);
    ~EraseRun();
    EraseRun(const EraseRun&) = delete;
    EraseRun& operator=(const EraseRun&) = delete;

    // Waits at most `limit` for the end; returns what the run wrote to standard output.
    std::string Run(const std::vector<std::string>& paths,
                    std::chrono::seconds limit = std::chrono::seconds(60));
    bool Finished() const { return m_finished; }

    EraseEngine& engine;
    RecordingTarget& target;
    // False: standard output stays what it is (closed, say) and Run returns "".
    bool captureStdOut = true;

private:
    bool m_finished = false;
    bool m_hung = false;
};

// Counts and erases like the worker, but on the calling thread and without a window; returns
// what it wrote to standard output.
std::string RunEraseHere(EraseEngine& engine, const std::vector<std::string>& paths);

// A run in a forked child: what it wrote to standard output, and its exit status (-1 when it
// did not exit normally).
struct ChildRun {
    std::string output;
    int status = -1;
};

// Counts and erases `paths` in a forked child, as uid/gid 65534 without groups when
// `unprivileged` (root passes every permission check). `prepare` runs in the child first (to
// lower a limit, say). Exit status: the failed reports (at most 100); the output is followed
// by lines "failure: <path> - <reason>" and "note: <text>".
// Folders the child must reach are the caller's to open up (see OpenUpTo).
// `fileSystem`: where the child's engine makes its changes (the real one when null).
ChildRun EraseInChild(int passes, const std::vector<std::string>& paths, bool unprivileged,
                      const std::function<void()>& prepare = {}, FileSystem* fileSystem = nullptr);

// lstat of a path that must exist.
struct stat StatOf(const std::string& path);

// What a tree looks like, in enough detail to see any change: per entry its type and mode,
// its modification time, and a file's content or a link's target.
using TreeState = std::map<std::string, std::string>;
TreeState Snapshot(const std::string& root);

// A socket file nobody listens on, like one of a program that is running; false on failure.
bool MakeSocket(const std::string& path);

}  // namespace tolvane::test
