#include "engine/NameScrubber.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "engine/EraseRules.h"
#include "engine/HashedFolderFill.h"
#include "platform/Directory.h"
#include "platform/Ext4FolderBlocks.h"
#include "platform/FileOps.h"
#include "platform/FileSystem.h"
#include "platform/HexDigits.h"
#include "platform/ProcessLimits.h"
#include "platform/RandomSource.h"
#include "platform/Volumes.h"

namespace tolvane {
namespace {

// Filler names get these lengths, longest first: a free slot too small for one length is
// taken by a shorter one. An xfs entry takes 12 bytes and its name, rounded up to 8; an ext4
// entry 8 and its name, rounded up to 4. The lengths fill each size class exactly.
constexpr std::size_t kXfsLengths[] = {252, 124, 60, 28, 12, 4};
constexpr std::size_t kExt4Lengths[] = {255, 128, 64, 32, 16, 8, 4};

// No folder is filled with more than this many fillers, whatever its size.
constexpr std::size_t kMaxFillers = 200000;
// Folders that stay are remembered up to this many; beyond, their names are only noted.
constexpr std::size_t kMaxStayingFolders = 2048;

// The journal is overwritten with 15% to spare: commit and descriptor blocks are not
// counted, and the head may stand anywhere when the rewriting starts.
constexpr double kJournalMargin = 1.15;
// Unnamed files whose extended attribute is rewritten in each round: one block each per
// round, then one sync makes the round a commit of its own. More files make fewer, larger
// commits: on xfs 1,024 files wrote 126 MiB/s where 64 wrote 14 MiB/s (a 1 GiB loop image).
constexpr std::size_t kAttributeFiles = 1024;
// Small enough for any attribute block, too large for the inode's own space.
constexpr std::size_t kAttributeSize = 256;
const std::string kAttributeName = "user.tolvane.fill";

const std::string kRecordPrefix = "name-fillers-";
const std::string kRemoveFolderMark = "remove";
const std::string kKeepFolderMark = "keep";

// A random number from the system's source; without one, numbers that still differ, which is
// all the fillers' names need.
std::uint64_t RandomWord() {
    std::uint64_t word = 0;
    if (!SystemRandom(&word, sizeof word)) {
        static std::uint64_t counter = 0;
        word = ++counter * 0x9E3779B97F4A7C15ull;
    }
    return word;
}

// The same, fetched a page at a time: aiming at a folder's leaves draws many names for each one
// it makes, and a call into the kernel per name would cost seconds in a large folder.
class RandomWords {
public:
    std::uint64_t Next() {
        if (m_next == m_words.size()) {
            if (!SystemRandom(m_words.data(), sizeof m_words)) {
                std::generate(m_words.begin(), m_words.end(), RandomWord);
            }
            m_next = 0;
        }
        return m_words[m_next++];
    }

private:
    std::array<std::uint64_t, 512> m_words{};
    std::size_t m_next = m_words.size();
};

// A size between 4 KiB and 4 GiB that no file of the user is likely to have by chance.
std::uint64_t AnchorSize() {
    std::uint32_t random = 0;
    if (!SystemRandom(&random, sizeof random)) {
        random = static_cast<std::uint32_t>(ProcessId()) * 2654435761u;
    }
    return std::max<std::uint64_t>(random, 4096);
}

std::string ToHex(const std::string& text) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : text) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

std::string FromHex(const std::string& hex) {
    std::string text;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        const int high = HexDigitValue(hex[i]);
        const int low = HexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            return std::string();
        }
        text += static_cast<char>(high << 4 | low);
    }
    return text;
}

// The mount point of the volume that holds an open folder, for notes; empty when the mount
// table cannot be read.
std::string MountPointOf(FileSystem& fs, int fd) {
    FindData data;
    MountEntry mount;
    return !fs.StatDescriptor(fd, data).Failed() && FindMountById(data.mountId, mount)
               ? mount.mountPoint
               : std::string();
}

}  // namespace

// One volume entries were removed from.
struct NameScrubber::Volume {
    VolumeJournal journal;
    UniqueFd folder;          // a folder on it, to make unnamed files in
    std::string name;         // its mount point, for notes
    bool incomplete = false;  // some name step could not be done
};

