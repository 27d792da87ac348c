#pragma once

#include <string>
#include <thread>
#include <vector>

#include "engine/EraseItem.h"
#include "engine/FailedItemList.h"
#include "engine/NotifyTarget.h"
#include "platform/FileSystem.h"

namespace tolvane {

class EraseEngine;

// Starts the erase worker: it counts the selection, sets the engine's progress total, walks
// the items with the engine and reports everything to `window` as WM_ERASE_NOTIFY, ending with
// ERN_FINISHED exactly once (also after a cancel). The engine stays the window's: the window
// deletes it while handling ERN_FINISHED, after which the worker touches it no more.
// countBytes nonzero: the total is counted in bytes (the windows pass the pass count).
// Returns the worker thread; the caller joins or detaches it.
std::thread StartEraseJob(std::vector<std::string> paths, int countBytes, NotifyTarget* window,
                          EraseEngine* engine);

// The paths with each one kept only where it first appears: a path named again (also with
// separators added at its end) is the same item, erased once.
std::vector<std::string> WithoutRepeats(const std::vector<std::string>& paths);

// The kind of a path: the trace folders (internet cache, recent documents, temporary files)
// when the path is exactly that folder's, Ordinary otherwise.
ItemKind ClassifyItem(const std::string& path, FileSystem& fs = RealFileSystem());

// How the confirmation shows one path: a drive spec as "Free space on drive <spec>".
std::string ConfirmLine(const std::string& path);

}  // namespace tolvane
