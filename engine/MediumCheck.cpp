#include "MediumCheck.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/Volumes.h"
#include "platform/Wildcard.h"

namespace tolvane {
namespace {

// What a file system's type says about overwriting in place.
//
// Copy-on-write and log-structured file systems never write over a block that holds live
// data: a changed block goes to a new place, and the old one is released as it was, readable
// until something else happens to land there. A file marked no-copy-on-write is the exception
// (its blocks are rewritten in place), so these reasons hold only where something else is
// written: a folder's files, a free-space wipe, a file without the mark.
//
// tmpfs and ramfs keep their files in memory: the kernel moves pages around (compaction) and
// swaps tmpfs pages out, and the copies it leaves behind are never overwritten.
struct FileSystemRule {
    std::string_view fsType;
    MediumReason reason;
};
constexpr std::array<FileSystemRule, 7> kFileSystemRules = {{
    {"btrfs", MediumReason::CopyOnWrite},
    {"zfs", MediumReason::CopyOnWrite},
    {"bcachefs", MediumReason::CopyOnWrite},
    {"f2fs", MediumReason::LogStructured},
    {"nilfs2", MediumReason::LogStructured},
    {"tmpfs", MediumReason::Memory},
    {"ramfs", MediumReason::Memory},
}};

// Journaling file systems that can be mounted to journal file contents as well as metadata.
// Every write then goes to the journal first, and the old contents stay there until the
// journal wraps around. (Per file, ext4's journal-data attribute does the same.)
struct DataJournalRule {
    std::string_view fsType;
    std::string_view option;
};
constexpr std::array<DataJournalRule, 2> kDataJournalRules = {{
    {"ext3", "data=journal"},
    {"ext4", "data=journal"},
}};

constexpr std::size_t kReasonCount = 10;

// What the user reads, by reason, in the order of MediumReason.
constexpr std::array<std::string_view, kReasonCount> kReasonTexts = {
    // Their folders are written to new blocks as well, so the names of erased files stay too:
    // only ext4 and xfs get them cleared.
    "copy-on-write file system: overwriting writes new blocks and old copies of the data and of "
    "the names of erased files may remain",
    "log-structured file system: overwriting writes new blocks and old copies of the data and of "
    "the names of erased files may remain",
    "file contents pass through the journal, which may keep old copies",
    "small files are stored in their inode, and the journal may keep old copies of their contents",
    "compressed files: overwriting writes new blocks and old copies of the data may remain",
    "encrypted files: old encrypted copies may remain, and only removing the key makes them "
    "unreadable",
    "held in memory: the kernel may have moved or swapped out its pages, leaving old copies in "
    "memory or swap",
    "flash storage may keep old copies of overwritten blocks",
    "an overlay: the free space wiped is that of the medium under its upper layer, where "
    "writes land; its lower layers are not written",
    "overlay: the original of a file that came with a lower layer stays there (usually a "
    "read-only image); only the copy in the overlay is erased",
};

using ReasonSet = std::array<bool, kReasonCount>;

void Add(ReasonSet& set, MediumReason reason) {
    set[static_cast<std::size_t>(reason)] = true;
}

const FileSystemRule* RuleFor(std::string_view fsType) {
    auto rule = std::find_if(kFileSystemRules.begin(), kFileSystemRules.end(),
                             [&](const FileSystemRule& r) { return r.fsType == fsType; });
    return rule == kFileSystemRules.end() ? nullptr : &*rule;
}

bool JournalsData(const MountFacts& mount) {
    return std::any_of(
        kDataJournalRules.begin(), kDataJournalRules.end(), [&](const DataJournalRule& rule) {
            return rule.fsType == mount.entry.fsType && mount.HasSuperOption(rule.option);
        });
}

// The volume's own file system: its copy-on-write reason only when something is written
// through the usual path.
void AddFileSystemReasons(const VolumeFacts& facts, ReasonSet& set) {
    const FileSystemRule* rule = RuleFor(facts.mount.entry.fsType);
    if (rule != nullptr && (rule->reason == MediumReason::Memory || facts.copiedOnWrite)) {
        Add(set, rule->reason);
    }
    if (JournalsData(facts.mount) || facts.journalData) {
        Add(set, MediumReason::DataJournal);
    }
    const std::pair<bool, MediumReason> fileReasons[] = {
        {facts.inlineData, MediumReason::InlineData},
        {facts.compressed, MediumReason::Compressed},
        {facts.encrypted, MediumReason::Encrypted},
    };
    for (const auto& [present, reason] : fileReasons) {
        if (present) {
            Add(set, reason);
        }
    }
}

// What lies underneath: an image file's host is written through its usual path whatever the
// image's own file system does, and the disk at the bottom may be flash or memory.
void AddMediumReasons(const BlockMedium& medium, ReasonSet& set) {
    for (const auto* hosts : {&medium.imageHostFsTypes, &medium.upperLayerFsTypes}) {
        for (const std::string& host : *hosts) {
            if (const FileSystemRule* rule = RuleFor(host)) {
                Add(set, rule->reason);
            }
        }
    }
    if (medium.kind == BlockMedium::Kind::NonRotating) {
        Add(set, MediumReason::Flash);
    } else if (medium.kind == BlockMedium::Kind::RamDisk) {
        Add(set, MediumReason::Memory);
    }
}

std::string Join(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : std::string(separator)) + part;
    }
    return text;
}