// A folder that gets fillers.
struct NameScrubber::Folder {
    UniqueFd fd;
    FindData id;
    Volume* volume = nullptr;
    UniqueFd parent;   // a folder taken over: where it is removed from
    std::string name;  // ... under this name
    UniqueFd anchor;
    FindData anchorId;
    std::vector<std::string> fillers;
    // A hashed ext4 folder, and whether its leaves were read, the fillers aimed at their gaps
    // and the gaps found empty afterwards. Else fillers could only be made until the folder
    // grew, which leaves some gaps as they were.
    bool hashed = false;
    bool aimed = false;
};

// The file in the user's state folder that lists the anchors of a run, one line each:
// "<device> <anchor inode> <anchor size> remove|keep <folder path in hex>". The run holds its lock,
// so a file nobody holds belongs to a run that has ended. It is overwritten before it goes: the
// paths it held may be names of entries the run erased.
class NameScrubber::Record {
public:
    explicit Record(FileSystem& fs) : m_fs(fs) {}
    ~Record() { Clear(); }

    // False when the line cannot be recorded: then no filler of that anchor may be made.
    // Inode 0 stands for a folder whose names are still to be cleared.
    bool Add(std::uint64_t device, std::uint64_t inode, std::uint64_t size, bool removeFolder,
             const std::string& folderPath, bool sync = true) {
        if (folderPath.empty() || !Open()) {
            return false;
        }
        const std::string line = std::to_string(device) + " " + std::to_string(inode) + " " +
                                 std::to_string(size) + " " +
                                 (removeFolder ? kRemoveFolderMark : kKeepFolderMark) + " " +
                                 ToHex(folderPath) + "\n";
        if (m_fs.WriteAt(m_fd.Get(), line.data(), line.size(), m_size).bytes != line.size()) {
            return false;
        }
        m_size += line.size();
        return !sync || !m_fs.SyncData(m_fd.Get()).Failed();
    }

    void Clear() {
        if (!m_fd.Valid()) {
            return;
        }
        Erase(m_fs, m_folder.Get(), m_name, m_fd.Get(), m_size);
        m_fd.Reset();
        m_size = 0;
    }

    // Overwrites a record, then removes it. Best effort: what stays is only a list of
    // entries that are gone.
    static void Erase(FileSystem& fs, int folderFd, const std::string& name, int fd,
                      std::uint64_t size) {
        const std::string zeros(size, '\0');
        if (size > 0 && fs.WriteAt(fd, zeros.data(), zeros.size(), 0).bytes > 0) {
            (void)fs.SyncData(fd);
        }
        (void)fs.Truncate(fd);
        (void)fs.RemoveFile(folderFd, name);
    }

    // The folder all records live in; invalid when it cannot be made.
    static UniqueFd OpenFolder(FileSystem& fs) {
        const std::string state = StateFolder();
        if (state.empty()) {
            return UniqueFd();
        }
        const std::string folder = state + "tolvane";
        // XDG: the state folder and its parents may be missing; they are made private.
        for (std::size_t slash = state.find('/', 1); slash != std::string::npos;
             slash = state.find('/', slash + 1)) {
            (void)fs.MakeFolder(AT_FDCWD, state.substr(0, slash), 0700);  // most exist
        }
        (void)fs.MakeFolder(AT_FDCWD, folder, 0700);  // the open says whether it is there
        return fs.OpenFolder(folder).fd;
    }

private:
    bool Open() {
        if (m_fd.Valid()) {
            return true;
        }
        m_folder = OpenFolder(m_fs);
        if (!m_folder.Valid()) {
            return false;
        }
        m_name = kRecordPrefix + std::to_string(ProcessId());
        (void)m_fs.RemoveFile(m_folder.Get(), m_name);  // an older run's with our number
        UniqueFd made = m_fs.CreateNewFile(m_folder.Get(), m_name).fd;
        m_fd = OpenForReadWrite(m_folder.Get(), m_name);
        if (!made.Valid() || !m_fd.Valid() || !TryLockExclusive(m_fd.Get())) {
            m_fd.Reset();
            return false;
        }
        return true;
    }

