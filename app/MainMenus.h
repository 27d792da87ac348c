#pragma once

#include <QKeySequence>
#include <QObject>
#include <QString>
#include <map>

class QAction;
class QMainWindow;
class QMenu;

namespace tolvane {

// The main window's menu bar and keys: File, View, Passes, Help, a grayed spacer, the
// grayed "Passes: n" label and the "&Erase" item sitting on the bar itself, plus the keys
// that have no menu item (Ctrl+4, Ctrl+6, Ctrl+8, Insert, Delete, Enter).
// Every item and key reports its command through Triggered.
//
// Threads: the window's thread. The menus belong to the window.
class MainMenus : public QObject {
    Q_OBJECT

public:
    explicit MainMenus(QMainWindow& frame);

    // The action of a command (a menu item or a key), or null for an unknown one.
    QAction* Action(int command) const;
    // The popup at a bar position, or null when the bar holds a plain item there.
    QMenu* Popup(int barPosition) const;

    // Sets or clears the check mark of the popup's items first..last (by position).
    void CheckRange(int barPosition, int first, int last, bool on) const;
    void CheckItem(int barPosition, int position, bool on) const;
    // The pass count on the bar's label and its check mark in Passes (none for 4, 6, 8 and
    // counts outside 0..9).
    void ShowPasses(int passes) const;

signals:
    void Triggered(int command);

private:
    QMenu* AddPopup(const QString& title);
    QAction* AddItem(QMenu* popup, int command, const QString& text, const QKeySequence& key = {},
                     bool checkable = false);
    QAction* AddBarItem(int command, const QString& text, bool enabled);
    void AddKey(int command, const QList<QKeySequence>& keys);
    QAction* Register(QAction* action, int command);

    QMainWindow& m_frame;
    std::map<int, QAction*> m_actions;
};

}  // namespace tolvane
