#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/EraseRules.h"
#include "platform/FileOps.h"
#include "platform/FindData.h"
#include "platform/SystemError.h"
#include "platform/UniqueFd.h"

namespace tolvane {

class FileSystem;

// Regular files of one folder, overwritten together: each pass is written to all of them and
// then made durable once for the whole batch, instead of once per file, which is what makes
// many small files slow (a sync is a journal commit and a cache flush of the disk). Then each
// is renamed, cut and removed in the order it was queued. A large file ends its batch.
//
// What it promises: a file is opened when it is queued and is written only while it has no
// other name (checked when opened, before each pass and before it is removed); a file whose
// size changes while it waits or is written is written again, whole, to its new end, a few
// times at most, and then stays; a file that stays (failed, stopped, linked, changing) keeps
// its size and the permission bits it had. Reports come in the order the files were queued,
// and an item's end (Host::ItemDone) is told only once the files queued before it are
// finished and reported, so that rows of single files share batches.
//
// What it needs: the run it belongs to (Host) for what a batched file shares with a file
// erased alone: opening it for erasing, writing one pass, the renames and the removal,
// reports, progress and the stop.
//
// Used by the engine's walk handlers on the run's worker thread only; the engine flushes it
// before anything that must come after the files queued so far (another folder, a report of
// its own, the end of the run).
class FileBatch {
public:
    // What the batch needs of its run.
    class Host {
    public:
        // Opens a file the walk saw as `entry` to be overwritten; `madeWritable` when its
        // permission bits were changed for that.
        virtual Opened OpenForErasing(int dirFd, const std::string& name, const FindData& entry,
                                      bool& madeWritable) = 0;
        // Writes pass `pass` over `ranges` of a file of `size` bytes; `position` moves by the
        // progress it makes.
        virtual PassOutcome OverwritePass(int fd, int pass, const std::vector<ByteRange>& ranges,
                                          std::uint64_t size, std::uint64_t& position,
                                          SystemError& error) = 0;
        // Renames, cuts and removes an overwritten file open as `fd`; false with the reason.
        virtual bool RemoveOverwritten(int fd, int dirFd, std::string& name,
                                       const FindData& identity, std::string& reason) = 0;
        virtual void Report(const std::string& path, int code, const std::string& reason) = 0;
        // Where progress stands, shows a position, and moves it by `files` finished files of
        // `bytes` (all passes together).
        virtual std::uint64_t Position() const = 0;
        virtual void Progress(std::uint64_t position) = 0;
        virtual void FilesDone(std::uint64_t files, std::uint64_t bytes) = 0;
        virtual bool Stopped() const = 0;
        // The stop left a file of the selection undone.
        virtual void NoteLeftUndone() = 0;
        // The folder `fd` belongs to a volume the run changes.
        virtual void NoteChangedVolume(int fd) = 0;
        // An item whose end was held for its queued files is done.
        virtual void ItemDone() = 0;

    protected:
        ~Host() = default;
    };

    FileBatch(FileSystem& fileSystem, Host& host, int passCount);

    bool Empty() const { return m_queue.empty(); }
    // True while the finished files are being reported.
    bool Flushing() const { return m_flushing; }

    // Opens the file `name` in `parentFd` (seen as `entry`, in `folder`) and queues it; a
    // batch that is full or of another folder is finished first, a large file right after.
    void Queue(int parentFd, const std::string& name, const std::string& path,
               const FindData& entry, const FindData& folder, bool lowerCopy);
    // Overwrites, removes and reports every queued file.
    void Flush();
    // The item being walked has ended: told now when nothing is queued, else after its files.
    void ItemEnded();
    // The process ran out of descriptors: the batch is finished, and the next ones are smaller.
    void DescriptorsShort();

private:
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

    void OverwriteQueue();
    void OverwriteFiles(const std::vector<QueuedFile*>& files);
    bool WriteRound(const std::vector<QueuedFile*>& files, std::uint64_t& position);
    bool StillAsOpened(QueuedFile& file);
    bool TakeNewSizes(const std::vector<QueuedFile*>& files, bool rewrite);
    void SyncFiles(const std::vector<QueuedFile*>& written);
    void FinishFile(QueuedFile& file);
    void RestoreStayingFile(int fd, std::uint64_t size, std::uint32_t mode);

    FileSystem& m_fs;
    Host& m_host;
    int m_passCount;
    std::vector<QueuedFile> m_queue;  // files of one folder waiting for their passes
    std::uint64_t m_queuedBytes = 0;
    UniqueFd m_queueDir;     // their folder
    FindData m_queueFolder;  // its identity
    // Items that ended while their files were still queued: for each, how many queued files
    // belong to it and the items before it. Its end is told once those are finished, so that
    // each item's reports still come before its end.
    std::vector<std::size_t> m_itemEndsQueued;
    bool m_flushing = false;
    std::size_t m_batchLimit;  // files a batch may hold open at once
};

}  // namespace tolvane
