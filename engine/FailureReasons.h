#pragma once

#include <string>

#include "platform/SystemError.h"

namespace tolvane {

// Why an entry was not erased, in the words of the closing report ("<path> - <reason>"). The
// engine's progress lines keep their fixed " - failed"; these texts go to the report and, for
// refused items, to the progress line as well.

// Items the program never erases (report code refused).
inline constexpr char kRefusedRoot[] = "refused: the system root is never erased";
inline constexpr char kRefusedDotName[] =
    "refused: a path ending in . or .. is never erased (name the folder itself)";
inline constexpr char kRefusedKernelFileSystem[] =
    "refused: kernel file system (its files are controls of the running system)";
inline constexpr char kRefusedNotAVolume[] = "not a mounted volume";
inline constexpr char kRefusedRamVolume[] = "a RAM file system has no free space to wipe";
inline constexpr char kRefusedNoUserData[] = "not a volume that holds user files";
inline constexpr char kRefusedLinkedTrash[] =
    "refused: the volume's .Trash folder that holds it is a symbolic link (anyone may have "
    "made it)";

// Files and folders that stayed.
inline constexpr char kHasOtherNames[] =
    "has other names (hard links): overwriting would destroy what they hold";
inline constexpr char kGainedNameWhileOverwriting[] =
    "gained another name while it was being overwritten: that name now holds overwritten data";
inline constexpr char kKeptChangingSize[] =
    "kept changing size while it was being overwritten (another program is writing it); it was "
    "left in place";
inline constexpr char kShortenedBeforeOverwritten[] =
    "was made shorter by another program before it was overwritten: what was cut off went to "
    "the free space unwritten (a free-space wipe of its volume reaches it)";
inline constexpr char kOriginalInLowerLayer[] =
    "only its copy in the overlay was erased: the original stays in the overlay's lower layer "
    "(usually a read-only image)";
inline constexpr char kStoppedDuringOverwrite[] = "stopped before it was completely overwritten";
inline constexpr char kStoppedBeforeReached[] = "stopped before it was reached";
inline constexpr char kReplacedWhileErasing[] =
    "another file took its name while it was being erased; that file was left alone";
inline constexpr char kChangedWhileListing[] = "changed while it was being erased";
inline constexpr char kSwappedBeforeRename[] =
    "another entry took its name just before it was renamed; that entry was put back under its "
    "name and left alone";
// Followed by the name the other entry now has.
inline constexpr char kSwappedBeforeRenameStays[] =
    "another entry took its name just before it was renamed; that entry was left alone but could "
    "not be put back and is now named";
inline constexpr char kStickyFolderOthersFile[] =
    "could not be renamed: in this shared (sticky) folder only the file's owner may rename or "
    "remove it; it was left alone, not overwritten";

// "<what>: <why>", with why in words for the error number (permission denied, read-only file
// system, file system full, ...).
std::string FailureReason(const char* what, int error);
inline std::string FailureReason(const char* what, const SystemError& error) {
    return FailureReason(what, error.number);
}

// Steps that can fail, for FailureReason.
inline constexpr char kCouldNotBeExamined[] = "could not be examined";
inline constexpr char kCouldNotBeListed[] = "could not be listed";
inline constexpr char kCouldNotBeOpened[] = "could not be opened for writing";
inline constexpr char kCouldNotBeOverwritten[] = "could not be overwritten";
inline constexpr char kCouldNotBeSynced[] = "could not be written to the medium";
inline constexpr char kCouldNotBeRenamed[] = "could not be renamed";
inline constexpr char kOverwrittenNotRemoved[] = "overwritten but could not be removed";
inline constexpr char kCouldNotBeRemoved[] = "could not be removed";
inline constexpr char kFreeSpaceNotWritten[] = "free space could not be written";
inline constexpr char kVolumeNotSynced[] =
    "what was erased on this volume could not be written to the medium";

}  // namespace tolvane
