#pragma once

#include <QAbstractItemView>
#include <QMainWindow>
#include <QMenu>
#include <QMetaObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "app/EraseRunControl.h"
#include "app/MainSettings.h"
#include "app/RunEngine.h"
#include "app/ShellIntegration.h"
#include "items/DataMemoryWriter.h"
#include "platform/DesktopOpener.h"

namespace tolvane {

class MainBars;
class MainMenus;
class PaneController;
class PaneViews;

// What the main window is given from outside; tests give stand-ins.
struct MainFrameHooks {
    // Makes each new pane controller; empty: a plain PaneController.
    std::function<std::unique_ptr<PaneController>()> makeController;
    // Makes the engine of each erase run; empty: a plain engine. Tests use it to reach the
    // run's pause gate.
    EngineFactory makeEngine;
    OpenUrlFunction openUrl = OpenWithDesktop;
    // What tells the desktop that a long run has ended while the window was in the
    // background, and the clock that times runs (empty: the steady clock).
    NotifyFunction notify = NotifyDesktop;
    EraseRunControl::Clock clock;
    // Files opened from the browser panes.
    OpenFileFunction openFile = OpenFileWithDesktop;
    // The desktop launcher and the file-manager entries: this program's path and the runner
    // of the kvc helper.
    ShellHooks shell = DefaultShellHooks();
};

// The main window: menus, the bar above the panes (location box, path edit), the views
// between (a splitter with the left view and the erase list, or one browsing view), the
// progress bar below, and the pane controller that fills them. Settings are read when the
// window is made and written when it is asked to close.
//
// Changing the left pane's kind or the right window, and closing, go through one protocol:
// the pane state is taken, the controller is shut down (which returns at once), the event
// loop keeps running, and when the controller reports PanesClosed it is deleted and the views
// are rebuilt, or the window closes. Between the shutdown and PanesClosed nothing is routed
// to the old controller. Closing while an erase run is going first asks the stop question;
// on Yes the window closes once the run has ended (OnEraseRunEnded). From the start of a run
// to its very end (also while a stopped run is ending) the panes are not rebuilt: the run
// takes its finished rows off the list by position.
//
// Threads: the window's thread only.
class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    explicit CMainFrame(MainFrameHooks hooks = {});
    ~CMainFrame() override;

    // Opens the program's main window: shown, deleted when closed, and the event loop ends
    // with it.
    static void OpenMainWindow();

    // A menu command or key (MainCommand), as the menus deliver it.
    void OnCommand(int command);
    // The erase run has ended; a close that waited for it goes on.
    void OnEraseRunEnded();
    // A drag began in the left pane: the usage hint has served its purpose.
    void OnLeftPaneBeginDrag();

    const MainSettings& Settings() const { return m_settings; }
    bool ShowHint() const { return m_showHint; }
    // Asked to close and waiting for the controller (or the erase run) to end.
    bool Closing() const { return m_closing || m_closeAfterRun; }
    PaneController* Controller() const { return m_paneController.get(); }
    const PaneViews& Views() const { return *m_views; }
    const MainMenus& Menus() const { return *m_menus; }
    const MainBars& Bars() const { return *m_bars; }
    EraseRunControl& EraseRun() const { return *m_eraseRun; }

signals:
    // The views and a new controller are in place after a change of layout.
    void PanesRebuilt();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The least size at which every control can be used.
    QSize MinimumWindowSize() const;
    void CreateViews();
    void CreatePaneController();
    void RouteControls();
    void LayoutBars();
    void ApplyMenuChecks();
    void SetLeftKind(LeftPaneKind kind);
    void ToggleRightWindow();
    void ToggleAdvertisement();
    void RebuildPanes();
    void ShutDownController();
    void OnPanesClosed();
    void BeginClosing();
    void SaveSettings();
    // The pass count of the next run, on the bar's label and as the Passes menu's check.
    void SetPasses(int passes);
    bool Erasing() const;
    // The controller, when calls may still be routed to it; null while it shuts down.
    PaneController* Routable() const;
    void OnEnter();
    // The context menu of a browsing control or of the erase list, at `at` (viewport).
    void ShowContextMenu(QAbstractItemView* view, QPoint at);
    void ShowContainingFolder(QAbstractItemView* view, const QModelIndex& index);
    // Backspace/Alt+Up, Alt+Left, Alt+Right, F5.
    void OnMoveCommand(int command);
    // Ctrl+L: the path edit takes a typed path; Enter goes there, Esc goes back to the list.
    void BeginPathEdit();
    bool PathEditing() const;
    void EndPathEdit();
    // The keyboard focus to the left pane's browsing control, unless it has it.
    void FocusBrowser();
    // A word beside the progress bar while no run uses it (empty: nothing).
    void SayInStatus(const QString& text);
    void OnFirstTick();
    void OnHelpCommand(int command);

    MainFrameHooks m_hooks;
    ShellIntegration m_shell;
    MainSettings m_settings;
    Data::MemoryWriter m_paneState;
    std::unique_ptr<MainBars> m_bars;
    std::unique_ptr<PaneViews> m_views;
    MainMenus* m_menus = nullptr;
    std::unique_ptr<PaneController> m_paneController;
    std::unique_ptr<EraseRunControl> m_eraseRun;
    std::vector<QMetaObject::Connection> m_routes;
    QTimer m_refreshTimer;
    std::unique_ptr<QMenu> m_contextMenu;  // the last one shown
    bool m_showHint = true;
    // Closing is its own state, never a value of the left pane's kind.
    bool m_closing = false;
    bool m_closed = false;
    bool m_closeAfterRun = false;
};

}  // namespace tolvane