// "ext4 in an image file on tmpfs", "ext4 on a solid-state disk, data=journal".
std::string DescribeStorage(const VolumeFacts& facts) {
    std::string text = facts.mount.entry.fsType;
    if (!facts.medium.upperLayerFsTypes.empty()) {
        text += " with its upper layer on " + Join(facts.medium.upperLayerFsTypes, " and ");
    }
    if (facts.medium.inImageFile) {
        text += " in an image file";
        if (!facts.medium.imageHostFsTypes.empty()) {
            text += " on " + Join(facts.medium.imageHostFsTypes, " and ");
        }
    }
    if (facts.medium.kind == BlockMedium::Kind::NonRotating) {
        text += " on a solid-state disk";
    } else if (facts.medium.kind == BlockMedium::Kind::RamDisk) {
        text += " on a RAM disk";
    }
    if (JournalsData(facts.mount)) {
        text += ", data=journal";
    }
    return text;
}

std::string MountPointOfRoot(std::string root) {
    if (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    return root;
}

// The folder of a pattern path: "dir/*.txt" gives "dir", "*.txt" gives ".", "/*.txt" "/".
std::string PatternFolder(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// What one path adds to its volume's facts; false when it adds nothing.
bool ProbeItem(const std::string& path, const MediumInfo& info, PathFacts& facts) {
    if (info.Probe(path, facts)) {
        return facts.kind != PathFacts::Kind::Other;
    }
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string::npos
                                      ? std::string_view(path)
                                      : std::string_view(path).substr(slash + 1);
    // Only a path naming nothing is a pattern; its files are not known one by one.
    return HasWildcard(name) && info.Probe(PatternFolder(path), facts) &&
           facts.kind == PathFacts::Kind::Folder;
}

VolumeFacts& VolumeOf(std::vector<VolumeFacts>& volumes, const MountFacts& mount) {
    auto found = std::find_if(volumes.begin(), volumes.end(), [&](const VolumeFacts& v) {
        return v.mount.entry.mountId == mount.entry.mountId;
    });
    if (found != volumes.end()) {
        return *found;
    }
    volumes.push_back(VolumeFacts{mount, {}});
    return volumes.back();
}

void AddItem(const PathFacts& item, VolumeFacts& volume) {
    const bool file = item.kind == PathFacts::Kind::File;
    volume.entries = true;
    volume.copiedOnWrite = volume.copiedOnWrite || !file || !item.noCopyOnWrite;
    volume.inlineData = volume.inlineData || item.inlineData;
    volume.journalData = volume.journalData || item.journalData;
    volume.compressed = volume.compressed || item.compressed;
    volume.encrypted = volume.encrypted || item.encrypted;
}

}  // namespace

std::vector<MediumReason> ReasonsFor(const VolumeFacts& facts) {
    ReasonSet set{};
    AddFileSystemReasons(facts, set);
    AddMediumReasons(facts.medium, set);
    // Only the volume's own file system counts: a volume in an image file that lies on an
    // overlay has its own free space.
    if (facts.freeSpace && IsOverlayFileSystem(facts.mount.entry.fsType)) {
        Add(set, MediumReason::UpperLayer);
    }
    // Files and folders of an overlay (containers, live sessions) are written as copies in its
    // upper layer: the originals of those that came with a lower layer stay there.
    if (facts.entries && IsOverlayFileSystem(facts.mount.entry.fsType)) {
        Add(set, MediumReason::LowerLayer);
    }
    std::vector<MediumReason> reasons;
    for (std::size_t i = 0; i < set.size(); ++i) {
        if (set[i]) {
            reasons.push_back(static_cast<MediumReason>(i));
        }
    }
    return reasons;
}

MediumNote DescribeVolume(const VolumeFacts& facts) {
    MediumNote note;
    note.volume = facts.mount.entry.mountPoint;
    note.reasons = ReasonsFor(facts);
    if (note.reasons.empty()) {
        return note;
    }
    note.text = note.volume + " (" + DescribeStorage(facts) + "): ";
    for (std::size_t i = 0; i < note.reasons.size(); ++i) {
        note.text += std::string(i ? "; " : "") +
                     std::string(kReasonTexts[static_cast<std::size_t>(note.reasons[i])]);
    }
    return note;
}

std::vector<MediumNote> CheckMedia(const std::vector<std::string>& paths, const MediumInfo& info) {
    std::vector<VolumeFacts> volumes;
    for (const std::string& path : paths) {
        std::string root;
        MountFacts mount;
        PathFacts item;
        if (ParseDriveSpec(path, root, info.MountTable())) {
            if (info.MountAt(MountPointOfRoot(root), mount)) {
                VolumeFacts& volume = VolumeOf(volumes, mount);
                volume.copiedOnWrite = true;  // the wipe writes new files
                volume.freeSpace = true;
                // Small files deleted before lie in inodes, which no fill file reaches.
                volume.inlineData = volume.inlineData || info.StoresInlineData(mount, root);
            }
        } else if (ProbeItem(path, info, item)) {
            AddItem(item, VolumeOf(volumes, item.mount));
        }
    }
    std::vector<MediumNote> notes;
    for (VolumeFacts& volume : volumes) {
        volume.medium = info.MediumOf(volume.mount);
        MediumNote note = DescribeVolume(volume);
        if (!note.reasons.empty()) {
            notes.push_back(std::move(note));
        }
    }
    return notes;
}

std::vector<MediumNote> CheckMedia(const std::vector<std::string>& paths) {
    return CheckMedia(paths, MediumInfo());
}

}  // namespace tolvane
