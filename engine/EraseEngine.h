#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/EraseRules.h"
#include "engine/FileBatch.h"
#include "engine/FreeSpaceWipe.h"
#include "engine/ItemWalker.h"
#include "engine/NameScrubber.h"
#include "engine/PatternSource.h"
#include "engine/PauseGate.h"
#include "engine/ProgressSink.h"
#include "engine/TraceFolder.h"
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
//
// Its parts: FileBatch overwrites the small files of a folder together, FreeSpaceWipe fills
// and releases a volume's free space, TraceFolder makes a trace folder again after its item;
// the engine keeps what each entry goes through and serves them as their Host.
class EraseEngine : public ItemWalker, private FileBatch::Host, private FreeSpaceWipe::Host {
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
    // FileBatch::Host and FreeSpaceWipe::Host.
    Opened OpenForErasing(int dirFd, const std::string& name, const FindData& entry,
                          bool& madeWritable) override;
    PassOutcome OverwritePass(int fd, int pass, const std::vector<ByteRange>& ranges,
                              std::uint64_t size, std::uint64_t& position,
                              SystemError& error) override;
    bool RemoveOverwritten(int fd, int dirFd, std::string& name, const FindData& identity,
                           std::string& reason) override;
    void Report(const std::string& path, int code, const std::string& reason) override;
    std::uint64_t Position() const override { return m_done; }
    void Progress(std::uint64_t position) override;
    void FilesDone(std::uint64_t files, std::uint64_t bytes) override;
    bool Stopped() const override { return IsCancelled(); }
    void NoteLeftUndone() override { NoteCutShort(); }
    void NoteChangedVolume(int fd) override;
    void ItemDone() override;
    std::uint64_t WriteFill(int fd, std::uint64_t size, SystemError& error) override;
    void ScrambleTimes(int fd) override;
    void ScrambleEntryTimes(int dirFd, const std::string& name) override;
    void WaitWhilePaused() override { m_gate.Pass(); }

    void OnEnterFolder(std::string& path, const FindData& entry) override;
    bool LowerLayerKeeps(const std::string& name);
    bool RemoveUnwritten(int dirFd, std::string& name, const FindData& entry, std::string& reason);
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
    bool IsFolderEmpty(int dirFd, const std::string& name);
    void RemoveFolder(int dirFd, std::string& name, const FindData& entry);
    std::uint64_t ByteShare(std::uint64_t bytes) const;
    void SyncChangedVolumes();

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
    std::vector<std::string> m_notes;
    TraceFolder m_trace;
    FileBatch m_batch;
    FreeSpaceWipe m_wipe;
    int m_notFoundCount = 0;
    int m_failedCount = 0;
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
