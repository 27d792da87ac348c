#include "MainFrameTestSupport.h"

namespace tolvane::test {
namespace {

void CollectFaults(const QWidget& widget, std::string& faults) {
    for (const QObject* child : widget.children()) {
        const auto* w = qobject_cast<const QWidget*>(child);
        if (w == nullptr || w->isWindow() || !w->isVisible()) {
            continue;
        }
        const QRect r = w->geometry();
        const std::string name = std::string(w->metaObject()->className()) + " '" +
                                 w->objectName().toStdString() + "' in " +
                                 widget.metaObject()->className();
        if (r.isEmpty()) {
            faults += name + " has no size\n";
        } else if (!widget.rect().contains(r)) {
            faults += name + " leaves its parent\n";
        }
        CollectFaults(*w, faults);
    }
}

}  // namespace

std::string LayoutFaults(const QWidget& root) {
    std::string faults;
    CollectFaults(root, faults);
    return faults;
}

}  // namespace tolvane::test
