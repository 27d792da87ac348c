#include "engine/EraseEngine.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "engine/FailureReasons.h"
#include "engine/FillFolder.h"
#include "engine/FormatSize.h"
#include "platform/Directory.h"
#include "platform/FileSystem.h"
#include "platform/OverlayLayers.h"
#include "platform/ProcessLimits.h"
#include "platform/VolumeJournal.h"
#include "platform/Volumes.h"

namespace tolvane {
namespace {

// The name every entry gets at its second rename, and the names of the free-space folder
// and of its fill files: nothing in it hints at what was there.
const std::string kObscureName = "aaaaaaaa.aaa";

// Fill files stay below 1 GiB, so that the free space is read again before each one and
// the loop follows what is really left.
constexpr std::uint64_t kFillFileLimit = 0x40000000;

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

// How much of a pass is written before its writeback is started, so that the medium works
// while the next chunks are made instead of all at the pass's final sync.
constexpr std::uint64_t kWritebackBytes = 8u << 20;

// Starts the medium on every kWritebackBytes a pass writes, and lets the cache drop what the
// writeback started one step earlier has put on the medium: only files larger than that get
// here, and those need not stay in the page cache, pushing out everything else.
class Writeback {
public:
    explicit Writeback(int fd) : m_fd(fd) {}

    // The pass has written up to `end` (pieces come in ascending order).
    void Written(std::uint64_t end) {
        if (end < m_started + kWritebackBytes) {
            return;
        }
        StartWriteback(m_fd, m_started, end - m_started);
        if (m_started > m_dropped) {
            DropCachedRange(m_fd, m_dropped, m_started - m_dropped);
            m_dropped = m_started;
        }
        m_started = end;
    }

private:
    int m_fd;
    std::uint64_t m_started = 0;  // writeback was started for what lies before
    std::uint64_t m_dropped = 0;  // the cache was told it may drop what lies before
};

std::uint64_t RoundUp(std::uint64_t offset, std::uint64_t unit) {
    return (offset + unit - 1) / unit * unit;
}

std::uint64_t RoundUpToBlock(std::uint64_t offset) {
    return RoundUp(offset, kBlockSize);
}

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

// The pieces a pass writes: `ranges` cut into chunks, each written with one call.
std::vector<ByteRange> PiecesOf(const std::vector<ByteRange>& ranges) {
    std::vector<ByteRange> pieces;
    for (const ByteRange& range : ranges) {
        for (std::uint64_t offset = range.start; offset < range.end; offset += kChunkSize) {
            pieces.push_back({offset, std::min<std::uint64_t>(offset + kChunkSize, range.end)});
        }
    }
    return pieces;
}

// A file system that has no sync for this file still took the writes; every other sync
// failure means the data may never have reached the medium.
bool SyncFailed(const SystemError& error) {
    return error.Failed() && error.number != EINVAL && error.number != ENOSYS &&
           error.number != EOPNOTSUPP;
}

// A volume as notes name it: its mount point without the trailing separator.
std::string VolumeName(const std::string& volumeRoot) {
    return volumeRoot.size() > 1 ? volumeRoot.substr(0, volumeRoot.size() - 1) : volumeRoot;
}

bool IsTraceKind(ItemKind kind) {
    return kind != ItemKind::Ordinary;
}

// In a sticky folder only the owner of an entry or of the folder may rename or remove the
// entry (root may always), whoever may write to it.
bool MayRenameIn(const FindData& folder, const FindData& entry) {
    const unsigned user = EffectiveUserId();
    return (folder.mode & S_ISVTX) == 0 || user == 0 || entry.uid == user || folder.uid == user;
}

bool OutOfDescriptors(int error) {
    return error == EMFILE || error == ENFILE;
}

bool SameFile(const FindData& a, const FindData& b) {
    return a.device == b.device && a.inode == b.inode;
}

// World-writable and sticky, like /tmp and a volume's shared .Trash folder.
bool IsShared(const FindData& folder) {
    return (folder.mode & S_IWOTH) != 0 && (folder.mode & S_ISVTX) != 0;
}

}  // namespace

EraseEngine::EraseEngine(int passCount, FileSystem* fileSystem)
    : ItemWalker(fileSystem != nullptr ? *fileSystem : RealFileSystem()),
      m_passCount(passCount),
      m_fs(fileSystem != nullptr ? *fileSystem : RealFileSystem()),
      m_patterns(passCount, m_fs),
      m_batchLimit(std::clamp<std::size_t>(OpenFileLimit() / 4, 1, kMaxBatchFiles)),
      m_names(m_fs) {
    m_countEntries = passCount <= 0;  // until SetTotal says otherwise
}

EraseEngine::~EraseEngine() = default;

void EraseEngine::NextName(std::string& name) {
    for (char& c : name) {
        if (c < 'z') {
            ++c;
            return;
        }
        c = 'a';
    }
    name.push_back('a');
}

std::int64_t EraseEngine::ScrambleTime(std::int64_t fileTime, std::uint32_t r) {
    auto value = static_cast<std::uint64_t>(fileTime);
    auto high = static_cast<std::uint32_t>(value >> 32);
    auto low = static_cast<std::uint32_t>(value);
    high -= r & 0x7FFFFu;    // up to about 7 years back
    low -= r & 0xFFF80000u;  // up to about 7 minutes, wrapping without a borrow
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(high) << 32 | low);
}

// ---- files ----------------------------------------------------------------------------

