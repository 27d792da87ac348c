#pragma once

#include <QString>
#include <functional>

class QDBusConnection;

namespace tolvane {

// Shows a desktop notification: a summary line and a body, both plain text. True when the
// request went out (the desktop may still drop it); false when there is nothing to show it
// on. The windows take this as a function so tests can record notifications instead of
// sending them.
using NotifyFunction = std::function<bool(const QString& summary, const QString& body)>;

// The program's default: the freedesktop notification service on the session bus, without
// waiting for its answer. Quietly false when the session has no bus: none is started for it.
bool NotifyDesktop(const QString& summary, const QString& body);

// The same request on a given bus connection; false when it is not connected. The service's
// answer (or that there is no such service) is not waited for.
bool NotifyOverBus(const QDBusConnection& bus, const QString& summary, const QString& body);

}  // namespace tolvane
