#include "engine/EraseJob.h"

#include <fcntl.h>

#include <memory>
#include <set>

#include "engine/EraseEngine.h"
#include "engine/ProgressSink.h"
#include "engine/SizeCounter.h"
#include "platform/Directory.h"
#include "platform/ProcessLimits.h"
#include "platform/UserFolders.h"
#include "platform/Volumes.h"

namespace tolvane {
namespace {

struct EraseJob {
    std::vector<std::string> paths;
    EraseItemList items;  // made from the paths on the worker
    int countBytes = 0;
    NotifyTarget* window = nullptr;
    EraseEngine* engine = nullptr;
};

std::string WithoutLastCharacter(std::string text) {
    if (!text.empty()) {
        text.pop_back();
    }
    return text;
}

// The worker: count, set the total, erase. Owns and frees the job; the engine stays the
// window's, which may delete it while handling ERN_FINISHED, so the engine is not touched
// once its walk has returned.
void EraseThreadProc(std::unique_ptr<EraseJob> job) {
    ProgressSink sink(job->window, WM_ERASE_NOTIFY);
    EraseEngine* engine = job->engine;
    if (!engine->Ready()) {
        // No random source: nothing may be overwritten with a predictable pattern.
        sink.Finished();
        return;
    }
    // Classified here, not on the caller's thread: a window's list may hold many rows.
    for (std::string& path : job->paths) {
        const ItemKind kind = ClassifyItem(path, engine->Files());
        job->items.push_back(EraseItem{kind, std::move(path)});
    }
    SizeCounter counter(
        &sink, engine->Files());  // its own cancel flag, never set: the count runs to its end
    counter.SetItems(&job->items);
    counter.Walk();
    // Bytes, unless there are none to write (no passes, or only empty files): then entries,
    // so that the bar still moves from one to the next.
    const bool entries = job->countBytes == 0 || counter.Bytes() == 0;
    std::int64_t total = entries ? static_cast<std::int64_t>(counter.Count())
                                 : static_cast<std::int64_t>(counter.Bytes());
    if (engine->PassCount() != 0 && !entries) {
        total *= engine->PassCount();
    }
    engine->SetItems(&job->items);
    engine->SetTotal(total, entries);
    engine->SetSink(&sink);
    engine->Walk();
}

}  // namespace

std::thread StartEraseJob(std::vector<std::string> paths, int countBytes, NotifyTarget* window,
                          EraseEngine* engine) {
    auto job = std::make_unique<EraseJob>();
    job->paths = std::move(paths);
    job->countBytes = countBytes;
    job->window = window;
    job->engine = engine;
    return std::thread(EraseThreadProc, std::move(job));
}

std::vector<std::string> WithoutRepeats(const std::vector<std::string>& paths) {
    std::vector<std::string> kept;
    std::set<std::string> seen;
    for (const std::string& path : paths) {
        std::string key = path;
        while (key.size() > 1 && key.back() == '/') {
            key.pop_back();
        }
        if (seen.insert(key).second) {
            kept.push_back(path);
        }
    }
    return kept;
}

namespace {

// A folder itself, not a link to one.
bool IsRealFolder(FileSystem& fs, const std::string& path) {
    FindData entry;
    return !fs.StatEntry(AT_FDCWD, path, entry).Failed() && entry.IsDirectory();
}

// The user's trash folders: the home trash, and on a volume its .Trash-<uid> folder, its
// shared .Trash folder and the user's <uid> folder in that. On a volume, only folders that
// are no links (anyone who may write the volume's top folder may have made one).
bool IsTrashFolder(FileSystem& fs, const std::string& path) {
    if (path == WithoutLastCharacter(HomeTrashFolder())) {
        return true;
    }
    std::string folder, name;
    SplitPath(path, folder, name);
    const std::string uid = std::to_string(EffectiveUserId());
    if (name == ".Trash-" + uid || name == ".Trash") {
        return !folder.empty() && VolumeRootOf(path) == folder && IsRealFolder(fs, path);
    }
    std::string volume, shared;
    SplitPath(WithoutLastCharacter(folder), volume, shared);
    return name == uid && shared == ".Trash" && !volume.empty() && VolumeRootOf(path) == volume &&
           IsRealFolder(fs, volume + shared) && IsRealFolder(fs, path);
}

}  // namespace

ItemKind ClassifyItem(const std::string& path, FileSystem& fs) {
    // Exact, case-sensitive comparisons; the first match decides. There is no browser history
    // or cookie folder on Linux, so those kinds never match here.
    struct Trace {
        std::string folder;
        ItemKind kind;
    };
    const Trace traces[] = {
        {WithoutLastCharacter(CacheFolder()), ItemKind::InternetCache},
        {WithoutLastCharacter(RecentFolder()), ItemKind::Recent},
        {WithoutLastCharacter(TempFolder()), ItemKind::Temp},
    };
    for (const Trace& trace : traces) {
        if (!trace.folder.empty() && path == trace.folder) {
            return trace.kind;
        }
    }
    return IsTrashFolder(fs, path) ? ItemKind::Trash : ItemKind::Ordinary;
}

std::string ConfirmLine(const std::string& path) {
    std::string volumeRoot;
    return ParseDriveSpec(path, volumeRoot) ? "Free space on drive " + path : path;
}

}  // namespace tolvane
