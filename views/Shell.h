#pragma once

#include <QUrl>
#include <functional>

namespace tolvane {

// Hands an address or a file to the desktop's default program. The windows take this as a
// function so tests can record what would be opened instead of starting real programs.
// Returns false when nothing could open it (always on the offscreen platform).
using OpenUrlFunction = std::function<bool(const QUrl&)>;

// The program's default: the desktop's URL handler.
bool OpenWithDesktop(const QUrl& url);

}  // namespace tolvane
