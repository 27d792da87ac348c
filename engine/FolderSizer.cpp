#include "engine/FolderSizer.h"

#include <fcntl.h>

#include <cerrno>

#include "engine/SizeCounter.h"
#include "platform/Directory.h"
#include "platform/IoPriority.h"
#include "platform/Volumes.h"

namespace tolvane {

// The run's own counting, told to stop as soon as the stop check says so. Only files and
// folders reach it: drive rows are measured without a walk, and a path that names nothing
// is never handed to the walk (which would read its name as a pattern).
class FolderSizerWalk : public SizeCounter {
public:
    FolderSizerWalk(FolderSizer& sizer, FileSystem& fileSystem, const FolderSizer::StopCheck& stop)
        : SizeCounter(nullptr, fileSystem), m_sizer(sizer), m_stop(stop) {}

    // The item's own folder could not be listed, so its total says nothing.
    bool RootUnreadable() const { return m_rootUnreadable; }

protected:
    void OnFile(std::string& path, const FindData& entry) override {
        if (!StopNow()) {
            SizeCounter::OnFile(path, entry);
        }
    }
    void OnEnterFolder(std::string& path, const FindData& entry) override {
        if (!StopNow()) {
            SizeCounter::OnEnterFolder(path, entry);
            m_sizer.FolderEntered();
        }
    }
    void OnWalkFailure(std::string&, WalkFailure what, int) override {
        // Below the item an unreadable folder only leaves its own part out of the total.
        if (what == WalkFailure::kList && AtItemRoot()) {
            m_rootUnreadable = true;
        }
    }

private:
    bool StopNow() {
        if (!IsCancelled() && m_stop && m_stop()) {
            RequestCancel();
        }
        return IsCancelled();
    }

    FolderSizer& m_sizer;
    const FolderSizer::StopCheck& m_stop;
    bool m_rootUnreadable = false;
};

FolderSizer::Result FolderSizer::Measure(const std::string& folder, const std::string& name,
                                         const StopCheck& stop) {
    if (folder.empty()) {
        m_reads = 0;
        return {DriveFreeBytes(name, *m_fileSystem), false};
    }
    return Count(folder + name, stop);
}

FolderSizer::Result FolderSizer::Count(const std::string& path, const StopCheck& stop) {
    m_reads = 0;
    FindData entry;
    const SystemError error =
        path.empty() ? SystemError() : m_fileSystem->StatEntry(AT_FDCWD, path, entry);
    if (path.empty() || error.Failed()) {
        // Gone: nothing to overwrite there. Anything else (a folder on the way that may not
        // be searched) leaves the size unknown.
        Result result;
        result.unreadable = error.number != 0 && error.number != ENOENT && error.number != ENOTDIR;
        return result;
    }
    if (!entry.IsDirectory()) {
        // The entry alone; a link is not followed and a special file is never written.
        return {entry.IsRegular() ? entry.size : 0, false};
    }
    EraseItemList items{EraseItem{ItemKind::Ordinary, path}};
    FolderSizerWalk walk(*this, *m_fileSystem, stop);
    walk.SetItems(&items);
    walk.Walk();
    Result result{walk.Bytes(), walk.IsCancelled(), walk.RootUnreadable()};
    if (result.unreadable) {
        result.bytes = 0;  // what the folder's entries gave before the listing failed
    }
    return result;
}

void FolderSizer::FolderEntered() {
    ++m_reads;
    if (m_reads == kLowerAfterReads) {
        // Best effort: a thread the kernel will not lower just counts at its old priority.
        m_lowered = SetIoPriority(0, IoPriority::Lowest);
    }
    if (m_hook) {
        m_hook(m_reads);
    }
}

void FolderSizer::RestorePriority() {
    if (m_lowered) {
        // Best effort, as the lowering: the next count then runs lowered from the start.
        SetIoPriority(0, IoPriority::Normal);
        m_lowered = false;
    }
}

std::uint64_t DriveFreeBytes(const std::string& driveSpec, FileSystem& fs) {
    std::string volumeRoot;
    // Only a volume of user data has free space the run would wipe: anything else shows 0,
    // as the run refuses it.
    if (!ParseDriveSpec(driveSpec, volumeRoot)) {
        return 0;
    }
    return AvailableBytes(fs, volumeRoot);
}

}  // namespace tolvane
