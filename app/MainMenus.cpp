#include "app/MainMenus.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "app/MainCommands.h"
#include "platform/AppNames.h"

namespace tolvane {
namespace {

QKeySequence Ctrl(Qt::Key key) {
    return QKeySequence(Qt::CTRL | key);
}

// The Passes popup's item for a count, or -1 when the count has none.
int PassesItemOf(int passes) {
    switch (passes) {
        case 0:
        case 1:
        case 2:
        case 3:
            return passes;
        case 5:
            return 4;
        case 7:
            return 5;
        case 9:
            return 6;
        default:
            return -1;
    }
}

}  // namespace

MainMenus::MainMenus(QMainWindow& frame) : QObject(&frame), m_frame(frame) {
    // Desktops with a global menu bar drop actions that sit on the bar itself.
    m_frame.menuBar()->setNativeMenuBar(false);

    QMenu* file = AddPopup("&File");
    AddItem(file, kCmdErase, "&Erase", Ctrl(Qt::Key_E));
    AddItem(file, kCmdCancel, "&Cancel", QKeySequence(Qt::Key_Escape));
    file->addSeparator();
    AddItem(file, kCmdExit, "E&xit", Ctrl(Qt::Key_Q));

    QMenu* view = AddPopup("&View");
    AddItem(view, kCmdBigIcons, "&Big Icons List", {}, true);
    AddItem(view, kCmdList, "&List", {}, true);
    AddItem(view, kCmdTree, "&Tree", {}, true);
    AddItem(view, kCmdUseRightWindow, "Use &Right Window", {}, true);
    view->addSeparator();
    AddItem(view, kCmdAdvertisement, "Show &Advertisement", {}, true);
    AddItem(view, kCmdDesktopShortcut, "Add Shortcut to &Desktop", {}, true);
    AddItem(view, kCmdContextMenu, "Add to &Context Menu", {}, true);

    QMenu* passes = AddPopup("&Passes");
    AddItem(passes, kCmdPasses0, "&0 - Without cleaning", Ctrl(Qt::Key_0), true);
    AddItem(passes, kCmdPasses1, "&1 - One layer of random data", Ctrl(Qt::Key_1), true);
    AddItem(passes, kCmdPasses2, "&2 - Two layers of random data", Ctrl(Qt::Key_2), true);
    AddItem(passes, kCmdPasses3, "&3 - Random, inverted and random", Ctrl(Qt::Key_3), true);
    AddItem(passes, kCmdPasses5, "&5", Ctrl(Qt::Key_5), true);
    AddItem(passes, kCmdPasses7, "&7", Ctrl(Qt::Key_7), true);
    AddItem(passes, kCmdPasses9, "&9", Ctrl(Qt::Key_9), true);

    QMenu* help = AddPopup("&Help");
    AddItem(help, kCmdInstruction, "&Instruction...", QKeySequence(Qt::Key_F1));
    AddItem(help, kCmdAbout, QString("&About %1...").arg(AppDisplayName));
    AddItem(help, kCmdHomePage, "&Home Page...");

    AddBarItem(kCmdSpacer, " ", false);
    AddBarItem(kCmdPassesLabel, "Passes: 3", false);
    AddBarItem(kCmdEraseItem, "&Erase", true);

    AddKey(kCmdPasses4, {Ctrl(Qt::Key_4)});
    AddKey(kCmdPasses6, {Ctrl(Qt::Key_6)});
    AddKey(kCmdPasses8, {Ctrl(Qt::Key_8)});
    // The keypad's keys (Insert and Delete with Num Lock off) do what the main keys do.
    using Keys = QList<QKeySequence>;
    AddKey(kCmdInsert,
           Keys{QKeySequence(Qt::Key_Insert), QKeySequence(Qt::KeypadModifier | Qt::Key_Insert)});
    AddKey(kCmdDelete,
           Keys{QKeySequence(Qt::Key_Delete), QKeySequence(Qt::KeypadModifier | Qt::Key_Delete)});
    AddKey(kCmdGoUp, Keys{QKeySequence(Qt::Key_Backspace), QKeySequence(Qt::ALT | Qt::Key_Up)});
    AddKey(kCmdGoBack, Keys{QKeySequence(Qt::ALT | Qt::Key_Left)});
    AddKey(kCmdGoForward, Keys{QKeySequence(Qt::ALT | Qt::Key_Right)});
    AddKey(kCmdRefresh, Keys{QKeySequence(Qt::Key_F5)});
    AddKey(kCmdEditPath, Keys{Ctrl(Qt::Key_L)});
    AddKey(kCmdEnter, Keys{QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter),
                           QKeySequence(Qt::KeypadModifier | Qt::Key_Enter)});
}

QMenu* MainMenus::AddPopup(const QString& title) {
    auto* popup = new QMenu(title, &m_frame);
    m_frame.menuBar()->addMenu(popup);
    return popup;
}

QAction* MainMenus::AddItem(QMenu* popup, int command, const QString& text, const QKeySequence& key,
                            bool checkable) {
    QAction* action = popup->addAction(text);
    action->setShortcut(key);
    action->setCheckable(checkable);
    return Register(action, command);
}

QAction* MainMenus::AddBarItem(int command, const QString& text, bool enabled) {
    QAction* action = m_frame.menuBar()->addAction(text);
    action->setEnabled(enabled);
    return Register(action, command);
}

void MainMenus::AddKey(int command, const QList<QKeySequence>& keys) {
    auto* action = new QAction(&m_frame);
    action->setShortcuts(keys);
    m_frame.addAction(action);
    Register(action, command);
}

QAction* MainMenus::Register(QAction* action, int command) {
    action->setData(command);
    m_actions[command] = action;
    connect(action, &QAction::triggered, this, [this, command] { emit Triggered(command); });
    return action;
}

QAction* MainMenus::Action(int command) const {
    auto found = m_actions.find(command);
    return found == m_actions.end() ? nullptr : found->second;
}

QMenu* MainMenus::Popup(int barPosition) const {
    const QList<QAction*> bar = m_frame.menuBar()->actions();
    return barPosition >= 0 && barPosition < bar.size() ? bar[barPosition]->menu() : nullptr;
}

void MainMenus::CheckRange(int barPosition, int first, int last, bool on) const {
    QMenu* popup = Popup(barPosition);
    if (popup == nullptr) {
        return;
    }
    const QList<QAction*> items = popup->actions();
    for (int i = first; i <= last && i < items.size(); ++i) {
        items[i]->setChecked(on);
    }
}

void MainMenus::CheckItem(int barPosition, int position, bool on) const {
    CheckRange(barPosition, position, position, on);
}

void MainMenus::ShowPasses(int passes) const {
    Action(kCmdPassesLabel)->setText(QString("Passes: %1").arg(passes));
    CheckRange(kBarPasses, 0, 6, false);
    if (int item = PassesItemOf(passes); item >= 0) {
        CheckItem(kBarPasses, item, true);
    }
}

}  // namespace tolvane
