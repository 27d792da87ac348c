#include "engine/TraceFolder.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "engine/ItemWalker.h"
#include "platform/Directory.h"
#include "platform/FileOps.h"
#include "platform/FileSystem.h"
#include "platform/ProcessLimits.h"

namespace tolvane {
namespace {

bool IsTraceKind(ItemKind kind) {
    return kind != ItemKind::Ordinary;
}

// World-writable and sticky, like /tmp and a volume's shared .Trash folder.
bool IsShared(const FindData& folder) {
    return (folder.mode & S_IWOTH) != 0 && (folder.mode & S_ISVTX) != 0;
}

}  // namespace

void TraceFolder::Note(const EraseItem& item) {
    m_was = Looks();
    if (!IsTraceKind(item.kind)) {
        return;
    }
    m_was.path = item.path;
    m_was.trash = item.kind == ItemKind::Trash;
    m_was.followLink = ItemWalker::FollowsItsLink(item);
    FindData folder;
    // Through a link where the walk follows it: the folder it names is the one that must look
    // as before. A missing one is made afresh.
    if (!Stat(m_was.path, folder)) {
        return;
    }
    if (folder.IsSymlink()) {
        m_was.path.clear();  // a volume's trash that is a link goes as a link: nothing is made
        return;
    }
    if (!folder.IsDirectory()) {
        return;
    }
    if (m_was.trash && IsShared(folder)) {
        // A volume's shared .Trash: it stays; the user's own trash inside it is what comes
        // back empty.
        m_was.path = item.path + "/" + std::to_string(EffectiveUserId());
        if (!Stat(m_was.path, folder) || !folder.IsDirectory()) {
            m_was.path.clear();  // the user had none: none is made
            return;
        }
    }
    m_was.known = true;
    m_was.mode = folder.mode & 07777;
    m_was.uid = folder.uid;
    m_was.gid = folder.gid;
}

bool TraceFolder::Stat(const std::string& path, FindData& folder) const {
    return !(m_was.followLink ? m_fs.StatFollowingLinks(path, folder)
                              : m_fs.StatEntry(AT_FDCWD, path, folder))
                .Failed();
}

void TraceFolder::Recreate() const {
    if (m_was.path.empty()) {
        return;
    }
    // Programs expect their cache, recent-documents, temporary and trash folders to exist,
    // with the owner and access they had (a shared temporary folder keeps its sticky bit).
    const bool made = !m_fs.MakeFolder(AT_FDCWD, m_was.path, 0700).Failed();
    // What is made inside goes through the folder itself: a link put in its place meanwhile
    // is not followed (unless the walk follows the item's link).
    UniqueFd folder =
        m_was.followLink ? OpenFolder(m_was.path) : m_fs.OpenDirectory(AT_FDCWD, m_was.path).fd;
    if (!folder.Valid()) {
        return;  // cannot be made or reached: best effort
    }
    if (made && m_was.known) {
        // Best effort, like the mkdir; the owner first, as a change of owner may clear
        // set-id bits.
        (void)m_fs.SetOwner(folder.Get(), m_was.uid, m_was.gid);
        (void)m_fs.SetPermissions(folder.Get(), m_was.mode);
    }
    if (!m_was.trash) {
        return;
    }
    for (const char* name : {"files", "info"}) {
        if (m_fs.MakeFolder(folder.Get(), name, 0700).Failed()) {
            continue;  // still there, or cannot be made: best effort
        }
        UniqueFd inner = m_fs.OpenDirectory(folder.Get(), name).fd;
        if (inner.Valid() && m_was.known) {
            (void)m_fs.SetOwner(inner.Get(), m_was.uid, m_was.gid);
            (void)m_fs.SetPermissions(inner.Get(), 0700);
        }
    }
}

}  // namespace tolvane