    FileSystem& m_fs;
    UniqueFd m_folder;
    std::string m_name;
    UniqueFd m_fd;
    std::uint64_t m_size = 0;
};

// Adds the time it lives to a total, unless another timer of the same total runs around it.
class NameScrubber::Timer {
public:
    Timer(double& total, int& depth) : m_total(total), m_depth(depth) { ++m_depth; }
    ~Timer() {
        if (--m_depth == 0) {
            m_total +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        }
    }
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

private:
    double& m_total;
    int& m_depth;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

// The record is the program's own file, not part of the selection: it is written directly.
NameScrubber::NameScrubber(FileSystem& fs)
    : m_fs(fs), m_record(std::make_unique<Record>(RealFileSystem())) {}

NameScrubber::~NameScrubber() {
    // A run that never came to Finish (the engine deleted mid-run) still takes its fillers
    // back.
    for (auto& folder : m_staying) {
        RemoveFillers(*folder);
    }
    for (auto& folder : m_takenOver) {
        RemoveFillers(*folder);
    }
}

namespace {

// A descriptor of the folder `fd` that every call takes: the walk may hold folders by
// descriptors that only serve to look names up (O_PATH), which syncs and ioctls refuse.
UniqueFd Reopen(FileSystem& fs, int fd) {
    UniqueFd folder = fs.OpenDirectory(fd, ".").fd;
    return folder.Valid() ? std::move(folder) : DuplicateDescriptor(fd);
}

}  // namespace

bool NameScrubber::Describe(int fd, FindData& data) {
    return !m_fs.StatDescriptor(fd, data).Failed();
}

NameScrubber::Volume* NameScrubber::VolumeOf(int fd) {
    FindData data;
    if (!Describe(fd, data)) {
        return nullptr;
    }
    auto found = m_volumes.find(data.device);
    if (found != m_volumes.end()) {
        return found->second.get();
    }
    auto volume = std::make_unique<Volume>();
    volume->folder = Reopen(m_fs, fd);  // the ioctls need more than a descriptor for look-ups
    if (!ReadVolumeJournal(volume->folder.Get(), volume->journal)) {
        return nullptr;
    }
    volume->name = MountPointOf(m_fs, volume->folder.Get());
    Volume* result = volume.get();
    m_volumes.emplace(data.device, std::move(volume));
    return result;
}

void NameScrubber::Begin(std::vector<std::string>& notes) {
    Timer timer(m_seconds, m_timing);
    if (!m_begun) {
        m_begun = true;
        ReleaseLeftovers(notes);
    }
}

void NameScrubber::NoteRemoval(int dirFd) {
    Timer timer(m_seconds, m_timing);
    FindData id;
    Volume* volume = VolumeOf(dirFd);
    if (volume == nullptr || !Describe(dirFd, id)) {
        return;
    }
    // Entries mostly leave the folder the last one left.
    if (std::any_of(m_staying.rbegin(), m_staying.rend(),
                    [&](const auto& folder) { return SameFile(folder->id, id); })) {
        return;
    }
    if (m_staying.size() >= std::min(kMaxStayingFolders, OpenFileLimit() / 4)) {
        volume->incomplete = true;
        return;
    }
    auto folder = std::make_unique<Folder>();
    folder->fd = Reopen(m_fs, dirFd);
    folder->id = id;
    folder->volume = volume;
    if (!folder->fd.Valid()) {
        volume->incomplete = true;
        return;
    }
    // xfs frees a folder block that its last entry leaves, unwritten: one filler in every
    // block keeps them all until their slots are filled and written.
    if (volume->journal.kind == VolumeJournal::Kind::kXfs &&
        id.size >= volume->journal.folderBlockSize && !Fill(*folder)) {
        volume->incomplete = true;
    }
    m_staying.push_back(std::move(folder));
}

SystemError NameScrubber::RemoveFolder(int dirFd, const std::string& name) {
    Timer timer(m_seconds, m_timing);
    NoteRemoval(dirFd);  // its own names (before the renames) stay in its parent
    UniqueFd fd = m_fs.OpenDirectory(dirFd, name).fd;
    FindData id;
    Volume* volume = fd.Valid() ? VolumeOf(fd.Get()) : nullptr;
    if (volume == nullptr || !Describe(fd.Get(), id)) {
        return m_fs.RemoveFolder(dirFd, name);
    }
    // It goes: what it held is handled here, not with the folders that stay.
    std::unique_ptr<Folder> folder;
    for (auto it = m_staying.begin(); it != m_staying.end(); ++it) {
        if (SameFile((*it)->id, id)) {
            folder = std::move(*it);
            m_staying.erase(it);
            break;
        }
    }
    const bool hadRemovals = folder != nullptr;
    if (volume->journal.kind == VolumeJournal::Kind::kXfs && hadRemovals) {
        // Its blocks are freed without being written: its free slots are filled now, written
        // to their place by the log's wrap at the end of the run, and it is removed after that.
        folder->parent = DuplicateDescriptor(dirFd);
        folder->name = name;
        if (folder->anchor.Valid()) {
            // Filled while it stayed: recorded again under its new name, as a folder to go.
            (void)m_record->Add(folder->anchorId.device, folder->anchorId.inode,
                                folder->anchorId.size, true, DescriptorPath(folder->fd.Get()));
        }
        if (folder->parent.Valid() && Fill(*folder)) {
            m_takenOver.push_back(std::move(folder));
            return {};
        }
        volume->incomplete = true;
    }
    if (folder) {
        RemoveFillers(*folder);
        folder.reset();
    }
    // Removed entries are cleared in memory; the blocks must reach the disk before they are
    // freed, as a freed block is never written again. A folder no entry left holds no names.
    if (volume->journal.kind == VolumeJournal::Kind::kExt4 && hadRemovals) {
        if (m_fs.SyncFileSystem(fd.Get()).Failed()) {
            volume->incomplete = true;
        }
    }
    fd.Reset();
    return m_fs.RemoveFolder(dirFd, name);
}

bool NameScrubber::IsOwn(const FindData& entry) const {
    const auto holds = [&](const auto& folder) {
        return SameFile(folder->id, entry) ||
               (folder->anchor.Valid() && SameFile(folder->anchorId, entry));
    };
    return std::any_of(m_takenOver.begin(), m_takenOver.end(), holds) ||
           std::any_of(m_staying.begin(), m_staying.end(), holds);
}

// ---- fillers -----------------------------------------------------------------------------

// Fills the folder's free slots with names of a new anchor; false when that cannot be done
// (what was made stays listed in the folder, for RemoveFillers).
bool NameScrubber::Fill(Folder& folder) {
    const VolumeJournal& journal = folder.volume->journal;
    if (journal.kind == VolumeJournal::Kind::kExt4) {
        folder.hashed = IsHashedFolder(folder.fd.Get());
        // Its entries stay where they were made and the kernel wiped those it removed: there
        // is nothing to fill, and one filler too many would turn it into a hashed folder.
        if (!folder.hashed && Ext4WipesRemovedEntries()) {
            return true;
        }
    }
    if (!folder.anchor.Valid() && !MakeAnchor(folder)) {
        return false;
    }
    FindData now;
    if (!Describe(folder.fd.Get(), now)) {
        return false;
    }
    if (journal.kind == VolumeJournal::Kind::kXfs && now.size < journal.folderBlockSize) {
        return FillShortXfsFolder(folder);
    }
    if (folder.hashed && FillLeaves(folder)) {
        return true;
    }
    return FillBlocks(folder);
}

// A hashed folder whose blocks can be read (the device's owner may) gets fillers aimed at the
// gaps of its leaves, without overfilling any: growing it would split leaves, and a split
// leaf keeps copies of its names in its free end. False when the blocks cannot be read; what
// the fillers could not reach is found when the leaves are checked.
bool NameScrubber::FillLeaves(Folder& folder) {
    Ext4FolderBlocks blocks;
    if (!ReadExt4FolderBlocks(folder.fd.Get(), folder.volume->journal.deviceName, blocks)) {
        return false;
    }
    folder.aimed = true;
    RandomWords random;
    HashedFolderFill fill(blocks, [&random] { return random.Next(); });
    for (std::string& name : fill.Plan()) {
        if (folder.fillers.size() >= kMaxFillers ||
            m_fs.Link(folder.anchor.Get(), folder.fd.Get(), name).Failed()) {
            break;  // the rest would land in gaps other than theirs
        }
        folder.fillers.push_back(std::move(name));
    }
    return true;
}

// After the fillers went, every gap an entry could take holds nothing but zeros. A gap smaller
// than any entry, behind an entry made into a slot only slightly larger, keeps what it held: no
// filler reaches it, and at most 11 bytes fit there.
void NameScrubber::CheckLeaves(Folder& folder) {
    Ext4FolderBlocks blocks;
    if (!ReadExt4FolderBlocks(folder.fd.Get(), folder.volume->journal.deviceName, blocks) ||
        std::any_of(blocks.leaves.begin(), blocks.leaves.end(),
                    [](const auto& leaf) { return HashedFolderFill::HoldsOldBytes(leaf, true); })) {
        folder.aimed = false;
    }
}

// A short xfs folder keeps its entries in its inode, which holds them up to the end of its
// data area; past that the folder turns into a block and the inode's old bytes would stay.
// So it is filled up to the end of the area without turning. The area is the inode less its
// own fields, less what extended attributes take, which is not told: a filler that turns
// the folder is taken back (turning it back) and a shorter one tried.
bool NameScrubber::FillShortXfsFolder(Folder& folder) {
    const VolumeJournal& journal = folder.volume->journal;
    const std::uint64_t coreSize = journal.inodeSize >= 512 ? 176 : 100;
    if (journal.inodeSize <= coreSize) {
        return false;
    }
    constexpr std::uint64_t kEntryFields = 8;  // length, offset, type, 4-byte inode number
    // A short first filler, which fits unless the folder is full: the anchor must keep a
    // name, or it could not be given another.
    if (!AddFiller(folder, 1)) {
        return false;
    }
    std::uint64_t area = journal.inodeSize - coreSize;  // what the area holds at most
    std::uint64_t longest = 255;
    for (int tries = 0; tries < 256; ++tries) {
        FindData before;
        if (!Describe(folder.fd.Get(), before) || before.size >= journal.folderBlockSize) {
            return false;
        }
        if (before.size + kEntryFields + 1 > area) {
            return true;
        }
        const std::size_t length = std::min(longest, area - before.size - kEntryFields);
        if (!AddFiller(folder, length)) {
            return false;
        }
        FindData after;
        if (!Describe(folder.fd.Get(), after)) {
            return false;
        }
        if (after.size >= journal.folderBlockSize) {
            (void)m_fs.RemoveFile(folder.fd.Get(), folder.fillers.back());
            folder.fillers.pop_back();
            area = before.size + kEntryFields + length - 1;
            longest = std::max<std::uint64_t>(1, length / 2);
        }
    }
    return true;
}

// A folder in blocks: each length is added until the folder grows, which shows that no
// block has a free slot of that size left; then the next shorter one.
bool NameScrubber::FillBlocks(Folder& folder) {
    const bool xfs = folder.volume->journal.kind == VolumeJournal::Kind::kXfs;
    const std::vector<std::size_t> lengths =
        xfs ? std::vector<std::size_t>(std::begin(kXfsLengths), std::end(kXfsLengths))
            : std::vector<std::size_t>(std::begin(kExt4Lengths), std::end(kExt4Lengths));
    for (std::size_t length : lengths) {
        FindData before;
        if (!Describe(folder.fd.Get(), before)) {
            return false;
        }
        for (;;) {
            if (folder.fillers.size() >= kMaxFillers || !AddFiller(folder, length)) {
                return false;
            }
            FindData now;
            if (!Describe(folder.fd.Get(), now)) {
                return false;
            }
            if (now.size > before.size) {
                break;
            }
        }
    }
    return true;
}

// A new unnamed file in the folder whose names the fillers are.
bool NameScrubber::MakeAnchor(Folder& folder) {
    folder.anchor = m_fs.CreateUnnamedFile(folder.fd.Get()).fd;
    // Recorded before the first filler exists, so that no end of the run can leave one that
    // the next run does not find. A folder that is to go is recorded as such. Its inode number
    // alone could name a user's file by then (a run killed after its last filler went frees the
    // anchor, and the number is given again): a random size, held in no block, marks it too.
    if (!folder.anchor.Valid() || m_fs.Truncate(folder.anchor.Get(), AnchorSize()).Failed() ||
        !Describe(folder.anchor.Get(), folder.anchorId) ||
        !m_record->Add(folder.anchorId.device, folder.anchorId.inode, folder.anchorId.size,
                       folder.parent.Valid(), DescriptorPath(folder.fd.Get()))) {
        folder.anchor.Reset();
        return false;
    }
    return true;
}

bool NameScrubber::AddFiller(Folder& folder, std::size_t length) {
    for (int tries = 0; tries < 8; ++tries) {
        std::string name = FillerName(length, RandomWord);
        const SystemError error = m_fs.Link(folder.anchor.Get(), folder.fd.Get(), name);
        if (!error.Failed()) {
            folder.fillers.push_back(std::move(name));
            return true;
        }
        if (error.number != EEXIST) {
            return false;
        }
    }
    return false;
}

void NameScrubber::RemoveFillers(Folder& folder) {
    for (const std::string& name : folder.fillers) {
        (void)m_fs.RemoveFile(folder.fd.Get(), name);  // a filler that stays is found next run
    }
    folder.fillers.clear();
    folder.anchor.Reset();
}

// ---- the end of the run --------------------------------------------------------------------

void NameScrubber::Finish(bool stopped, const std::function<bool()>& stopRequested,
                          std::vector<std::string>& notes) {
    Timer timer(m_seconds, m_timing);
    ScrubStayingFolders(stopped, stopRequested);
    std::vector<Volume*> volumes;
    for (auto& [device, volume] : m_volumes) {
        RereadFacts(*volume);
        volumes.push_back(volume.get());
    }
    // xfs writes the filled folders to their place only when its log wraps; the fillers go
    // after that. The names that leave the log then are the fillers' own.
    for (Volume* volume : volumes) {
        if (volume->journal.kind == VolumeJournal::Kind::kXfs &&
            (stopped || stopRequested() || !OverwriteJournal(*volume, stopRequested))) {
            volume->incomplete = true;
        }
    }
    for (auto& folder : m_staying) {
        RemoveFillers(*folder);
    }
    RemoveTakenOver();
    for (Volume* volume : volumes) {
        if (volume->journal.kind == VolumeJournal::Kind::kExt4 &&
            (stopped || stopRequested() || !OverwriteJournal(*volume, stopRequested))) {
            volume->incomplete = true;
        }
    }
    m_record->Clear();
    for (Volume* volume : volumes) {
        if (volume->incomplete && volume->journal.kind != VolumeJournal::Kind::kOther) {
            notes.push_back("names of erased files may remain in the journal of " + volume->name);
        }
    }
    for (const auto& folder : m_staying) {
        if (folder->hashed && !folder->aimed) {
            notes.push_back("names of erased files may remain in the folder " +
                            DescriptorPath(folder->fd.Get()));
        }
    }
    m_staying.clear();
    m_takenOver.clear();
    m_volumes.clear();
}

// Facts read while a batch held nearly every descriptor the process may open can be missing
// (the journal's size, the mount table): read again once the run's files are closed.
void NameScrubber::RereadFacts(Volume& volume) {
    if (volume.journal.journalBytes == 0) {
        (void)ReadVolumeJournal(volume.folder.Get(), volume.journal);  // as before if it fails
    }
    if (volume.name.empty()) {
        volume.name = MountPointOf(m_fs, volume.folder.Get());
    }
}

// Fills every folder that stays; ext4 writes them to their place at once, xfs with its log.
void NameScrubber::ScrubStayingFolders(bool stopped, const std::function<bool()>& stopRequested) {
    // All of them are recorded first: a run killed while it fills one leaves the others to
    // the next run too.
    if (!stopped) {
        for (auto& folder : m_staying) {
            (void)m_record->Add(folder->id.device, 0, 0, false, DescriptorPath(folder->fd.Get()),
                                &folder == &m_staying.back());
        }
    }
    std::vector<std::unique_ptr<Folder>> staying;
    for (auto& folder : m_staying) {
        const VolumeJournal::Kind kind = folder->volume->journal.kind;
        if (kind == VolumeJournal::Kind::kOther) {
            continue;  // nothing here reaches its names: the medium notes say so
        }
        if (stopped || stopRequested() || !Fill(*folder)) {
            folder->volume->incomplete = true;
            RemoveFillers(*folder);
            continue;
        }
        if (kind == VolumeJournal::Kind::kExt4) {
            if (m_fs.SyncFileSystem(folder->fd.Get()).Failed()) {
                folder->volume->incomplete = true;
            }
            RemoveFillers(*folder);
            if (folder->aimed) {
                CheckLeaves(*folder);
            }
        }
        staying.push_back(std::move(folder));
    }
    m_staying = std::move(staying);
}

// Removes the folders taken over, deepest first, with what fills them.
void NameScrubber::RemoveTakenOver() {
    for (auto& folder : m_takenOver) {
        RemoveFillers(*folder);
        folder->fd.Reset();
        if (m_fs.RemoveFolder(folder->parent.Get(), folder->name).Failed()) {
            folder->volume->incomplete = true;  // it stays under its meaningless name
        }
    }
}

bool NameScrubber::OverwriteJournal(Volume& volume, const std::function<bool()>& stopRequested) {
    if (!volume.journal.hasJournal) {
        return true;  // nothing keeps copies of the folders' blocks
    }
    if (volume.journal.kind == VolumeJournal::Kind::kExt4) {
        // Everything synced first, so the zeroed journal has nothing left to give back.
        if (!m_fs.SyncFileSystem(volume.folder.Get()).Failed() &&
            CheckpointAndZeroJournal(volume.folder.Get())) {
            return true;
        }
    }
    return RewriteAttributes(volume, stopRequested);
}

// Rewrites an extended attribute of unnamed files, a sync after each round, until the journal
// has been written over once: every block of it then holds these rounds.
bool NameScrubber::RewriteAttributes(Volume& volume, const std::function<bool()>& stopRequested) {
    const VolumeJournal& journal = volume.journal;
    if (journal.journalBytes == 0) {
        return false;
    }
    // Made in a folder that stays and where entries were removed, so one the user may write to.
    int folderFd = volume.folder.Get();
    for (const auto& folder : m_staying) {
        if (folder->volume == &volume) {
            folderFd = folder->fd.Get();
        }
    }
    std::vector<UniqueFd> files;
    const std::size_t count = std::clamp<std::size_t>(OpenFileLimit() / 4, 64, kAttributeFiles);
    for (std::size_t i = 0; i < count; ++i) {
        UniqueFd fd = m_fs.CreateUnnamedFile(folderFd).fd;
        if (!fd.Valid()) {
            return false;
        }
        files.push_back(std::move(fd));
    }
    const bool xfs = journal.kind == VolumeJournal::Kind::kXfs;
    // It lives in an attribute block of its own, which ext4 copies whole into the journal at
    // every commit; xfs logs about a block for it and the inode.
    std::string value(kAttributeSize, '\0');
    if (!SystemRandom(value.data(), value.size())) {
        return false;
    }
    const std::uint64_t perRound = files.size() * (xfs ? value.size() : journal.blockSize);
    const auto target = static_cast<std::uint64_t>(journal.journalBytes * kJournalMargin);
    std::uint64_t start = 0, position = 0;
    const bool measured = xfs && XfsLogPosition(journal, start);
    for (std::uint64_t written = 0, round = 0;; ++round) {
        if (measured && XfsLogPosition(journal, position)) {
            written = (position - start) * 512;
        }
        if (written >= target) {
            return true;
        }
        if (stopRequested()) {
            return false;
        }
        for (std::size_t i = 0; i < files.size(); ++i) {
            UniqueFd& fd = files[i];
            // Different in every file and round: ext4 shares attribute blocks of equal
            // content between files, which would journal one block for all of them.
            value[0] = static_cast<char>(round);
            value[1] = static_cast<char>(round >> 8);
            value[2] = static_cast<char>(i);
            value[3] = static_cast<char>(i >> 8);
            if (m_fs.SetAttribute(fd.Get(), kAttributeName, value.data(), value.size()).Failed()) {
                return false;
            }
        }
        if (m_fs.SyncFileSystem(files.front().Get()).Failed()) {
            return false;
        }
        if (!measured) {
            written += perRound;
        }
    }
}

// Removes every entry of the folder that is a name of the anchor; true when there was one.
bool NameScrubber::RemoveLeftFillers(int folderFd, std::uint64_t device, std::uint64_t inode,
                                     std::uint64_t size) {
    std::vector<FindData> names;
    if (m_fs.ListFolder(folderFd, names, nullptr).Failed()) {
        return false;
    }
    bool found = false;
    for (const FindData& name : names) {
        if (name.IsRegular() && name.inode == inode && name.device == device && name.size == size) {
            found = true;
            (void)m_fs.RemoveFile(folderFd, name.name);
        }
    }
    return found;
}

// Removes every entry of the anchors that runs which ended without their Finish recorded.
void NameScrubber::ReleaseLeftovers(std::vector<std::string>& notes) {
    FileSystem& own = RealFileSystem();  // the records are the program's own files
    UniqueFd records = Record::OpenFolder(own);
    std::vector<FindData> entries;
    if (!records.Valid() || own.ListFolder(records.Get(), entries, nullptr).Failed()) {
        return;
    }
    std::size_t released = 0;
    for (const FindData& entry : entries) {
        if (entry.name.rfind(kRecordPrefix, 0) != 0 || !entry.IsRegular()) {
            continue;
        }
        UniqueFd fd = OpenForReadWrite(records.Get(), entry.name);
        std::string text;
        if (!fd.Valid() || !TryLockExclusive(fd.Get()) || !ReadAll(fd.Get(), text)) {
            continue;  // a run that is still going
        }
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t end = text.find('\n', at);
            if (end == std::string::npos) {
                break;  // a line cut short: its anchor had no filler yet
            }
            char mark[16] = {};
            char hex[8192] = {};
            unsigned long long device = 0, inode = 0, size = 0;
            const std::string line = text.substr(at, end - at);
            at = end + 1;
            if (line.size() >= sizeof hex || std::sscanf(line.c_str(), "%llu %llu %llu %15s %8191s",
                                                         &device, &inode, &size, mark, hex) != 5) {
                continue;
            }
            const std::string path = FromHex(hex);
            UniqueFd folder = m_fs.OpenFolder(path).fd;
            FindData id;
            if (!folder.Valid() || !Describe(folder.Get(), id) || id.device != device) {
                continue;
            }
            const bool fillers = inode != 0 && RemoveLeftFillers(folder.Get(), device, inode, size);
            released += fillers ? 1 : 0;
            std::string parent, name;
            SplitPath(path, parent, name);
            UniqueFd parentFd = m_fs.OpenFolder(parent.empty() ? "/" : parent).fd;
            FindData there;
            if (kRemoveFolderMark == mark && fillers && parentFd.Valid() &&
                !m_fs.StatEntry(parentFd.Get(), name, there).Failed() && SameFile(there, id)) {
                // A folder the run had erased but for its fillers: removed as this run removes
                // its own. Only where its fillers were found: by now the path may name a
                // folder of the user's, which is left alone.
                folder.Reset();
                (void)RemoveFolder(parentFd.Get(), name);
            } else {
                NoteRemoval(folder.Get());  // its names are cleared with this run's folders
            }
        }
        Record::Erase(own, records.Get(), entry.name, fd.Get(), text.size());
    }
    if (released > 0) {
        notes.push_back("filler entries that an interrupted run left in " +
                        std::to_string(released) + (released == 1 ? " folder" : " folders") +
                        " were removed");
    }
}

}  // namespace tolvane
