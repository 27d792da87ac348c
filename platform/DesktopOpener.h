#pragma once

#include <QString>
#include <QUrl>
#include <functional>

namespace tolvane {

// Hands an address or a file to the desktop's default program. The windows take this as a
// function so tests can record what would be opened instead of starting real programs.
// Returns false when nothing could open it (always on the offscreen platform).
using OpenUrlFunction = std::function<bool(const QUrl&)>;

// The program's default: the desktop's URL handler.
bool OpenWithDesktop(const QUrl& url);

// Opens a file with the desktop's program for its type, started in `workingDirectory` (the
// file's folder, so the program finds what lies beside it). The browser takes this as a
// function for the same reason. Returns false when nothing could be started.
using OpenFileFunction = std::function<bool(const QString& file, const QString& workingDirectory)>;

// The program's default: xdg-open in that folder, else the desktop's URL handler; false on
// the offscreen platform, where no program could be seen.
bool OpenFileWithDesktop(const QString& file, const QString& workingDirectory);

}  // namespace tolvane
