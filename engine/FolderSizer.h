#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/FileSystem.h"

namespace tolvane {

// Measures what one erase-list row stands for, with the walk and the counting rules of an
// erase run, so the size a row shows is the number of bytes the run will overwrite:
//   - a drive row (its drive spec "<mount point>:"): the volume's free space;
//   - a file: its length; a link or special file: 0 (never followed, never written);
//   - a folder: the total length of the regular files below it, at any depth, without
//     following links and without entering folders of other mounts;
//   - a path that names nothing: 0. A name is never read as a pattern here, whatever
//     characters it holds.
// A row's own folder that cannot be listed (or a path that cannot be examined) has no size:
// the result says it is unreadable rather than showing a total of nothing. Folders below it
// that cannot be read add nothing and do not end the count of their siblings.
//
// A long count lowers the calling thread's I/O priority once it has read kLowerAfterReads
// folders, so counting a big tree keeps out of the way of the user's own disk work; the
// caller puts it back (RestorePriority) before its next count.
//
// Threads: one counting thread. The stop check is polled between entries and may read
// state other threads change.
class FolderSizer {
public:
    static constexpr std::size_t kLowerAfterReads = 128;

    struct Result {
        std::uint64_t bytes = 0;
        // The stop check said yes before the count was complete: bytes is a partial total.
        bool stopped = false;
        // The path could not be examined, or it is a folder that could not be listed: bytes
        // says nothing about it.
        bool unreadable = false;
    };
    using StopCheck = std::function<bool()>;
    // Called on the counting thread after each folder of a count has been entered, with the
    // number of folders entered so far; for tests that must act in the middle of a count.
    using FolderHook = std::function<void(std::size_t folders)>;

    // Only before the first count.
    void SetFolderHook(FolderHook hook) { m_hook = std::move(hook); }
    // Where folders are listed (the real file system unless a test says otherwise); it must
    // outlive the sizer. Only before the first count.
    void SetFileSystem(FileSystem& fileSystem) { m_fileSystem = &fileSystem; }

    // folder ends with '/' and is empty for a drive row, whose name is then its drive spec.
    Result Measure(const std::string& folder, const std::string& name, const StopCheck& stop);
    // The bytes below (or of) one path, as above for files and folders.
    Result Count(const std::string& path, const StopCheck& stop);

    // Folders entered by the last count.
    std::size_t FolderReads() const { return m_reads; }
    // Puts the calling thread back at the normal I/O priority if a count lowered it.
    void RestorePriority();

private:
    void FolderEntered();

    FolderHook m_hook;
    FileSystem* m_fileSystem = &RealFileSystem();
    std::size_t m_reads = 0;
    bool m_lowered = false;

    friend class FolderSizerWalk;
};

// The free space of the volume a drive spec ("/media/me/USB:") names; 0 when it cannot be
// read or the text is no drive spec.
std::uint64_t DriveFreeBytes(const std::string& driveSpec, FileSystem& fs = RealFileSystem());

}  // namespace tolvane
