#pragma once

#include <cstdint>
#include <string>

#include "engine/EraseItem.h"
#include "platform/FindData.h"

namespace tolvane {

class FileSystem;

// A trace folder of the user's (cache, recent documents, temporary files, trash) as it was
// before its item was erased, to make it again afterwards: programs expect these folders to
// exist, with the owner and access they had.
//
// What it promises: Note() looks at the folder through its link only where the walk follows
// that link; a volume's trash that is itself a link is gone as a link and nothing is made in
// its place; of a volume's shared trash only the user's own folder inside it is made again
// (and only if the user had one); a trash folder gets its files/ and info/ back. Recreate() goes
// through the folder it made (a link put in its place meanwhile is not followed) and gives
// back owner and access only to a folder it made itself; all of it is best effort.
//
// What it needs: the file system the run changes (for making folders and their access).
//
// Called by the engine on the run's worker thread: Note() as each item begins, Forget() when
// the item is refused, Recreate() once the item's contents are gone.
class TraceFolder {
public:
    explicit TraceFolder(FileSystem& fileSystem) : m_fs(fileSystem) {}

    // Remembers how the item's folder looks when it is a trace folder; forgets the last one.
    void Note(const EraseItem& item);
    // Nothing is made again (the item was not erased).
    void Forget() { m_was = Looks(); }
    // A folder is to be made again once the item is erased.
    bool Pending() const { return !m_was.path.empty(); }
    void Recreate() const;

private:
    // What the folder looked like before its item was erased, to bring it back.
    struct Looks {
        std::string path;  // the folder to recreate ("" when nothing is recreated)
        std::uint32_t mode = 0700;
        std::uint32_t uid = 0;
        std::uint32_t gid = 0;
        bool known = false;       // it existed: restore its owner too
        bool trash = false;       // also recreate files/ and info/
        bool followLink = false;  // a link in its place names the folder
    };

    bool Stat(const std::string& path, FindData& folder) const;

    FileSystem& m_fs;
    Looks m_was;
};

}  // namespace tolvane