void EraseEngine::OnFile(std::string& path, const FindData& entry) {
    if (m_names.IsOwn(entry)) {
        return;  // a filler of this run, met by a later item's listing: not the user's
    }
    m_gate.Pass();
    m_itemTouched = true;
    m_reportPath = path;
    if (IsCancelled()) {
        // Stopped while held at the gate, or before the walk: the entry stays untouched.
        NoteCutShort();
        Report(m_reportPath, kReportFailed, kStoppedBeforeReached);
        return;
    }
    FindData folder;
    (void)StatDescriptor(ParentFd(), folder);  // an open folder can always be examined
    if (!MayRenameIn(folder, entry)) {
        // Found before anything is written: overwriting another user's file that cannot be
        // removed afterwards would destroy their data and still leave the file.
        FlushFiles();  // reports keep the order of the walk
        Report(m_reportPath, kReportFailed, kStickyFolderOthersFile);
        return;
    }
    const bool lowerCopy = LowerLayerKeeps(EntryName());
    if (m_passCount > 0 && entry.IsRegular()) {
        QueueFile(path, entry, folder, lowerCopy);
        return;
    }
    // Everything queued comes first, so that reports keep the order of the walk.
    FlushFiles();
    std::string name = EntryName();
    if (m_countEntries) {
        Progress(++m_done);
    }
    // Without passes, and for links, FIFOs, sockets and devices, nothing is written: a link's
    // target is not part of the selection, and writing to a device would destroy it.
    std::string reason;
    bool ok = RemoveUnwritten(ParentFd(), name, entry, reason);
    path.resize(PrefixLength());
    path += name;
    if (!ok) {
        Report(m_reportPath, kReportFailed, reason);
    } else if (lowerCopy) {
        Report(m_reportPath, kReportFailed, kOriginalInLowerLayer);
    }
}

// The original of a file that came with an overlay's lower layer stays there: erasing reaches
// only the copy in the upper layer and hides the name.
bool EraseEngine::LowerLayerKeeps(const std::string& name) {
    FindData folder;
    if (!StatDescriptor(ParentFd(), folder)) {
        return false;  // an open folder can always be examined
    }
    if (!m_layers || !SameFile(folder, m_layersFolder)) {
        m_layers = std::make_unique<OverlayLayers>(ParentFd());
        m_layersFolder = folder;
    }
    return m_layers->LowerHolds(name);
}

// ---- regular files, overwritten in batches --------------------------------------------
//
// Small files of one folder are overwritten together: each pass is written to all of them and
// then made durable once for the whole batch, instead of once per file, which is what makes
// many small files slow (a sync is a journal commit and a cache flush of the disk). Then each
// is renamed, cut and removed in the order of the walk. A large file ends its batch.

void EraseEngine::QueueFile(const std::string& path, const FindData& entry, const FindData& folder,
                            bool lowerCopy) {
    if (!m_queue.empty() && !SameFile(folder, m_queueFolder)) {
        FlushFiles();  // a batch holds the files of one folder
    }
    QueuedFile file;
    file.name = EntryName();
    file.reportPath = path;
    file.entry = entry;
    file.lowerCopy = lowerCopy;
    bool madeWritable = false;
    for (;;) {
        if (m_queue.empty()) {
            // A descriptor of our own: the walk closes its folders when it leaves them, and
            // the queue may outlive that.
            m_queueDir = DuplicateDescriptor(ParentFd());
            m_queueFolder = folder;
        }
        file.dirFd = m_queueDir.Valid() ? m_queueDir.Get() : ParentFd();
        if (IsCancelled()) {
            file.reason = kStoppedBeforeReached;
            break;
        }
        Opened opened = OpenForErasing(file.dirFd, file.name, entry, madeWritable);
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
        OnDescriptorsShort();  // the batch, with the folders of a deep walk, holds too many
    }
    file.restoreMode = madeWritable ? entry.mode : 0;
    FindData opened;
    if (!file.fd.Valid() || !StatDescriptor(file.fd.Get(), opened)) {
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
        FlushFiles();
    }
}

