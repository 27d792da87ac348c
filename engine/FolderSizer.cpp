#include "engine/FolderSizer.h"

#include <fcntl.h>

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
    FolderSizerWalk(FolderSizer& sizer, const FolderSizer::StopCheck& stop)
        : m_sizer(sizer), m_stop(stop) {}

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

private:
    bool StopNow() {
        if (!IsCancelled() && m_stop && m_stop()) {
            RequestCancel();
        }
        return IsCancelled();
    }

    FolderSizer& m_sizer;
    const FolderSizer::StopCheck& m_stop;
};

FolderSizer::Result FolderSizer::Measure(const std::string& folder, const std::string& name,
                                         const StopCheck& stop) {
    if (folder.empty()) {
        m_reads = 0;
        return {DriveFreeBytes(name), false};
    }
    return Count(folder + name, stop);
}

FolderSizer::Result FolderSizer::Count(const std::string& path, const StopCheck& stop) {
    m_reads = 0;
    FindData entry;
    if (path.empty() || !StatEntry(AT_FDCWD, path, entry)) {
        return {};  // gone or unreadable: nothing to overwrite there
    }
    if (!entry.IsDirectory()) {
        // The entry alone; a link is not followed and a special file is never written.
        return {entry.IsRegular() ? entry.size : 0, false};
    }
    EraseItemList items{EraseItem{ItemKind::Ordinary, path}};
    FolderSizerWalk walk(*this, stop);
    walk.SetItems(&items);
    walk.Walk();
    return {walk.Bytes(), walk.IsCancelled()};
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

std::uint64_t DriveFreeBytes(const std::string& driveSpec) {
    std::string volumeRoot;
    // Only a volume of user data has free space the run would wipe: anything else shows 0,
    // as the run refuses it.
    if (!ParseDriveSpec(driveSpec, volumeRoot)) {
        return 0;
    }
    return FreeBytes(volumeRoot);
}

}  // namespace tolvane
