#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/ItemWalker.h"
#include "engine/NameScrubber.h"
#include "engine/PatternSource.h"
#include "engine/PauseGate.h"
#include "engine/ProgressSink.h"
#include "platform/FileOps.h"
#include "platform/SystemError.h"
#include "platform/UniqueFd.h"

namespace tolvane {

class FileSystem;
class OverlayLayers;

// Destroys what an erase run visits. Per file, in this order: make it owner-writable, switch
// off compression, open it for writing without truncating, overwrite what it holds in place
// with every pass (a sync after each completed pass), rename it twice to meaningless names,
// truncate it to zero and scramble its times through the descriptor that was overwritten,
// delete it. Links and special files (FIFOs, sockets, devices) are never opened for writing:
// they are renamed and removed. Folders are removed once empty; a drive spec stands for the
// volume's free space, which is filled with fill files and released.
//
// What it never does: write to a file that has other names (hard links; decided from the
// opened file right before writing and again before cutting), delete a name that no longer
// holds the file it overwrote, or delete a file whose overwrite failed or was stopped: such
// a file stays under its own name, untruncated, with the permission bits it had, and is
// reported failed with its reason (LastFailureReason()).
//
// Progress units: with passes, bytes times passes; with 0 passes, entries.
//
// Created by the window that starts a run, used by exactly one worker thread through Walk(),
// deleted by the window on ERN_FINISHED (nothing touches the engine after OnFinish sends it).
// RequestCancel() and Gate() may be used from the window's thread.
class EraseEngine : public ItemWalker {
public:
    // fileSystem: where changes go (not owned; the real one when null). Tests pass one that
    // fails on purpose.
    explicit EraseEngine(int passCount, FileSystem* fileSystem = nullptr);
    ~EraseEngine() override;

    // False when no random source works: a run must not start with this engine.
    bool Ready() const { return m_patterns.Ready(); }
    int PassCount() const { return m_passCount; }

    // The total of the run's progress, in bytes written or, with `entries`, in entries done.
    void SetTotal(std::int64_t total, bool entries) {
        m_total = total;
        m_countEntries = entries;
    }
    std::int64_t Total() const { return m_total; }
    bool CountsEntries() const { return m_countEntries; }
    std::uint64_t Done() const { return m_done; }
    // The bytes the passes wrote, all passes together (what write() took, not what the files
    // and the free space were said to hold).
    std::uint64_t BytesWritten() const { return m_bytesWritten; }
    void SetSink(ProgressSink* sink) { m_sink = sink; }
    PauseGate& Gate() { return m_gate; }
    // Items reported as naming nothing, and paths reported as not erased (also refused ones).
    // Read them before deleting the engine, e.g. while handling ERN_FINISHED.
    int NotFoundCount() const { return m_notFoundCount; }
    int FailedCount() const { return m_failedCount; }
    // Why the path being reported failed, in words for the user; read it while ERN_FAILED is
    // handled (the worker waits meanwhile).
    const std::string& LastFailureReason() const { return m_lastReason; }
    // What the user should know about the run beyond failures (free space that no write could
    // reach), one line each; read them while handling ERN_FINISHED.
    const std::vector<std::string>& Notes() const { return m_notes; }
    // Seconds the run spent making the erased entries' names unreadable on the medium.
    double NameSeconds() const { return m_names.Seconds(); }

    // The odometer over 'a'..'z', first character least significant; a carry past the end
    // appends 'a' ("zz" -> "aaa", "" -> "a").
    static void NextName(std::string& name);
    // Moves each time back by (r & 0x7FFFF) in the high and (r & 0xFFF80000) in the low 32 bits,
    // two separate wrapping subtractions (no borrow between the halves).
    static std::int64_t ScrambleTime(std::int64_t fileTime, std::uint32_t r);

protected:
    void OnFile(std::string& path, const FindData& entry) override;
    void OnLeaveFolder(std::string& path, const FindData& entry) override;
    void OnDrive(std::string& path, const std::string& volumeRoot) override;
    void OnItemBegin(const EraseItem& item) override;
    void OnItemEnd(const EraseItem& item) override;
    void OnFinish() override;
    void OnItemRefused(const EraseItem& item, const std::string& reason) override;
    void OnWalkFailure(std::string& path, WalkFailure what, int error) override;
    void OnDescriptorsShort() override;

private:
    void TellItemDone();
    enum class PassOutcome { kCompleted, kStopped, kFailed };
    // What a trace folder looked like before its item was erased, to bring it back.
    struct TraceFolder {
        std::string path;  // the folder to recreate ("" when nothing is recreated)
        std::uint32_t mode = 0700;
        std::uint32_t uid = 0;
        std::uint32_t gid = 0;
        bool known = false;       // it existed: restore its owner too
        bool trash = false;       // also recreate files/ and info/
        bool followLink = false;  // a link in its place names the folder
    };

    // A regular file opened to be overwritten with the others of its batch.
    struct QueuedFile {
        int dirFd = -1;  // its folder: the queue's own descriptor
        std::string name;
        std::string reportPath;
        FindData entry;
        UniqueFd fd;
        std::uint64_t size = 0;         // as opened, or as found when it changed
        std::vector<ByteRange> ranges;  // what each pass writes
        std::uint32_t restoreMode = 0;  // bits to put back if it stays; 0: none were changed
        int passesDone = 0;
        bool touched = false;    // some pass wrote to it
        bool changed = false;    // its size changed: its passes start again
        bool lostTail = false;   // it was cut shorter before a pass reached its end
        bool lowerCopy = false;  // an overlay's lower layer keeps its original
        bool ok = false;
        std::string reason;  // why it stays, when !ok