void EraseEngine::FlushFiles() {
    if (m_queue.empty()) {
        return;
    }
    const std::uint64_t start = m_done;
    NoteChangedVolume(m_queue.front().dirFd);
    OverwriteQueue();
    // Progress moves by each file's share, whatever happened to it, so the percentage stays
    // right.
    for (const QueuedFile& file : m_queue) {
        m_done += m_countEntries ? 1 : static_cast<std::uint64_t>(m_passCount) * file.entry.size;
    }
    m_done = std::max(m_done, start);
    Progress(m_done);
    m_flushing = true;
    auto itemEnd = m_itemEndsQueued.begin();
    for (std::size_t finished = 1; QueuedFile & file : m_queue) {
        FinishFile(file);
        for (; itemEnd != m_itemEndsQueued.end() && *itemEnd == finished; ++itemEnd) {
            TellItemDone();
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
void EraseEngine::OverwriteQueue() {
    std::vector<QueuedFile*> files;
    for (QueuedFile& file : m_queue) {
        files.push_back(&file);
    }
    OverwriteFiles(files);
}

// Files are open while others are written, so another program may change them meanwhile: a
// file whose size changed is written again, whole, to its new end, a few times at most.
void EraseEngine::OverwriteFiles(const std::vector<QueuedFile*>& files) {
    std::uint64_t position = m_done;
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
            NoteCutShort();
        }
    }
}

// Every pass still due to the files; true when a stop came.
bool EraseEngine::WriteRound(const std::vector<QueuedFile*>& files, std::uint64_t& position) {
    bool stopped = false;
    for (int pass = 0; pass < m_passCount && !stopped; ++pass) {
        std::vector<QueuedFile*> written;
        for (QueuedFile* file : files) {
            if (!file->ok || file->changed || file->passesDone != pass) {
                continue;
            }
            if (IsCancelled()) {
                stopped = true;
                break;
            }
            if (!StillAsOpened(*file)) {
                continue;
            }
            std::uint64_t done = 0;
            SystemError error;
            file->touched = true;
            PassOutcome outcome = WritePass(file->fd.Get(), pass, file->ranges, file->size, false,
                                            position, done, error);
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
        Progress(position);
        stopped = stopped || (IsCancelled() && pass + 1 < m_passCount);
    }
    return stopped;
}

// Right before a file's first write of a pass: a name made for it since it was opened would be
// handed overwritten data, and a changed size means the ranges are no longer the file's.
bool EraseEngine::StillAsOpened(QueuedFile& file) {
    FindData now;
    if (!StatDescriptor(file.fd.Get(), now)) {
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
bool EraseEngine::TakeNewSizes(const std::vector<QueuedFile*>& files, bool rewrite) {
    bool again = false;
    for (QueuedFile* file : files) {
        FindData now;
        if (!file->ok || !StatDescriptor(file->fd.Get(), now) ||
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
void EraseEngine::SyncFiles(const std::vector<QueuedFile*>& written) {
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
void EraseEngine::FinishFile(QueuedFile& file) {
    FindData now;
    if (file.ok && StatDescriptor(file.fd.Get(), now)) {
        if (now.links > 1) {
            // Linked after its last pass: that name holds overwritten data now.
            file.ok = false;
            file.reason = kGainedNameWhileOverwriting;
        } else if (now.size > file.SizeAfterPasses() && TakeNewSizes({&file}, true)) {
            OverwriteFiles({&file});  // grew since its passes: what was added is written too
        }
    }
    std::string reason = file.reason;
    const bool ok = file.ok && ObscureName(file.dirFd, file.name, file.entry).Done(reason) &&
                    CutAndRemove(file.fd.Get(), file.dirFd, file.name, file.entry, reason);
    if (!ok) {
        if (file.fd.Valid()) {
            RestoreStayingFile(file.fd.Get(), file.size, file.restoreMode);
        }
        if (!reason.empty()) {
            Report(file.reportPath, kReportFailed, reason);
        }
    } else if (file.lostTail || file.lowerCopy) {
        // Erased as far as it could be, but not all it held is gone.
        Report(file.reportPath, kReportFailed,
               file.lostTail ? kShortenedBeforeOverwritten : kOriginalInLowerLayer);
    }
    file.fd.Reset();
}

// A file that stays after a failed or stopped overwrite looks as it was found: its size
// (passes write whole blocks past the end) and, when `mode` is not 0, the permission bits it
// had before we made it writable. Best effort.
void EraseEngine::RestoreStayingFile(int fd, std::uint64_t size, std::uint32_t mode) {
    FindData now;
    if (StatDescriptor(fd, now) && now.size > size && now.links <= 1) {
        (void)m_fs.Truncate(fd, size);  // only the padding: the data blocks stay written
    }
    if (mode != 0) {
        (void)m_fs.SetPermissions(fd, mode);
    }
}

// Without passes, and for entries that hold no data of their own: renamed and removed; a
// regular file is cut to zero first unless another name shares it.
bool EraseEngine::RemoveUnwritten(int dirFd, std::string& name, const FindData& entry,
                                  std::string& reason) {
    if (!ObscureName(dirFd, name, entry).Done(reason)) {
        return false;
    }
    UniqueFd fd;
    if (entry.IsRegular()) {
        // A file we may not write (read-only) cannot be cut, but its name can still go.
        fd = m_fs.OpenForOverwrite(dirFd, name, &entry).fd;
    }
    return CutAndRemove(fd.Get(), dirFd, name, entry, reason);
}

Opened EraseEngine::OpenForErasing(int dirFd, const std::string& name, const FindData& entry,
                                   bool& madeWritable) {
    Opened opened = m_fs.OpenForOverwrite(dirFd, name, &entry);
    if (!opened.fd.Valid() && opened.error.number == EACCES &&
        (entry.attributes & kAttrReadOnly) != 0) {
        // A read-only file: make it writable first, through a descriptor that is checked to
        // be the file the walk saw.
        UniqueFd meta = OpenForMetadata(dirFd, name);
        FindData found;
        if (meta.Valid() && StatDescriptor(meta.Get(), found) && SameFile(found, entry) &&
            !m_fs.SetPermissions(meta.Get(), (found.mode & 07777) | S_IWUSR).Failed()) {
            madeWritable = true;
            opened = m_fs.OpenForOverwrite(dirFd, name, &entry);
            if (!opened.fd.Valid()) {
                (void)m_fs.SetPermissions(meta.Get(), entry.mode);  // put back what we changed
                madeWritable = false;
            }
        }
    }
    if (opened.fd.Valid()) {
        DisableCompression(opened.fd.Get());
    }
    return opened;
}

// Every pass over a fill file's `ranges`, each made durable before the next; it takes what
// the disk has room for. error: why a write came short or the sync failed.
EraseEngine::PassOutcome EraseEngine::WritePasses(int fd, std::uint64_t size,
                                                  const std::vector<ByteRange>& ranges, bool fill,
                                                  std::uint64_t& written, SystemError& error) {
    std::uint64_t position = m_done;
    for (int pass = 0; pass < m_passCount; ++pass) {
        PassOutcome outcome = WritePass(fd, pass, ranges, size, fill, position, written, error);
        if (outcome != PassOutcome::kCompleted) {
            return outcome;
        }
        // Force the pass to the medium before the next one overwrites it in the cache.
        if (SystemError synced = m_fs.SyncData(fd); SyncFailed(synced)) {
            error = std::move(synced);
            return PassOutcome::kFailed;
        }
        position = m_done + ByteShare(static_cast<std::uint64_t>(pass + 1) * size);
        Progress(position);
        if (IsCancelled() && pass + 1 < m_passCount) {
            return PassOutcome::kStopped;
        }
    }
    return PassOutcome::kCompleted;
}

EraseEngine::PassOutcome EraseEngine::WritePass(int fd, int pass,
                                                const std::vector<ByteRange>& ranges,
                                                std::uint64_t size, bool fill,
                                                std::uint64_t& position, std::uint64_t& written,
                                                SystemError& error) {
    const std::vector<ByteRange> pieces = PiecesOf(ranges);
    m_patterns.BeginPass(pass, pieces);
    Writeback writeback(fd);
    PassOutcome outcome = PassOutcome::kCompleted;
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        // A pause, and a stop (also one answered while paused), take effect here, after the
        // chunk in progress. A pass that has begun writes at least one chunk.
        m_gate.Pass();
        if (k > 0 && IsCancelled()) {
            outcome = PassOutcome::kStopped;
            break;
        }
        const std::uint64_t offset = pieces[k].start;
        const std::uint64_t length = pieces[k].end - offset;
        const std::uint64_t n = WriteBlock(fd, m_patterns.NextChunk(), length, offset, error);
        writeback.Written(offset + n);
        // Only the bytes the file holds must be reached: the rest of its last block is
        // padding, which a full disk may refuse. Progress counts those bytes only, so it
        // moves forward by exactly the file's share.
        const std::uint64_t needed = offset < size ? std::min(length, size - offset) : 0;
        Progress(position);
        position += ByteShare(std::min(n, needed));
        written += n;
        if (!fill && n < needed) {
            outcome = PassOutcome::kFailed;
            break;
        }
        if (n < length) {
            break;  // the disk is full: nothing more fits
        }
    }
    m_patterns.EndPass();
    return outcome;
}

// One block at `offset`; on a full disk one retry with what is left. The bytes written; error
// says why when they are fewer than `length`.
std::uint64_t EraseEngine::WriteBlock(int fd, const std::uint8_t* block, std::uint64_t length,
                                      std::uint64_t offset, SystemError& error) {
    Written written = m_fs.WriteAt(fd, block, length, offset);
    if (written.error.Failed()) {
        error = written.error;
    }
    if (written.bytes == 0 && (error.number == ENOSPC || error.number == EDQUOT)) {
        // An I/O error is not cured by writing less; a full disk may still take what it
        // reports free. Why the first write failed is what the user needs to know.
        const std::uint64_t left = std::min<std::uint64_t>(m_fs.FreeSpace(fd).available, length);
        if (left > 0) {
            written.bytes = m_fs.WriteAt(fd, block, left, offset).bytes;
        }
    }
    m_bytesWritten += written.bytes;
    return written.bytes;
}

EraseEngine::Renamed EraseEngine::ObscureName(int dirFd, std::string& name,
                                              const FindData& identity) {
    NoteChangedVolume(dirFd);
    Renamed result;
    result.firstStage = std::string(name.size(), 'a');
    result.firstError = RenameToFreeName(dirFd, name, result.firstStage);
    if (result.firstError.Failed()) {
        // Deleting whatever holds the name we did not get would touch something that was
        // not chosen: the entry stays under its own name.
        result.firstStage = name;
        result.reason = FailureReason(kCouldNotBeRenamed, result.firstError);
        return result;
    }
    if (!RenamedWhatWasChosen(dirFd, name, result.firstStage, identity, result.reason)) {
        return result;
    }
    name = result.firstStage;
    std::string secondStage = kObscureName;
    if (!RenameToFreeName(dirFd, name, secondStage).Failed()) {
        if (!RenamedWhatWasChosen(dirFd, name, secondStage, identity, result.reason)) {
            return result;
        }
        name = secondStage;
    }
    result.ok = true;
    return result;
}

// Another program may put something else under the name between our look at it and the
// rename (a link, a FIFO, another name of an outside file, an exchanged entry): what the
// rename moved is checked against what was chosen, and a stranger goes back where it was.
bool EraseEngine::RenamedWhatWasChosen(int dirFd, const std::string& from, const std::string& to,
                                       const FindData& identity, std::string& reason) {
    FindData moved;
    if (!StatEntry(dirFd, to, moved) || SameFile(moved, identity)) {
        return true;  // ours (or gone already: the steps after the rename find that out)
    }
    const bool putBack = !m_fs.Rename(dirFd, to, from).Failed();
    reason = putBack ? kSwappedBeforeRename : std::string(kSwappedBeforeRenameStays) + " " + to;
    return false;
}

// Renames `from` to `to`, or to the next free name after it: the rename itself refuses a
// taken name, so no separate look-up is needed (and none can race with it).
SystemError EraseEngine::RenameToFreeName(int dirFd, const std::string& from, std::string& to) {
    for (;;) {
        SystemError error = m_fs.Rename(dirFd, from, to);
        if (error.number != EEXIST) {
            return error;
        }
        NextName(to);
    }
}

// Cuts and stamps the file through `fd` (the descriptor that was overwritten, or -1), then
// removes the name if it still holds that file.
bool EraseEngine::CutAndRemove(int fd, int dirFd, const std::string& name, const FindData& identity,
                               std::string& reason) {
    FindData opened;
    const bool shared = fd >= 0 && StatDescriptor(fd, opened) && opened.links > 1;
    if (shared && m_passCount > 0) {
        reason = kGainedNameWhileOverwriting;  // only an overwritten file gets here
        return false;
    }
    // With other names (0 passes) only the chosen name goes: its content is theirs too.
    const int own = shared ? -1 : fd;
    if (own >= 0) {
        (void)m_fs.Truncate(own);  // the data is overwritten already; the delete still follows
    }
    ScrambleTimes(own);  // draws even without a file, so the keystream runs the same way
    FindData there;
    if (StatEntry(dirFd, name, there) && !SameFile(there, identity)) {
        reason = kReplacedWhileErasing;
        return false;
    }
    const SystemError error = m_fs.RemoveFile(dirFd, name);
    // The names it had stay in the folder's blocks until they are cleared, even when it stays.
    m_names.NoteRemoval(dirFd);
    if (error.Failed()) {
        const bool written = m_passCount > 0 && identity.IsRegular();
        reason = FailureReason(written ? kOverwrittenNotRemoved : kCouldNotBeRemoved, error);
        return false;
    }
    return true;
}

void EraseEngine::ScrambleTimes(int fd) {
    std::int64_t creation = 0, access = 0, write = 0;
    if (fd >= 0) {
        (void)GetTimes(fd, creation, access, write);  // zeros stand in when unreadable
    }
    // The creation time is drawn and computed like the others but cannot be set here.
    creation = ScrambleTime(creation, m_patterns.DrawNumber());
    access = ScrambleTime(access, m_patterns.DrawNumber());
    write = ScrambleTime(write, m_patterns.DrawNumber());
    if (fd >= 0) {
        (void)SetTimes(fd, access, write);  // best effort: the entry is deleted next
    }
}

void EraseEngine::ScrambleEntryTimes(int dirFd, const std::string& name) {
    UniqueFd fd = OpenForMetadata(dirFd, name);
    ScrambleTimes(fd.Get());
}

// ---- folders --------------------------------------------------------------------------

bool EraseEngine::IsFolderEmpty(int dirFd, const std::string& name) {
    UniqueFd folder = OpenDirectory(dirFd, name);
    if (!folder.Valid()) {
        return false;  // cannot look inside: it is not ours to remove
    }
    DirectoryReader reader(folder.Get());
    FindData entry;
    if (!reader.Opened()) {
        return false;
    }
    while (reader.Next(entry)) {
        if (!m_names.IsOwn(entry)) {
            return false;  // fillers, and folders whose removal waits for the end of the run
        }
    }
    return reader.Error() == 0;
}

// The batch is finished first, which closes its files, and the next ones are smaller.
void EraseEngine::OnDescriptorsShort() {
    if (!m_queue.empty()) {
        m_batchLimit = std::max<std::size_t>(1, m_queue.size() / 2);
    }
    FlushFiles();
}

void EraseEngine::OnEnterFolder(std::string&, const FindData&) {
    FlushFiles();  // the files before the folder report before what is inside it
}

void EraseEngine::OnLeaveFolder(std::string& path, const FindData& entry) {
    FlushFiles();
    m_gate.Pass();
    if (IsCancelled()) {
        NoteCutShort();  // the stop holds: the folder stays, whatever it still holds
        return;
    }
    if (AtItemRoot() && KeepsItemFolder()) {
        m_itemTouched = true;  // its contents were the item
        return;
    }
    std::string name = EntryName();
    // Something inside could not be erased (or lies on another mount): the folder stays,
    // under its own name, and is not reported.
    if (!IsFolderEmpty(ParentFd(), name)) {
        return;
    }
    m_itemTouched = true;
    if (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    m_reportPath = path;
    RemoveFolder(ParentFd(), name, entry);
    if (m_countEntries) {
        Progress(++m_done);
    }
}

void EraseEngine::RemoveFolder(int dirFd, std::string& name, const FindData& entry) {
    UniqueFd meta = OpenForMetadata(dirFd, name);
    FindData found;
    const bool ours = meta.Valid() && StatDescriptor(meta.Get(), found) && SameFile(found, entry);
    const bool madeWritable =  // as for files
        ours && (found.mode & S_IWUSR) == 0 &&
        !m_fs.SetPermissions(meta.Get(), (found.mode & 07777) | S_IWUSR).Failed();
    if (!ours) {
        return;  // not the folder the walk left: not ours to remove or report
    }
    bool removed = false;
    const Renamed renamed = ObscureName(dirFd, name, found);
    std::string reason = renamed.reason;
    if (renamed.ok) {
        ScrambleEntryTimes(dirFd, name);
        removed = !m_names.RemoveFolder(dirFd, name).Failed();
        if (!removed) {
            // Back to the first-stage name, which says nothing about the folder either.
            (void)m_fs.Rename(dirFd, name, renamed.firstStage);
        }
    } else if (renamed.firstError.Failed()) {
        // It could not be renamed (an overlay refuses to move a folder of its lower layer,
        // EXDEV): removed under its own name all the same, or reported.
        ScrambleEntryTimes(dirFd, name);
        const SystemError error = m_fs.RemoveFolder(dirFd, name);
        removed = !error.Failed();
        reason = removed ? std::string() : FailureReason(kCouldNotBeRemoved, error);
    }
    if (!removed && madeWritable) {
        (void)m_fs.SetPermissions(meta.Get(), found.mode);  // it stays: as it was found
    }
    if (!removed && !reason.empty()) {
        Report(m_reportPath, kReportFailed, reason);
    }
}

// ---- free space -----------------------------------------------------------------------

void EraseEngine::OnDrive(std::string& path, const std::string& volumeRoot) {
    FlushFiles();
    if (IsCancelled()) {
        NoteCutShort();
        return;
    }
    m_itemTouched = true;
    std::string reason;
    if (!WipeFreeSpace(volumeRoot, reason) && !IsCancelled()) {
        Report(path, kReportFailed, reason);
    }
}

// False, with the reason, when nothing could be written although space was free.
bool EraseEngine::WipeFreeSpace(const std::string& volumeRoot, std::string& reason) {
    if (m_passCount <= 0) {
        return true;  // nothing is written without passes
    }
    int openError = 0;
    UniqueFd root = OpenDirectory(AT_FDCWD, volumeRoot, &openError);
    if (!root.Valid()) {
        reason = FailureReason(kFreeSpaceNotWritten, openError);
        return false;
    }
    NoteChangedVolume(root.Get());
    ReleaseLeftFillFiles(root.Get(), volumeRoot);
    if (m_fs.FreeSpace(root.Get()).available == 0) {
        return true;  // a full volume has no free space to wipe
    }
    // Fill files without a name give their space back however the run ends (a crash, kill -9,
    // a power cut), so a wipe can never leave the volume full; they need no folder either.
    // Where the file system cannot make them, named fill files in a folder of their own.
    Opened first = m_fs.CreateUnnamedFile(root.Get());
    const int unnamed = first.error.number;
    SystemError error = std::move(first.error);
    std::uint64_t written = 0;
    if (first.fd.Valid()) {
        written = FillWithUnnamedFiles(root.Get(), std::move(first.fd), volumeRoot, error);
    } else if (unnamed == EOPNOTSUPP || unnamed == EISDIR || unnamed == EINVAL) {
        error = {};
        if (!FillWithNamedFiles(root.Get(), volumeRoot, written, error)) {
            reason = FailureReason(kFreeSpaceNotWritten, error);
            return false;
        }
    }
    if (written == 0 && !IsCancelled()) {
        reason = FailureReason(kFreeSpaceNotWritten, error);
        return false;
    }
    return true;
}

std::uint64_t EraseEngine::FillWithUnnamedFiles(int rootFd, UniqueFd first,
                                                const std::string& volumeRoot, SystemError& error) {
    std::vector<UniqueFd> fills;
    std::uint64_t written = FillFreeSpace(
        rootFd,
        [&](SystemError& made) -> int {
            Opened opened{std::move(first), {}};
            if (!opened.fd.Valid()) {
                opened = m_fs.CreateUnnamedFile(rootFd);
            }
            if (!opened.fd.Valid()) {
                made = std::move(opened.error);
                return -1;
            }
            fills.push_back(std::move(opened.fd));  // the space stays taken while it is open
            return fills.back().Get();
        },
        error);
    NoteUnreachedSpace(rootFd, volumeRoot, written);
    for (UniqueFd& fd : fills) {
        (void)m_fs.Truncate(fd.Get());  // gives the space back now; closing does the rest
    }
    return written;
}

bool EraseEngine::FillWithNamedFiles(int rootFd, const std::string& volumeRoot,
                                     std::uint64_t& written, SystemError& error) {
    std::string folder = kObscureName;
    while (EntryExists(rootFd, folder)) {
        NextName(folder);
    }
    error = m_fs.MakeFolder(rootFd, folder, 0700);
    if (error.Failed()) {
        return false;
    }
    int openError = 0;
    UniqueFd folderFd = OpenDirectory(rootFd, folder, &openError);
    error = {"open", openError, folder};
    // Marked, so that a run that ends before it is released does not leave the volume full:
    // the next wipe finds it.
    if (folderFd.Valid()) {
        error = FillFolder::Mark(folderFd.Get(), m_fs);
    }
    if (folderFd.Valid() && !error.Failed()) {
        DisableCompression(folderFd.Get());  // fill files inherit it
        std::string name = kObscureName;
        UniqueFd current;
        written = FillFreeSpace(
            folderFd.Get(),
            [&](SystemError& made) -> int {
                Opened opened = m_fs.CreateNewFile(folderFd.Get(), name);
                NextName(name);
                current = std::move(opened.fd);
                made = std::move(opened.error);
                return current.Get();
            },
            error);
        current.Reset();
        NoteUnreachedSpace(rootFd, volumeRoot, written);
        ReleaseFillFiles(folderFd.Get());
        FillFolder::Unmark(folderFd.Get(), m_fs);
    }
    ScrambleEntryTimes(rootFd, folder);
    (void)m_fs.RemoveFolder(rootFd, folder);  // a leftover empty folder is harmless
    return true;
}

// Fills the volume with fill files made by `next` (a descriptor that stays valid until the
// following call, or -1 with why) until no more fits; the bytes written. error: why no fill
// file could be written, when nothing was.
std::uint64_t EraseEngine::FillFreeSpace(int folderFd, const std::function<int(SystemError&)>& next,
                                         SystemError& error) {
    std::uint64_t total = 0;
    for (;;) {
        std::uint64_t n = std::min(m_fs.FreeSpace(folderFd).available, kFillFileLimit);
        if (n == 0) {
            return total;
        }
        m_gate.Pass();
        if (IsCancelled()) {
            NoteCutShort();  // the volume's free space is not completely overwritten
            return total;
        }
        const int fd = next(error);
        if (fd < 0) {
            // No fill file can be made although space is reported free (file systems keep
            // some blocks back that no write can use): there is nothing more to fill.
            return total;
        }
        DisableCompression(fd);
        std::uint64_t written = 0;
        const std::uint64_t start = m_done;
        SystemError writeError;
        WritePasses(fd, n, {{0, RoundUpToBlock(std::max<std::uint64_t>(n, 1))}}, true, written,
                    writeError);
        m_done = start + ByteShare(static_cast<std::uint64_t>(m_passCount) * n);
        Progress(m_done);
        if (written == 0) {
            error = writeError;
        }
        total += written;
        // The last fill file took no byte at all: the rest of the reported space is not
        // usable, and asking again would loop for ever.
        if (written == 0) {
            return total;
        }
    }
}

// What is still free while the fill files hold everything they could get is space that no
// write of this user reached: blocks kept for root, the file system's own reserves.
void EraseEngine::NoteUnreachedSpace(int rootFd, const std::string& volumeRoot,
                                     std::uint64_t written) {
    if (written == 0 || IsCancelled()) {
        return;
    }
    const std::string volume = VolumeName(volumeRoot);
    // xfs frees emptied folder blocks without writing them, and some of them land in its
    // reserves: the names they held stay there.
    VolumeJournal journal;
    const bool names =
        ReadVolumeJournal(rootFd, journal) && journal.kind == VolumeJournal::Kind::kXfs;
    const std::string namesNote = names ? "; names of erased files may remain there" : "";
    const FileSystem::Space space = m_fs.FreeSpace(rootFd);
    if (!space.reserveKnown) {
        // A figure read without the reserve would say less than what stays: none is given.
        m_notes.push_back("Free space on " + volume +
                          " that the file system keeps in reserve could not be overwritten; "
                          "how much could not be determined" +
                          namesNote);
        return;
    }
    const std::uint64_t unreached = space.allFree;
    if (unreached == 0) {
        return;
    }
    m_notes.push_back(FormatDecimalSize(unreached) + " of free space on " + volume +
                      " could not be overwritten: reserved by the file system" + namesNote);
}

void EraseEngine::ReleaseLeftFillFiles(int rootFd, const std::string& volumeRoot) {
    const std::uint64_t released = FillFolder::ReleaseLeftovers(rootFd, m_fs);
    if (released > 0) {
        m_notes.push_back(FormatDecimalSize(released) +
                          " of fill files that an interrupted wipe left on " +
                          VolumeName(volumeRoot) + " were released");
    }
}

// The fill files go in the order they were made, up to the first name that was never made.
void EraseEngine::ReleaseFillFiles(int folderFd) {
    std::string fill = kObscureName;
    for (;;) {
        UniqueFd fd = m_fs.OpenForOverwrite(folderFd, fill, nullptr).fd;
        if (fd.Valid()) {
            (void)m_fs.Truncate(fd.Get());  // frees the space even if the delete fails
        }
        ScrambleTimes(fd.Get());
        if (m_fs.RemoveFile(folderFd, fill).Failed()) {
            return;
        }
        NextName(fill);
    }
}

// ---- items and the run ----------------------------------------------------------------

void EraseEngine::OnItemBegin(const EraseItem& item) {
    m_names.Begin(m_notes);  // what a killed run left must not be taken for the user's
    m_itemTouched = false;
    NoteTraceFolder(item);
}

void EraseEngine::OnItemEnd(const EraseItem& item) {
    if (!m_itemTouched) {
        Report(item.path, kReportNotFound, std::string());  // after what is queued
    }
    if (!m_trace.path.empty()) {
        FlushFiles();  // the folder is made again once what it held is gone
        RecreateTraceFolder();
    }
    if (m_queue.empty()) {
        TellItemDone();
        return;
    }
    // A single file waits in the batch for the files of the next items of its folder: one
    // sync for many rows instead of one each.
    m_itemEndsQueued.push_back(m_queue.size());
}

void EraseEngine::TellItemDone() {
    if (m_sink != nullptr) {
        m_sink->ItemDone();
    }
}

void EraseEngine::NoteTraceFolder(const EraseItem& item) {
    m_trace = TraceFolder();
    if (!IsTraceKind(item.kind)) {
        return;
    }
    m_trace.path = item.path;
    m_trace.trash = item.kind == ItemKind::Trash;
    m_trace.followLink = FollowsItsLink(item);
    FindData folder;
    // Through a link where the walk follows it: the folder it names is the one that must look
    // as before. A missing one is made afresh.
    if (!StatTraceFolder(m_trace.path, folder)) {
        return;
    }
    if (folder.IsSymlink()) {
        m_trace.path.clear();  // a volume's trash that is a link goes as a link: nothing is made
        return;
    }
    if (!folder.IsDirectory()) {
        return;
    }
    if (m_trace.trash && IsShared(folder)) {
        // A volume's shared .Trash: it stays; the user's own trash inside it is what comes
        // back empty.
        m_trace.path = item.path + "/" + std::to_string(EffectiveUserId());
        if (!StatTraceFolder(m_trace.path, folder) || !folder.IsDirectory()) {
            m_trace.path.clear();  // the user had none: none is made
            return;
        }
    }
    m_trace.known = true;
    m_trace.mode = folder.mode & 07777;
    m_trace.uid = folder.uid;
    m_trace.gid = folder.gid;
}

bool EraseEngine::StatTraceFolder(const std::string& path, FindData& folder) const {
    return m_trace.followLink ? StatFollowingLinks(path, folder)
                              : StatEntry(AT_FDCWD, path, folder);
}

void EraseEngine::RecreateTraceFolder() {
    if (m_trace.path.empty()) {
        return;
    }
    // Programs expect their cache, recent-documents, temporary and trash folders to exist,
    // with the owner and access they had (a shared temporary folder keeps its sticky bit).
    const bool made = !m_fs.MakeFolder(AT_FDCWD, m_trace.path, 0700).Failed();
    // What is made inside goes through the folder itself: a link put in its place meanwhile
    // is not followed (unless the walk follows the item's link).
    UniqueFd folder =
        m_trace.followLink ? OpenFolder(m_trace.path) : OpenDirectory(AT_FDCWD, m_trace.path);
    if (!folder.Valid()) {
        return;  // cannot be made or reached: best effort
    }
    if (made && m_trace.known) {
        // Best effort, like the mkdir; the owner first, as a change of owner may clear
        // set-id bits.
        (void)SetOwner(folder.Get(), m_trace.uid, m_trace.gid);
        (void)m_fs.SetPermissions(folder.Get(), m_trace.mode);
    }
    if (!m_trace.trash) {
        return;
    }
    for (const char* name : {"files", "info"}) {
        if (m_fs.MakeFolder(folder.Get(), name, 0700).Failed()) {
            continue;  // still there, or cannot be made: best effort
        }
        UniqueFd inner = OpenDirectory(folder.Get(), name);
        if (inner.Valid() && m_trace.known) {
            (void)SetOwner(inner.Get(), m_trace.uid, m_trace.gid);
            (void)m_fs.SetPermissions(inner.Get(), 0700);
        }
    }
}

void EraseEngine::OnItemRefused(const EraseItem& item, const std::string& reason) {
    FlushFiles();
    m_itemTouched = true;  // refused, which is more than "not found"
    m_trace = TraceFolder();  // nothing was erased, so nothing is made again either
    Report(item.path, kReportRefused, reason);
}

void EraseEngine::OnWalkFailure(std::string& path, WalkFailure what, int error) {
    FlushFiles();
    m_itemTouched = true;
    std::string shown = path;
    if (shown.size() > 1 && shown.back() == '/') {
        shown.pop_back();
    }
    std::string reason;
    if (what == WalkFailure::kExamine) {
        reason = FailureReason(kCouldNotBeExamined, error);
    } else {
        reason = error == 0 ? std::string(kChangedWhileListing)
                            : FailureReason(kCouldNotBeListed, error);
    }
    Report(shown, kReportFailed, reason);
}

void EraseEngine::OnFinish() {
    FlushFiles();  // after a stop too: what was queued is reported
    m_names.Finish(
        IsCancelled(), [this] { return IsCancelled(); }, m_notes);
    SyncChangedVolumes();  // after the last change of the run
    ProgressSink* sink = m_sink;
    if (sink == nullptr) {
        return;
    }
    sink->Progress(m_total, m_total);
    // The receiver may delete this engine while handling the end message: nothing after
    // this line may touch a member.
    sink->Finished();
}

void EraseEngine::NoteChangedVolume(int fd) {
    FindData folder;
    if (!StatDescriptor(fd, folder)) {
        return;  // an open descriptor can always be examined
    }
    for (const ChangedVolume& volume : m_changedVolumes) {
        if (volume.device == folder.device) {
            return;
        }
    }
    // Readable, not just for look-ups (a descriptor of those cannot be synced).
    UniqueFd own = OpenDirectory(fd, ".");
    if (own.Valid()) {  // else the next change on the volume tries again
        m_changedVolumes.push_back({folder.device, std::move(own)});
    }
}

// The renames and removals of a run are only durable once the file system has written them:
// a journal that has not reached the medium gives every name back after a crash. One sync of
// each volume the run changed, at its end; a volume that cannot be synced is reported.
void EraseEngine::SyncChangedVolumes() {
    for (ChangedVolume& volume : m_changedVolumes) {
        const SystemError error = m_fs.SyncFileSystem(volume.folder.Get());
        if (!SyncFailed(error)) {
            continue;
        }
        FindData folder;
        MountEntry mount;
        std::string shown = "volume";
        if (StatDescriptor(volume.folder.Get(), folder) && FindMountById(folder.mountId, mount)) {
            shown = mount.mountPoint;
        }
        Report(shown, kReportFailed, FailureReason(kVolumeNotSynced, error));
    }
    m_changedVolumes.clear();
}

// Bytes written count towards progress only when it is counted in bytes.
std::uint64_t EraseEngine::ByteShare(std::uint64_t bytes) const {
    return m_countEntries ? 0 : bytes;
}

void EraseEngine::Progress(std::uint64_t position) {
    if (m_sink != nullptr) {
        m_sink->Progress(static_cast<std::int64_t>(position), m_total);
    }
}

void EraseEngine::Report(const std::string& path, int code, const std::string& reason) {
    if (!m_flushing && !m_queue.empty()) {
        // Reports keep the order of the walk, and each comes before its item's end. Copies:
        // finishing the queue changes the members the arguments may refer to.
        const std::string shown = path;
        const std::string why = reason;
        FlushFiles();
        Report(shown, code, why);
        return;
    }
    if (code == kReportNotFound) {
        ++m_notFoundCount;
    } else {
        ++m_failedCount;
    }
    m_lastReason = reason;
    if (m_sink != nullptr) {
        m_sink->ReportItem(path, code, reason);
    }
}

}  // namespace tolvane
