#include "engine/EraseEngine.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

#include "engine/BlockPrefetcher.h"
#include "platform/Directory.h"
#include "platform/FileOps.h"
#include "platform/Volumes.h"

namespace tolvane {
namespace {

// The name every entry gets at its second rename, and the names of the free-space folder
// and of its fill files: nothing in it hints at what was there.
const std::string kObscureName = "aaaaaaaa.aaa";

// Fill files stay below 1 GiB, so that the free space is read again before each one and
// the loop follows what is really left.
constexpr std::uint64_t kFillFileLimit = 0x40000000;

// How much of a pass is written before its writeback is started, so that the medium works
// while the next blocks are made instead of all at the pass's final sync.
constexpr std::uint64_t kWritebackBlocks = 256;  // 8 MiB

std::uint64_t BlockCount(std::uint64_t size) {
    return size == 0 ? 1 : (size - 1) / kBlockSize + 1;
}

bool IsTraceKind(ItemKind kind) {
    return kind != ItemKind::Ordinary;
}

}  // namespace

EraseEngine::EraseEngine(int passCount) : m_passCount(passCount), m_patterns(passCount) {}

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
    m_gate.Pass();
    m_itemTouched = true;
    m_reportPath = path;
    std::string name = EntryName();
    bool ok = EraseFile(ParentFd(), name, entry);
    path.resize(PrefixLength());
    path += name;
    if (!ok) {
        Report(m_reportPath, kReportFailed);
    }
}

bool EraseEngine::EraseFile(int dirFd, std::string& name, const FindData& entry) {
    // A file with other names outside this one shares its content with them: overwriting or
    // truncating it would destroy what another name still holds. It is left as it is and
    // reported; without passes only this name goes.
    const bool shared = entry.IsRegular() && entry.links > 1;
    if (m_passCount <= 0) {
        Progress(++m_done);
    } else if (shared) {
        m_done += static_cast<std::uint64_t>(m_passCount) * entry.size;
        Progress(m_done);
        return false;
    } else if (!entry.IsRegular()) {
        // Links, FIFOs, sockets and devices are never opened for writing: a link's target
        // is not part of the selection, and writing to a device would destroy it.
        if (IsCancelled()) {
            return false;
        }
    } else if (!OverwriteFile(dirFd, name, entry)) {
        return false;
    }
    // A failed first rename leaves the entry under its own name: deleting whatever holds the
    // name we did not get would touch something that was not chosen.
    if (!ObscureName(dirFd, name)) {
        return false;
    }
    return entry.IsRegular() && !shared ? TruncateAndDelete(dirFd, name) : RemoveFile(dirFd, name);
}

bool EraseEngine::OverwriteFile(int dirFd, const std::string& name, const FindData& entry) {
    if (IsCancelled()) {
        return false;
    }
    UniqueFd fd = OpenForOverwrite(dirFd, name, &entry);
    if (!fd.Valid() && (entry.mode & S_IWUSR) == 0) {
        // A read-only file: make it writable first, through a descriptor that is checked to
        // be the file the walk saw.
        UniqueFd meta = OpenForMetadata(dirFd, name);
        if (meta.Valid() && MakeOwnerWritable(meta.Get())) {
            fd = OpenForOverwrite(dirFd, name, &entry);
        }
    }
    if (!fd.Valid()) {
        m_done += static_cast<std::uint64_t>(m_passCount) * entry.size;
        Progress(m_done);
        return false;
    }
    DisableCompression(fd.Get());
    WritePasses(fd.Get(), entry.size);
    return true;  // also when writes failed or the run was cancelled part-way
}

std::uint64_t EraseEngine::WritePasses(int fd, std::uint64_t size) {
    const std::uint64_t blocks = BlockCount(size);
    std::uint64_t position = m_done;
    std::uint64_t written = 0;
    for (int pass = 0; pass < m_passCount; ++pass) {
        bool completed = WritePass(fd, pass, blocks, position, written);
        if (!completed) {
            break;  // cancelled: no flush, the file goes on to be renamed and deleted
        }
        // Force the pass to the medium before the next one overwrites it in the cache.
        (void)SyncData(fd);  // a medium that cannot sync still got the writes
        (void)Rewind(fd);    // cannot fail on a regular file
        position = m_done + static_cast<std::uint64_t>(pass + 1) * size;
        Progress(position);
        if (IsCancelled()) {
            break;
        }
    }
    m_done = position;
    return written;
}

