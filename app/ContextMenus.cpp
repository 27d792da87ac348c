#include "app/ContextMenus.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

namespace tolvane {
namespace {

// A reason line is shown whole in the tooltip; in the menu a long one is cut.
constexpr int kReasonChars = 90;

QAction* AddItem(QMenu& menu, const QString& text, const std::function<void()>& run, bool enabled,
                 const QKeySequence& key = {}) {
    QAction* action = menu.addAction(text);
    action->setEnabled(enabled && static_cast<bool>(run));
    action->setShortcut(key);  // shown as a reminder; the window's own keys do the work
    if (run) {
        QObject::connect(action, &QAction::triggered, action, [run] { run(); });
    }
    return action;
}

}  // namespace

std::unique_ptr<QMenu> MakeBrowserMenu(const BrowserMenuActions& actions, QWidget* parent) {
    auto menu = std::make_unique<QMenu>(parent);
    menu->setObjectName("browserMenu");
    AddItem(*menu, QStringLiteral("&Open"), actions.open, actions.onEntry,
            QKeySequence(Qt::Key_Return));
    AddItem(*menu, QStringLiteral("&Insert into the erase list"), actions.insert, actions.onEntry,
            QKeySequence(Qt::Key_Insert));
    menu->addSeparator();
    AddItem(*menu, QStringLiteral("Open the containing &folder in the file manager"),
            actions.showContainingFolder, true);
    return menu;
}

std::unique_ptr<QMenu> MakeEraseListMenu(const EraseListMenuActions& actions, QWidget* parent) {
    auto menu = std::make_unique<QMenu>(parent);
    menu->setObjectName("eraseListMenu");
    AddItem(*menu, QStringLiteral("&Remove from the list"), actions.remove,
            actions.anySelected && actions.editing, QKeySequence(Qt::Key_Delete));
    AddItem(*menu, QStringLiteral("&Erase the list"), actions.erase,
            actions.anyRows && actions.editing, QKeySequence(Qt::CTRL | Qt::Key_E));
    if (!actions.failureReason.isEmpty()) {
        menu->addSeparator();
        menu->addSection(QStringLiteral("Not erased:"));
        for (const QString& line : actions.failureReason.split('\n', Qt::SkipEmptyParts)) {
            QAction* reason = menu->addAction(
                line.size() > kReasonChars ? line.left(kReasonChars - 3) + "..." : line);
            reason->setEnabled(false);
        }
    }
    return menu;
}

}  // namespace tolvane
