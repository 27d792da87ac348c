#include "platform/DesktopNotifier.h"

#include <sys/stat.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include "platform/AppNames.h"

namespace tolvane {
namespace {

// Where a session bus would be found: its address in the environment, or the user's bus
// socket in the runtime folder. Without either, the D-Bus library would try to start a bus
// of its own (autolaunch), which a program must not do just to say that a run has ended.
bool SessionBusExpected() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return true;
    }
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat socket {};
    return !runtime.isEmpty() && ::stat((runtime + "/bus").constData(), &socket) == 0 &&
           S_ISSOCK(socket.st_mode);
}

}  // namespace

bool NotifyDesktop(const QString& summary, const QString& body) {
    if (!SessionBusExpected()) {
        return false;
    }
    return NotifyOverBus(QDBusConnection::sessionBus(), summary, body);
}

bool NotifyOverBus(const QDBusConnection& bus, const QString& summary, const QString& body) {
    if (!bus.isConnected()) {
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    // The launcher's name, so the desktop shows the notification as this program's.
    hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(ProgramName));
    // The body may be read as markup: a file named "<b>x</b>" must show as it is named.
    call << QString::fromLatin1(AppDisplayName) << 0u << QString::fromLatin1(ProgramName) << summary
         << body.toHtmlEscaped() << QStringList() << hints << -1;
    // Sent without waiting: an answer, or the error that no service is there, is dropped.
    return bus.send(call);
}

}  // namespace tolvane