        // Its size once passes were written: they run to the end of the medium's last block.
        std::uint64_t SizeAfterPasses() const {
            return touched && !ranges.empty() ? std::max(size, ranges.back().end) : size;
        }
    };

    void OnEnterFolder(std::string& path, const FindData& entry) override;
    void QueueFile(const std::string& path, const FindData& entry, const FindData& folder,
                   bool lowerCopy);
    bool LowerLayerKeeps(const std::string& name);
    void FlushFiles();
    void OverwriteQueue();
    void OverwriteFiles(const std::vector<QueuedFile*>& files);
    bool WriteRound(const std::vector<QueuedFile*>& files, std::uint64_t& position);
    bool StillAsOpened(QueuedFile& file);
    bool TakeNewSizes(const std::vector<QueuedFile*>& files, bool rewrite);
    void SyncFiles(const std::vector<QueuedFile*>& written);
    void FinishFile(QueuedFile& file);
    void RestoreStayingFile(int fd, std::uint64_t size, std::uint32_t mode);
    bool RemoveUnwritten(int dirFd, std::string& name, const FindData& entry, std::string& reason);
    Opened OpenForErasing(int dirFd, const std::string& name, const FindData& entry,
                          bool& madeWritable);
    PassOutcome WritePasses(int fd, std::uint64_t size, const std::vector<ByteRange>& ranges,
                            bool fill, std::uint64_t& written, SystemError& error);
    PassOutcome WritePass(int fd, int pass, const std::vector<ByteRange>& ranges,
                          std::uint64_t size, bool fill, std::uint64_t& position,
                          std::uint64_t& written, SystemError& error);
    std::uint64_t WriteBlock(int fd, const std::uint8_t* block, std::uint64_t length,
                             std::uint64_t offset, SystemError& error);
    // How the two renames of an entry went.
    struct Renamed {
        bool ok = false;
        std::string reason;      // why not, in words for the report
        SystemError firstError;  // the first rename failed: the entry kept its own name
        std::string firstStage;  // its name after the first rename
        // True when renamed; else `out` takes the reason.
        bool Done(std::string& out) const {
            if (!ok) {
                out = reason;
            }
            return ok;
        }
    };
    // The two renames of an entry that must be `identity`; not ok when the first failed or
    // something else than the entry was moved.
    Renamed ObscureName(int dirFd, std::string& name, const FindData& identity);
    bool RenamedWhatWasChosen(int dirFd, const std::string& from, const std::string& to,
                              const FindData& identity, std::string& reason);
    SystemError RenameToFreeName(int dirFd, const std::string& from, std::string& to);
    bool CutAndRemove(int fd, int dirFd, const std::string& name, const FindData& identity,
                      std::string& reason);
    void ScrambleTimes(int fd);
    void ScrambleEntryTimes(int dirFd, const std::string& name);
    bool IsFolderEmpty(int dirFd, const std::string& name);
    void RemoveFolder(int dirFd, std::string& name, const FindData& entry);
    std::uint64_t ByteShare(std::uint64_t bytes) const;
    void Progress(std::uint64_t position);
    void Report(const std::string& path, int code, const std::string& reason);
    bool WipeFreeSpace(const std::string& volumeRoot, std::string& reason);
    std::uint64_t FillWithUnnamedFiles(int rootFd, UniqueFd first, const std::string& volumeRoot,
                                       SystemError& error);
    bool FillWithNamedFiles(int rootFd, const std::string& volumeRoot, std::uint64_t& written,
                            SystemError& error);
    std::uint64_t FillFreeSpace(int folderFd, const std::function<int(SystemError&)>& next,
                                SystemError& error);
    void NoteUnreachedSpace(int rootFd, const std::string& volumeRoot, std::uint64_t written);
    void ReleaseFillFiles(int folderFd);
    void ReleaseLeftFillFiles(int rootFd, const std::string& volumeRoot);
    void NoteChangedVolume(int fd);
    void SyncChangedVolumes();
    void NoteTraceFolder(const EraseItem& item);
    bool StatTraceFolder(const std::string& path, FindData& folder) const;
    void RecreateTraceFolder();

    int m_passCount;
    FileSystem& m_fs;
    std::uint64_t m_done = 0;
    std::uint64_t m_bytesWritten = 0;
    std::int64_t m_total = -1;
    bool m_countEntries = false;  // progress moves by entries, not bytes
    std::string m_reportPath;
    std::string m_lastReason;  // the reason of the report being sent
    PatternSource m_patterns;
    ProgressSink* m_sink = nullptr;
    PauseGate m_gate;
    bool m_itemTouched = false;
    TraceFolder m_trace;
    std::vector<std::string> m_notes;
    int m_notFoundCount = 0;
    int m_failedCount = 0;
    std::vector<QueuedFile> m_queue;  // files of one folder waiting for their passes
    std::uint64_t m_queuedBytes = 0;
    UniqueFd m_queueDir;  // their folder
    // Items that ended while their files were still queued: for each, how many queued files
    // belong to it and the items before it. Its end is told once those are finished, so that
    // rows of single files share batches and each item's reports still come before its end.
    std::vector<std::size_t> m_itemEndsQueued;
    bool m_flushing = false;
    FindData m_queueFolder;                   // its identity
    std::size_t m_batchLimit;                 // files a batch may hold open at once
    NameScrubber m_names;                     // what the removed names leave on the medium
    std::unique_ptr<OverlayLayers> m_layers;  // of the folder m_layersFolder
    FindData m_layersFolder;
    // A folder of each volume the run changed, to make the changes durable at its end.
    struct ChangedVolume {
        std::uint64_t device = 0;
        UniqueFd folder;
    };
    std::vector<ChangedVolume> m_changedVolumes;
};

}  // namespace tolvane
