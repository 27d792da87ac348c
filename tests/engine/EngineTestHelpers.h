#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "engine/EraseEngine.h"
#include "engine/ItemWalker.h"
#include "engine/NotifyTarget.h"

namespace tolvane::test {

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
    std::vector<std::string> FailedPaths() const;
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

// Counts and erases `paths` in a forked child that acts as an unprivileged user (uid and gid
// 65534, no supplementary groups; root passes every permission check, so permission cases
// need one), or as the caller when `unprivileged` is false. `prepare` runs in the child first
// (to lower a limit, say). The exit status is the number of failed reports (at most 100); the
// engine's notes follow its output as lines "note: <text>".
// Folders the child must reach are the caller's to open up (see OpenUpTo).
ChildRun EraseInChild(int passes, const std::vector<std::string>& paths, bool unprivileged,
                      const std::function<void()>& prepare = {});

// Lets every user search the folders from the test environment's root down to `folder`, so
// that an unprivileged child can reach what a test made there.
void OpenUpTo(const std::string& folder);

// Bytes the calling thread has handed to write() so far. Per thread, so that nothing a
// sanitizer runtime or another thread writes is counted.
std::uint64_t WrittenByThisThread();

// Records the renames, creations and deletions inside one folder (not its subfolders).
class FolderEvents {
public:
    explicit FolderEvents(const std::string& folder);
    ~FolderEvents();
    // "from>to" for a rename, "+name" for a creation, "-name" for a deletion, in order.
    std::vector<std::string> Take();

private:
    int m_fd = -1;
};

// Sets or clears the immutable attribute (root on ext4/xfs); false when not possible here.
bool SetImmutable(const std::string& path, bool on);

// One call a walker made, with the path it passed (the item's path for OnItemBegin/End; for
// OnDrive the path buffer and the volume root).
struct WalkCall {
    std::string kind;  // "begin", "end", "file", "enter", "leave", "drive", "finish"
    std::string path;
    FindData entry;          // file, enter, leave
    std::string volumeRoot;  // drive
};

// An ItemWalker over ordinary items that logs every call. onFile runs after a file was
// logged (for cancelling from inside a handler).
class RecordingWalker : public ItemWalker {
public:
    explicit RecordingWalker(const std::vector<std::string>& paths);

    std::vector<WalkCall> calls;
    std::function<void(RecordingWalker&, const std::string&)> onFile;

    // "kind path" for every call, in order.
    std::vector<std::string> Log() const;
    std::vector<WalkCall> Calls(const std::string& kind) const;

protected:
    void OnFile(std::string& path, const FindData& entry) override {
        calls.push_back({"file", path, entry, {}});
        if (onFile) {
            onFile(*this, path);
        }
    }
    void OnEnterFolder(std::string& path, const FindData& e) override { Add("enter", path, e); }
    void OnLeaveFolder(std::string& path, const FindData& e) override { Add("leave", path, e); }
    void OnDrive(std::string& path, const std::string& root) override {
        calls.push_back({"drive", path, {}, root});
    }
    void OnItemBegin(const EraseItem& item) override { Add("begin", item.path); }
    void OnItemEnd(const EraseItem& item) override { Add("end", item.path); }
    void OnFinish() override { Add("finish", ""); }

private:
    void Add(const char* kind, const std::string& path, const FindData& entry = {}) {
        calls.push_back({kind, path, entry, {}});
    }
    EraseItemList m_items;
};

// Walks the paths with a RecordingWalker and returns its log.
std::vector<std::string> WalkLog(const std::vector<std::string>& paths);

// What a SizeCounter adds up for the paths: entries and bytes.
std::pair<std::int32_t, std::uint64_t> CountItems(const std::vector<std::string>& paths);

// Checks the nesting of file/enter/leave calls: every entry lies directly in the innermost
// open folder, every leave closes the folder entered last. Empty when it holds, else what
// is wrong.
std::string NestingError(const std::vector<WalkCall>& calls);

}  // namespace tolvane::test
