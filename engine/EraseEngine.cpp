#include "engine/EraseEngine.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

#include "engine/EraseRules.h"
#include "engine/FailureReasons.h"
#include "platform/Directory.h"
#include "platform/FileSystem.h"
#include "platform/OverlayLayers.h"
#include "platform/ProcessLimits.h"
#include "platform/Volumes.h"

namespace tolvane {
namespace {

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

std::uint64_t RoundUpToBlock(std::uint64_t offset) {
    return RoundUp(offset, kBlockSize);
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

// In a sticky folder only the owner of an entry or of the folder may rename or remove the
// entry (root may always), whoever may write to it.
bool MayRenameIn(const FindData& folder, const FindData& entry) {
    const unsigned user = EffectiveUserId();
    return (folder.mode & S_ISVTX) == 0 || user == 0 || entry.uid == user || folder.uid == user;
}

}  // namespace

EraseEngine::EraseEngine(int passCount, FileSystem* fileSystem)
    : ItemWalker(fileSystem != nullptr ? *fileSystem : RealFileSystem()),
      m_passCount(passCount),
      m_fs(fileSystem != nullptr ? *fileSystem : RealFileSystem()),
      m_patterns(passCount, m_fs),
      m_trace(m_fs),
      m_batch(m_fs, *this, passCount),
      m_wipe(m_fs, *this, passCount, m_notes),
      m_names(m_fs) {
    m_countEntries = passCount <= 0;  // until SetTotal says otherwise
}

EraseEngine::~EraseEngine() = default;

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
    (void)m_fs.StatDescriptor(ParentFd(), folder);  // an open folder can always be examined
    if (!MayRenameIn(folder, entry)) {
        // Found before anything is written: overwriting another user's file that cannot be
        // removed afterwards would destroy their data and still leave the file.
        m_batch.Flush();  // reports keep the order of the walk
        Report(m_reportPath, kReportFailed, kStickyFolderOthersFile);
        return;
    }
    const bool lowerCopy = LowerLayerKeeps(EntryName());
    if (m_passCount > 0 && entry.IsRegular()) {
        m_batch.Queue(ParentFd(), EntryName(), path, entry, folder, lowerCopy);
        return;
    }
    // Everything queued comes first, so that reports keep the order of the walk.
    m_batch.Flush();
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
    if (m_fs.StatDescriptor(ParentFd(), folder).Failed()) {
        return false;  // an open folder can always be examined
    }
    if (!m_layers || !SameFile(folder, m_layersFolder)) {
        m_layers = std::make_unique<OverlayLayers>(ParentFd());
        m_layersFolder = folder;
    }
    return m_layers->LowerHolds(name);
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
        UniqueFd meta = m_fs.OpenForMetadata(dirFd, name).fd;
        FindData found;
        if (meta.Valid() && !m_fs.StatDescriptor(meta.Get(), found).Failed() &&
            SameFile(found, entry) &&
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
PassOutcome EraseEngine::WritePasses(int fd, std::uint64_t size,
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

PassOutcome EraseEngine::WritePass(int fd, int pass, const std::vector<ByteRange>& ranges,
                                   std::uint64_t size, bool fill, std::uint64_t& position,
                                   std::uint64_t& written, SystemError& error) {
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
    if (m_fs.StatEntry(dirFd, to, moved).Failed() || SameFile(moved, identity)) {
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
    const bool shared = fd >= 0 && !m_fs.StatDescriptor(fd, opened).Failed() && opened.links > 1;
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
    SystemError error = m_fs.StatEntry(dirFd, name, there);
    if (!error.Failed() && !SameFile(there, identity)) {
        reason = kReplacedWhileErasing;
        return false;
    }
    // A name whose entry could not be examined may hold something else by now: it stays. One
    // that is gone already is left to the removal to report.
    if (!error.Failed() || error.number == ENOENT) {
        error = m_fs.RemoveFile(dirFd, name);
    }
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
    FindData times;  // zeros stand in when the times cannot be read
    if (fd >= 0) {
        (void)m_fs.StatDescriptor(fd, times);
    }
    std::int64_t creation = times.creationTime, access = times.accessTime, write = times.writeTime;
    // The creation time is drawn and computed like the others but cannot be set here.
    creation = ScrambleTime(creation, m_patterns.DrawNumber());
    access = ScrambleTime(access, m_patterns.DrawNumber());
    write = ScrambleTime(write, m_patterns.DrawNumber());
    if (fd >= 0) {
        (void)m_fs.SetTimes(fd, access, write);  // best effort: the entry is deleted next
    }
}

void EraseEngine::ScrambleEntryTimes(int dirFd, const std::string& name) {
    UniqueFd fd = m_fs.OpenForMetadata(dirFd, name).fd;
    ScrambleTimes(fd.Get());
}

// ---- folders --------------------------------------------------------------------------

bool EraseEngine::IsFolderEmpty(int dirFd, const std::string& name) {
    UniqueFd folder = m_fs.OpenDirectory(dirFd, name).fd;
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

void EraseEngine::OnDescriptorsShort() {
    m_batch.DescriptorsShort();
}

void EraseEngine::OnEnterFolder(std::string&, const FindData&) {
    m_batch.Flush();  // the files before the folder report before what is inside it
}

void EraseEngine::OnLeaveFolder(std::string& path, const FindData& entry) {
    m_batch.Flush();
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
    UniqueFd meta = m_fs.OpenForMetadata(dirFd, name).fd;
    FindData found;
    const bool ours =
        meta.Valid() && !m_fs.StatDescriptor(meta.Get(), found).Failed() && SameFile(found, entry);
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
    m_batch.Flush();
    if (IsCancelled()) {
        NoteCutShort();
        return;
    }
    m_itemTouched = true;
    std::string reason;
    if (!m_wipe.Wipe(volumeRoot, reason) && !IsCancelled()) {
        Report(path, kReportFailed, reason);
    }
}

// ---- items and the run ----------------------------------------------------------------

void EraseEngine::OnItemBegin(const EraseItem& item) {
    m_names.Begin(m_notes);  // what a killed run left must not be taken for the user's
    m_itemTouched = false;
    m_trace.Note(item);
}

void EraseEngine::OnItemEnd(const EraseItem& item) {
    if (!m_itemTouched) {
        Report(item.path, kReportNotFound, std::string());  // after what is queued
    }
    if (m_trace.Pending()) {
        m_batch.Flush();  // the folder is made again once what it held is gone
        m_trace.Recreate();
    }
    m_batch.ItemEnded();
}

void EraseEngine::ItemDone() {
    if (m_sink != nullptr) {
        m_sink->ItemDone();
    }
}

void EraseEngine::OnItemRefused(const EraseItem& item, const std::string& reason) {
    m_batch.Flush();
    m_itemTouched = true;  // refused, which is more than "not found"
    m_trace.Forget();      // nothing was erased, so nothing is made again either
    Report(item.path, kReportRefused, reason);
}

void EraseEngine::OnWalkFailure(std::string& path, WalkFailure what, int error) {
    m_batch.Flush();
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
    m_batch.Flush();  // after a stop too: what was queued is reported
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
    if (m_fs.StatDescriptor(fd, folder).Failed()) {
        return;  // an open descriptor can always be examined
    }
    for (const ChangedVolume& volume : m_changedVolumes) {
        if (volume.device == folder.device) {
            return;
        }
    }
    // Readable, not just for look-ups (a descriptor of those cannot be synced).
    UniqueFd own = m_fs.OpenDirectory(fd, ".").fd;
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
        if (!m_fs.StatDescriptor(volume.folder.Get(), folder).Failed() &&
            FindMountById(folder.mountId, mount)) {
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
    if (!m_batch.Flushing() && !m_batch.Empty()) {
        // Reports keep the order of the walk, and each comes before its item's end. Copies:
        // finishing the queue changes the members the arguments may refer to.
        const std::string shown = path;
        const std::string why = reason;
        m_batch.Flush();
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

// ---- what the batch and the wipe share with files erased alone ------------------------

PassOutcome EraseEngine::OverwritePass(int fd, int pass, const std::vector<ByteRange>& ranges,
                                       std::uint64_t size, std::uint64_t& position,
                                       SystemError& error) {
    std::uint64_t written = 0;
    return WritePass(fd, pass, ranges, size, false, position, written, error);
}

bool EraseEngine::RemoveOverwritten(int fd, int dirFd, std::string& name, const FindData& identity,
                                    std::string& reason) {
    return ObscureName(dirFd, name, identity).Done(reason) &&
           CutAndRemove(fd, dirFd, name, identity, reason);
}

void EraseEngine::FilesDone(std::uint64_t files, std::uint64_t bytes) {
    const std::uint64_t start = m_done;
    m_done += m_countEntries ? files : bytes;
    m_done = std::max(m_done, start);
    Progress(m_done);
}

std::uint64_t EraseEngine::WriteFill(int fd, std::uint64_t size, SystemError& error) {
    std::uint64_t written = 0;
    const std::uint64_t start = m_done;
    WritePasses(fd, size, {{0, RoundUpToBlock(std::max<std::uint64_t>(size, 1))}}, true, written,
                error);
    m_done = start + ByteShare(static_cast<std::uint64_t>(m_passCount) * size);
    Progress(m_done);
    return written;
}

}  // namespace tolvane
