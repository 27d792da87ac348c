#include "platform/DesktopOpener.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>

namespace tolvane {

bool OpenWithDesktop(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

bool OpenFileWithDesktop(const QString& file, const QString& workingDirectory) {
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        return false;
    }
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
    }
    // Detached: the program outlives the window and is never waited for.
    return QProcess::startDetached(opener, {file}, workingDirectory);
}

}  // namespace tolvane