// Writes one pass over `blocks` blocks; false when the run was cancelled during it.
bool EraseEngine::WritePass(int fd, int pass, std::uint64_t blocks, std::uint64_t& position,
                            std::uint64_t& written) {
    const bool fresh = m_patterns.IsFreshPass(pass);
    const bool prefetch = fresh && blocks > 1;
    if (prefetch) {
        if (!m_prefetcher) {
            m_prefetcher = std::make_unique<BlockPrefetcher>(m_patterns.Generator());
        }
        m_prefetcher->Begin(blocks);
    }
    std::uint8_t* fixed = m_patterns.Buffer(pass).data();
    for (std::uint64_t b = 0; b < blocks; ++b) {
        m_gate.Pass();
        const std::uint8_t* block = fixed;
        if (prefetch) {
            block = m_prefetcher->Next();
        } else if (fresh) {
            m_patterns.Fill(fixed, kBlockSize, FillMode::Keystream);
        }
        std::uint64_t n = 0;
        bool more = WriteBlock(fd, block, n);
        if ((b + 1) % kWritebackBlocks == 0) {
            StartWriteback(fd, (b + 1 - kWritebackBlocks) * kBlockSize,
                           kWritebackBlocks * kBlockSize);
        }
        Progress(position);
        position += n;
        written += n;
        if (!more || IsCancelled()) {
            break;
        }
    }
    if (prefetch) {
        m_prefetcher->End();
    }
    return !IsCancelled();
}

// One block; on a full disk one retry with what is left. False ends the pass.
bool EraseEngine::WriteBlock(int fd, const std::uint8_t* block, std::uint64_t& written) {
    std::int64_t n = WriteAll(fd, block, kBlockSize);
    if (n == static_cast<std::int64_t>(kBlockSize)) {
        written = kBlockSize;
        return true;
    }
    if (n > 0) {
        written = static_cast<std::uint64_t>(n);  // the disk filled up inside this block
        return false;
    }
    std::uint64_t left = std::min<std::uint64_t>(FreeBytesOfDescriptor(fd), kBlockSize);
    n = left > 0 ? WriteAll(fd, block, left) : -1;
    written = n > 0 ? static_cast<std::uint64_t>(n) : 0;
    return false;
}

bool EraseEngine::ObscureName(int dirFd, std::string& name) {
    m_previousName = name;
    std::string firstStage(name.size(), 'a');
    while (EntryExists(dirFd, firstStage)) {
        NextName(firstStage);
    }
    if (!RenameNoReplace(dirFd, name, firstStage)) {
        return false;
    }
    name = firstStage;
    m_previousName = firstStage;
    std::string secondStage = kObscureName;
    while (EntryExists(dirFd, secondStage)) {
        NextName(secondStage);
    }
    if (RenameNoReplace(dirFd, firstStage, secondStage)) {
        name = secondStage;
    }
    return true;
}

bool EraseEngine::TruncateAndDelete(int dirFd, const std::string& name) {
    UniqueFd fd = OpenTruncated(dirFd, name);
    ScrambleTimes(fd.Get());  // draws even without a file, so the keystream runs the same way
    fd.Reset();
    return RemoveFile(dirFd, name);
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
        return true;  // as good as empty: the removal below decides
    }
    DirectoryReader reader(folder.Get());
    FindData entry;
    return !reader.Next(entry);
}

