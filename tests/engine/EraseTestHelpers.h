#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/EraseEngine.h"
#include "engine/NotifyTarget.h"

namespace tolvane::test {

// A window stand-in that records every notification. Send runs on the worker thread; the
// optional hook runs there too, inside Send, as a window's handler would.
class RecordingTarget : public NotifyTarget {
public:
    struct Message {
        std::uintptr_t code;
        std::intptr_t value;
        std::string text;  // the path of ERN_FAILED
    };

    std::intptr_t Send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;

    std::vector<Message> Messages() const;
    int Count(std::uintptr_t code) const;
    std::vector<std::string> FailedPaths() const;

    std::function<void(std::uintptr_t code, std::intptr_t value)> onMessage;
    std::uint32_t lastMessageNumber = 0;

private:
    mutable std::mutex m_mutex;
    std::vector<Message> m_messages;  // guarded by m_mutex
};

// Runs an erase job on its worker thread and waits for it; returns what it wrote to standard
// output.
std::string RunErase(EraseEngine& engine, const std::vector<std::string>& paths,
                     RecordingTarget& target);

// Runs a count and an erase walk like the worker does, but on the calling thread, without a
// window; returns what it wrote to standard output.
std::string RunEraseHere(EraseEngine& engine, const std::vector<std::string>& paths);

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

}  // namespace tolvane::test
