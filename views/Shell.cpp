#include "views/Shell.h"

#include <QDesktopServices>

namespace tolvane {

bool OpenWithDesktop(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

}  // namespace tolvane