void EraseEngine::OnLeaveFolder(std::string& path, const FindData&) {
    m_gate.Pass();
    const int dirFd = ParentFd();
    std::string name = EntryName();
    // Something inside could not be erased (or lies on another mount): the folder stays,
    // under its own name, and is not reported.
    if (!IsFolderEmpty(dirFd, name)) {
        return;
    }
    m_itemTouched = true;
    if (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    m_reportPath = path;
    {
        UniqueFd meta = OpenForMetadata(dirFd, name);
        if (meta.Valid()) {
            (void)MakeOwnerWritable(meta.Get());  // renaming a folder needs its write bit
        }
    }
    if (ObscureName(dirFd, name)) {
        ScrambleEntryTimes(dirFd, name);
        if (!RemoveFolder(dirFd, name)) {
            // Back to the first-stage name, which says nothing about the folder either.
            (void)RenameNoReplace(dirFd, name, m_previousName);
        }
    }
    if (m_passCount <= 0) {
        Progress(++m_done);
    }
}

// ---- free space -----------------------------------------------------------------------

void EraseEngine::OnDrive(std::string&, const std::string& volumeRoot) {
    if (IsCancelled()) {
        return;
    }
    m_itemTouched = true;
    WipeFreeSpace(volumeRoot);
}

void EraseEngine::WipeFreeSpace(const std::string& volumeRoot) {
    if (m_passCount <= 0 || FreeBytes(volumeRoot) == 0) {
        return;
    }
    UniqueFd root = OpenDirectory(AT_FDCWD, volumeRoot);
    if (!root.Valid()) {
        return;
    }
    std::string folder = kObscureName;
    while (EntryExists(root.Get(), folder)) {
        NextName(folder);
    }
    if (!MakeFolder(root.Get(), folder, 0700)) {
        return;
    }
    UniqueFd folderFd = OpenDirectory(root.Get(), folder);
    if (folderFd.Valid()) {
        DisableCompression(folderFd.Get());  // fill files inherit it
        FillFreeSpace(folderFd.Get());
        // Release the space: the fill files go in the order they were made, up to the first
        // name that was never made.
        std::string fill = kObscureName;
        while (TruncateAndDelete(folderFd.Get(), fill)) {
            NextName(fill);
        }
    }
    ScrambleEntryTimes(root.Get(), folder);
    (void)RemoveFolder(root.Get(), folder);  // a leftover empty folder is harmless
}

bool EraseEngine::FillFreeSpace(int folderFd) {
    std::string fill = kObscureName;
    for (;;) {
        std::uint64_t n = std::min(FreeBytesOfDescriptor(folderFd), kFillFileLimit);
        if (n == 0) {
            return true;
        }
        m_gate.Pass();
        UniqueFd fd = CreateNewFile(folderFd, fill);
        if (!fd.Valid() || IsCancelled()) {
            // No fill file can be made although space is reported free (file systems keep
            // some blocks back that no write can use): there is nothing more to fill.
            return false;
        }
        DisableCompression(fd.Get());
        std::uint64_t written = WritePasses(fd.Get(), n);
        NextName(fill);
        // The last fill file took no byte at all: the rest of the reported space is not
        // usable, and asking again would loop for ever.
        if (written == 0 || IsCancelled()) {
            return true;
        }
    }
}

// ---- items and the run ----------------------------------------------------------------

void EraseEngine::OnItemBegin(const EraseItem& item) {
    m_itemTouched = false;
    m_traceMode = 0700;
    if (IsTraceKind(item.kind)) {
        FindData folder;
        if (StatEntry(AT_FDCWD, item.path, folder) && folder.IsDirectory()) {
            m_traceMode = folder.mode & 07777;
        }
    }
}

void EraseEngine::OnItemEnd(const EraseItem& item) {
    RecreateTraceFolder(item);
    if (!m_itemTouched) {
        Report(item.path, kReportNotFound);
    }
    if (m_sink != nullptr) {
        m_sink->ItemDone();
    }
}

void EraseEngine::RecreateTraceFolder(const EraseItem& item) {
    if (!IsTraceKind(item.kind)) {
        return;
    }
    // Programs expect their cache, recent-documents and temporary folders to exist, with the
    // access they had (a shared temporary folder keeps its sticky bit).
    if (MakeFolder(AT_FDCWD, item.path, 0700)) {
        UniqueFd folder = OpenDirectory(AT_FDCWD, item.path);
        if (folder.Valid()) {
            (void)SetPermissions(folder.Get(), m_traceMode);  // best effort, like the mkdir
        }
    }
}

void EraseEngine::OnRootRefused(const EraseItem& item) {
    m_itemTouched = true;  // refused, which is more than "not found"
    Report(item.path, kReportRefused);
}

void EraseEngine::OnFinish() {
    ProgressSink* sink = m_sink;
    if (sink == nullptr) {
        return;
    }
    sink->Progress(m_total, m_total);
    // The receiver may delete this engine while handling the end message: nothing after
    // this line may touch a member.
    sink->Finished();
}

void EraseEngine::Progress(std::uint64_t position) {
    if (m_sink != nullptr) {
        m_sink->Progress(static_cast<std::int64_t>(position), m_total);
    }
}

void EraseEngine::Report(const std::string& path, int code) {
    if (code == kReportNotFound) {
        ++m_notFoundCount;
    } else {
        ++m_failedCount;
    }
    if (m_sink != nullptr) {
        m_sink->ReportItem(path, code);
    }
}

}  // namespace tolvane
