#include "engine/FileBatch.h"

#include <errno.h>

#include <algorithm>

#include "engine/FailureReasons.h"
#include "engine/PatternSource.h"
#include "engine/ProgressSink.h"
#include "platform/FileSystem.h"
#include "platform/ProcessLimits.h"

namespace tolvane {
namespace {

// A batch of small files: at most this many bytes, and files up to this size (a larger one
// ends its batch, as its own passes take long enough to need no company).
constexpr std::uint64_t kBatchByteLimit = 64u << 20;
constexpr std::uint64_t kBatchFileLimit = 1u << 20;
// Files a batch holds open at once, leaving the descriptors the walk needs for deep trees.
// Larger batches were measured: 16,384 files cost more system time than the syncs they save.
constexpr std::size_t kMaxBatchFiles = 4096;

// How often a file whose size changes while it is overwritten is written again before it is
// left alone (another program keeps writing it).
constexpr int kRewrites = 2;

// What a pass writes: the ranges that hold data, in blocks, up to the end of the file's last
// block on the medium (an empty file gets one, as every file is written at least once). A
// sparse file's holes are skipped: filling them would take space the disk may not have before
// the data behind them is reached. The end is not padded to a whole block of ours: that would
// grow a 100-byte file to 32 KiB on the disk for nothing, as the medium's block holds all of it.
std::vector<ByteRange> BlocksToWrite(int fd, std::uint64_t size) {
    const std::uint64_t mediumBlock = std::max<std::uint64_t>(PreferredBlockSize(fd), 512);
    const std::uint64_t end = std::max(RoundUp(size, mediumBlock), mediumBlock);
    if (size == 0) {
        return {{0, end}};
    }
    std::vector<ByteRange> blocks;
    for (const ByteRange& data : DataRanges(fd, size)) {
        ByteRange range{data.start / kBlockSize * kBlockSize,
                        std::min(RoundUp(data.end, kBlockSize), end)};
        if (!blocks.empty() && range.start <= blocks.back().end) {
            blocks.back().end = std::max(blocks.back().end, range.end);
        } else {
            blocks.push_back(range);
        }
    }
    return blocks;
}

bool OutOfDescriptors(int error) {
    return error == EMFILE || error == ENFILE;
}

}  // namespace

FileBatch::FileBatch(FileSystem& fileSystem, Host& host, int passCount)
    : m_fs(fileSystem),
      m_host(host),
      m_passCount(passCount),
      m_batchLimit(std::clamp<std::size_t>(OpenFileLimit() / 4, 1, kMaxBatchFiles)) {}

void FileBatch::Queue(int parentFd, const std::string& name, const std::string& path,
                      const FindData& entry, const FindData& folder, bool lowerCopy) {
    if (!m_queue.empty() && !SameFile(folder, m_queueFolder)) {
        Flush();  // a batch holds the files of one folder
    }
    QueuedFile file;
    file.name = name;
    file.reportPath = path;
    file.entry = entry;
    file.lowerCopy = lowerCopy;
    bool madeWritable = false;
    for (;;) {
        if (m_queue.empty()) {
            // A descriptor of our own: the walk closes its folders when it leaves them, and
            // the queue may outlive that.
            m_queueDir = DuplicateDescriptor(parentFd);
            m_queueFolder = folder;
        }
        file.dirFd = m_queueDir.Valid() ? m_queueDir.Get() : parentFd;
        if (m_host.Stopped()) {
            file.reason = kStoppedBeforeReached;
            break;
        }
        Opened opened = m_host.OpenForErasing(file.dirFd, file.name, entry, madeWritable);
        file.fd = std::move(opened.fd);
        if (!file.fd.Valid()) {
            // EINVAL: the name now holds something else than the file the walk saw.
            file.reason = opened.error.number == EINVAL
                              ? std::string(kChangedWhileListing)
                              : FailureReason(kCouldNotBeOpened, opened.error);
        }
        if (file.fd.Valid() || !OutOfDescriptors(opened.error.number) || m_queue.empty()) {
            break;
        }
        DescriptorsShort();  // the batch, with the folders of a deep walk, holds too many
    }
    file.restoreMode = madeWritable ? entry.mode : 0;
    FindData opened;
    if (!file.fd.Valid() || m_fs.StatDescriptor(file.fd.Get(), opened).Failed()) {
        // why it could not be opened is said already; an open file can always be examined
    } else if (opened.links > 1) {
        // Another name shares this content (perhaps made just now, after the listing):
        // overwriting it would destroy what that name holds.
        file.reason = kHasOtherNames;
    } else {
        // The size of the file as opened: it may have grown since the listing.
        file.size = opened.size;
        file.ranges = BlocksToWrite(file.fd.Get(), file.size);
        file.ok = true;
    }
    m_queuedBytes += file.size;
    // Without a descriptor of its own for the folder, the batch cannot outlive this call.
    const bool alone = file.size > kBatchFileLimit || !m_queueDir.Valid();
    m_queue.push_back(std::move(file));
    if (alone || m_queue.size() >= m_batchLimit || m_queuedBytes >= kBatchByteLimit) {
        Flush();
    }
}

void FileBatch::Flush() {
    if (m_queue.empty()) {
        return;
    }
    m_host.NoteChangedVolume(m_queue.front().dirFd);
    OverwriteQueue();
    // Progress moves by each file's share, whatever happened to it, so the percentage stays
    // right.
    std::uint64_t bytes = 0;
    for (const QueuedFile& file : m_queue) {
        bytes += static_cast<std::uint64_t>(m_passCount) * file.entry.size;
    }
    m_host.FilesDone(m_queue.size(), bytes);
    m_flushing = true;
    auto itemEnd = m_itemEndsQueued.begin();
    for (std::size_t finished = 1; QueuedFile & file : m_queue) {
        FinishFile(file);
        for (; itemEnd != m_itemEndsQueued.end() && *itemEnd == finished; ++itemEnd) {
            m_host.ItemDone();
        }
        ++finished;
    }
    m_flushing = false;
    m_itemEndsQueued.clear();
    m_queue.clear();
    m_queuedBytes = 0;
    m_queueDir.Reset();
}

// Every pass to every file of the queue, each pass made durable before the next overwrites
// it in the cache. A stop takes effect between files and blocks; files that were not
// completely overwritten then stay.
void FileBatch::OverwriteQueue() {
    std::vector<QueuedFile*> files;
    for (QueuedFile& file : m_queue) {
        files.push_back(&file);
    }
    OverwriteFiles(files);
}

// Files are open while others are written, so another program may change them meanwhile: a
// file whose size changed is written again, whole, to its new end, a few times at most.
void FileBatch::OverwriteFiles(const std::vector<QueuedFile*>& files) {
    std::uint64_t position = m_host.Position();
    for (int round = 0;; ++round) {
        if (WriteRound(files, position) || !TakeNewSizes(files, round < kRewrites)) {
            break;
        }
    }
    for (QueuedFile* file : files) {
        if (file->ok && file->passesDone < m_passCount) {
            // A file the stop came before is left as the walk leaves the files it did not
            // reach; one that some pass wrote to stays and is listed.
            file->ok = false;
            file->reason = file->touched ? kStoppedDuringOverwrite : std::string();
            m_host.NoteLeftUndone();
        }
    }
}

// Every pass still due to the files; true when a stop came.
bool FileBatch::WriteRound(const std::vector<QueuedFile*>& files, std::uint64_t& position) {
    bool stopped = false;
    for (int pass = 0; pass < m_passCount && !stopped; ++pass) {
        std::vector<QueuedFile*> written;
        for (QueuedFile* file : files) {
            if (!file->ok || file->changed || file->passesDone != pass) {
                continue;
            }
            if (m_host.Stopped()) {
                stopped = true;
                break;
            }
            if (!StillAsOpened(*file)) {
                continue;
            }
            SystemError error;
            file->touched = true;
            PassOutcome outcome = m_host.OverwritePass(file->fd.Get(), pass, file->ranges,
                                                       file->size, position, error);
            if (outcome == PassOutcome::kStopped) {
                stopped = true;
                break;
            }
            if (outcome == PassOutcome::kFailed) {
                file->ok = false;
                file->reason = FailureReason(kCouldNotBeOverwritten, error);
            } else {
                file->passesDone = pass + 1;
                written.push_back(file);
            }
        }
        SyncFiles(written);
        m_host.Progress(position);
        stopped = stopped || (m_host.Stopped() && pass + 1 < m_passCount);
    }
    return stopped;
}

// Right before a file's first write of a pass: a name made for it since it was opened would be
// handed overwritten data, and a changed size means the ranges are no longer the file's.
bool FileBatch::StillAsOpened(QueuedFile& file) {
    FindData now;
    if (m_fs.StatDescriptor(file.fd.Get(), now).Failed()) {
        return true;  // an open file can always be examined; if not, the writes will tell
    }
    if (now.links > 1) {
        file.ok = false;
        file.reason = file.touched ? kGainedNameWhileOverwriting : kHasOtherNames;
        return false;
    }
    if (now.size != file.SizeAfterPasses()) {
        // What was cut off before any pass reached it went back to the free space unwritten.
        file.lostTail = file.lostTail || (now.size < file.size && file.passesDone == 0);
        file.changed = true;
        return false;
    }
    return true;
}

// After the passes: files whose size changed (during the passes, or seen before one) start
// again from the first pass over their new ranges, unless `rewrite` is false: then they stay.
// True when some file is to be written again.
bool FileBatch::TakeNewSizes(const std::vector<QueuedFile*>& files, bool rewrite) {
    bool again = false;
    for (QueuedFile* file : files) {
        FindData now;
        if (!file->ok || m_fs.StatDescriptor(file->fd.Get(), now).Failed() ||
            (!file->changed && now.size == file->SizeAfterPasses())) {
            continue;
        }
        if (!rewrite) {
            file->ok = false;
            file->reason = kKeptChangingSize;
            file->size = std::max(file->size, now.size);  // what it holds now stays whole
            continue;
        }
        file->changed = false;
        file->size = now.size;
        file->ranges = BlocksToWrite(file->fd.Get(), file->size);
        file->passesDone = 0;
        again = true;
    }
    return again;
}

// Makes the files a pass was written to durable: one sync of the file system for a batch,
// and only where that fails one sync per file, to tell which files it hit.
void FileBatch::SyncFiles(const std::vector<QueuedFile*>& written) {
    if (written.empty() ||
        (written.size() > 1 && !m_fs.SyncFileSystem(written[0]->fd.Get()).Failed())) {
        return;
    }
    for (QueuedFile* file : written) {
        const SystemError error = m_fs.SyncData(file->fd.Get());
        if (SyncFailed(error)) {
            file->ok = false;
            file->reason = FailureReason(kCouldNotBeSynced, error);
        }
    }
}

// Renames, cuts and removes one overwritten file, or puts back what was changed of a file
// that stays, and reports it.
void FileBatch::FinishFile(QueuedFile& file) {
    FindData now;
    if (file.ok && !m_fs.StatDescriptor(file.fd.Get(), now).Failed()) {
        if (now.links > 1) {
            // Linked after its last pass: that name holds overwritten data now.
            file.ok = false;
            file.reason = kGainedNameWhileOverwriting;
        } else if (now.size > file.SizeAfterPasses() && TakeNewSizes({&file}, true)) {
            OverwriteFiles({&file});  // grew since its passes: what was added is written too
        }
    }
    std::string reason = file.reason;
    const bool ok = file.ok && m_host.RemoveOverwritten(file.fd.Get(), file.dirFd, file.name,
                                                        file.entry, reason);
    if (!ok) {
        if (file.fd.Valid()) {
            RestoreStayingFile(file.fd.Get(), file.size, file.restoreMode);
        }
        if (!reason.empty()) {
            m_host.Report(file.reportPath, kReportFailed, reason);
        }
    } else if (file.lostTail || file.lowerCopy) {
        // Erased as far as it could be, but not all it held is gone.
        m_host.Report(file.reportPath, kReportFailed,
                      file.lostTail ? kShortenedBeforeOverwritten : kOriginalInLowerLayer);
    }
    file.fd.Reset();
}

// A file that stays after a failed or stopped overwrite looks as it was found: its size
// (passes write whole blocks past the end) and, when `mode` is not 0, the permission bits it
// had before we made it writable. Best effort.
void FileBatch::RestoreStayingFile(int fd, std::uint64_t size, std::uint32_t mode) {
    FindData now;
    if (!m_fs.StatDescriptor(fd, now).Failed() && now.size > size && now.links <= 1) {
        (void)m_fs.Truncate(fd, size);  // only the padding: the data blocks stay written
    }
    if (mode != 0) {
        (void)m_fs.SetPermissions(fd, mode);
    }
}

void FileBatch::ItemEnded() {
    if (m_queue.empty()) {
        m_host.ItemDone();
        return;
    }
    // A single file waits in the batch for the files of the next items of its folder: one
    // sync for many rows instead of one each.
    m_itemEndsQueued.push_back(m_queue.size());
}

// The batch is finished first, which closes its files, and the next ones are smaller.
void FileBatch::DescriptorsShort() {
    if (!m_queue.empty()) {
        m_batchLimit = std::max<std::size_t>(1, m_queue.size() / 2);
    }
    Flush();
}

}  // namespace tolvane
