#pragma once

#include <QString>
#include <functional>
#include <memory>

class QMenu;
class QWidget;

namespace tolvane {

// The context menus of the browser (list or tree) and of the erase list. Each item runs
// one of the window's own commands, so a menu item does exactly what its key does.
struct BrowserMenuActions {
    bool onEntry = false;  // the pointer is on an entry (not on empty space)
    std::function<void()> open;
    std::function<void()> insert;
    std::function<void()> showContainingFolder;
};
std::unique_ptr<QMenu> MakeBrowserMenu(const BrowserMenuActions& actions, QWidget* parent);

struct EraseListMenuActions {
    bool anySelected = false;
    bool anyRows = false;
    bool editing = true;    // no run is going: the list may change and a run may start
    QString failureReason;  // of the row under the pointer; empty when it did not fail
    std::function<void()> remove;
    std::function<void()> erase;
};
std::unique_ptr<QMenu> MakeEraseListMenu(const EraseListMenuActions& actions, QWidget* parent);

}  // namespace tolvane
