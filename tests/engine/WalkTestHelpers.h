#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/EraseItem.h"
#include "engine/ItemWalker.h"
#include "platform/FindData.h"

namespace tolvane::test {

// One call the walker made, with the path it passed (for OnItemBegin/End/RootRefused the
// item's path; for OnDrive the path buffer and the volume root).
struct WalkCall {
    std::string kind;  // "begin", "end", "file", "enter", "leave", "drive", "refused", "finish"
    std::string path;
    FindData entry;          // file, enter, leave
    std::string volumeRoot;  // drive
};

// An ItemWalker that logs every call. onFile runs after a file was logged (for cancelling
// from inside a handler). With stopOnAnyEntry, the first file or folder entry cancels the
// walk, so a test that must not walk anything can never walk far.
class RecordingWalker : public ItemWalker {
public:
    std::vector<WalkCall> calls;
    std::function<void(RecordingWalker&, const std::string&)> onFile;
    bool stopOnAnyEntry = false;

    // "kind path" for every call, in order.
    std::vector<std::string> Log() const;
    // The calls of one kind.
    std::vector<WalkCall> Calls(const std::string& kind) const;

protected:
    void OnFile(std::string& path, const FindData& entry) override;
    void OnEnterFolder(std::string& path, const FindData& entry) override;
    void OnLeaveFolder(std::string& path, const FindData& entry) override;
    void OnDrive(std::string& path, const std::string& volumeRoot) override;
    void OnItemBegin(const EraseItem& item) override;
    void OnItemEnd(const EraseItem& item) override;
    void OnFinish() override;
    void OnRootRefused(const EraseItem& item) override;
};

EraseItemList MakeItems(const std::vector<std::string>& paths);

// Walks the items with a RecordingWalker and returns its log.
std::vector<std::string> WalkLog(const std::vector<std::string>& paths);

// Checks the nesting of file/enter/leave calls: every entry lies directly in the innermost
// open folder, every leave closes the folder entered last. Empty when it holds, else what
// is wrong.
std::string NestingError(const std::vector<WalkCall>& calls);

// A bind mount of a folder the test made, undone when it goes. Mounted() false (with
// SkipReason()) when mounting is not permitted.
class BindMount {
public:
    BindMount(const std::string& source, const std::string& target);
    ~BindMount();
    BindMount(const BindMount&) = delete;
    BindMount& operator=(const BindMount&) = delete;

    bool Mounted() const { return m_mounted; }
    const std::string& SkipReason() const { return m_skipReason; }

private:
    std::string m_target;
    std::string m_skipReason;
    bool m_mounted = false;
};

// A chain of `levels` folders named `name` below `root`, made with mkdirat relative to
// descriptors (the full path may exceed PATH_MAX), with a file `fileName` of `fileSize`
// bytes in the deepest one. RemoveChain undoes it the same way.
bool MakeChain(const std::string& root, const std::string& name, int levels,
               const std::string& fileName, std::size_t fileSize);
void RemoveChain(const std::string& root, const std::string& name, int levels,
                 const std::string& fileName);

}  // namespace tolvane::test
