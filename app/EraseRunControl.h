#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/RunEngine.h"
#include "app/RunFigures.h"
#include "engine/RunSession.h"
#include "platform/DesktopNotifier.h"

class QAction;
class QMessageBox;
class QProgressBar;
class QWidget;

namespace tolvane {

class PaneController;

// The main window's erase run: Erase confirms the erase list (or, with one pane, the
// selection), erases exactly what was confirmed on a worker thread with the pass count of the
// Passes menu, moves the bar below the panes, takes each finished row off the top of the list
// and reports at the end. Rows whose items failed stay, marked with the reason, to be tried
// again. The menu-bar item reads "Cancel" while the run goes on and "Erase" again from the
// moment the user agreed to stop.
//
// States: idle; running (erasing); stopping (the user agreed to stop, the worker has not yet
// ended). From the start to the very end of a run (stopping included) Running() is true: the
// window then refuses to rebuild its panes, and the erase list takes no edits or drags.
//
// A run that took longer than kNotifyAfter and ends while the window is not the active one
// is also told to the desktop as a notification, in the words of its closing box: the user
// has turned to something else meanwhile.
//
// Threads: the window's thread; the worker only tells it (a queued call) that the run ended.
class EraseRunControl : public QObject, private RunSession::Observer {
    Q_OBJECT

public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::seconds kNotifyAfter{10};

    // What the run uses of the window.
    struct Window {
        QWidget* owner = nullptr;  // of the message boxes
        QProgressBar* progress = nullptr;
        // The words beside the bar (counting, item, done of total, time left); may be empty.
        std::function<void(const QString&)> showProgressText;
        QAction* eraseItem = nullptr;  // the menu-bar Erase/Cancel item
        // The controller, when calls may be routed to it; null while it shuts down.
        std::function<PaneController*()> controller;
        std::function<int()> passes;     // for the next run
        std::function<bool()> twoPanes;  // false: one browsing view and no erase list
        EngineFactory makeEngine;        // empty: a plain engine
        NotifyFunction notify;           // the desktop's notifications; empty: none
        Clock clock;                     // times a run; empty: the steady clock
    };

    explicit EraseRunControl(Window window);
    // A run still going is stopped, and its end awaited without touching the window.
    ~EraseRunControl() override;

    // Erase (File menu, Ctrl+E, the menu-bar item): starts a run, or asks to stop the one
    // going; does nothing while a stopped run is ending.
    void OnErase();
    // Cancel (File menu, Esc): asks to stop a run that is going.
    void OnCancelErase();

    // From the start of a run until its end has been reported, stopping included.
    bool Running() const { return m_runActive; }
    // Going and not stopped by the user: the item reads "Cancel".
    bool Erasing() const { return m_erasing; }
    bool AskingStop() const { return m_asking; }
    // The stop question with the worker held; true when the user agreed to stop (the run then
    // ends at its next safe point). Nothing is asked while a stop is in force: true.
    bool AskStopErasing();

    // The last run's session (its counts and failures); null before the first run.
    const RunSession* Session() const { return m_session.get(); }
    // The words of the progress line as they stand now; empty outside a run.
    QString ProgressLine() const;

signals:
    // The run has ended and the window is as it was before it (bar at 0, editing on).
    void Ended();

private:
    bool ConfirmAndStartErase();
    std::unique_ptr<RunSession> PrepareSession(std::vector<std::string> paths);
    std::vector<std::string> CollectErasePaths() const;
    bool StartEraseRun(std::unique_ptr<RunSession> session);
    void SetEraseItemText(const QString& text);
    void SetEditing(bool enabled);
    // The bar and the rows as the run stands.
    void UpdateFromRun();
    // The rows of the items that ended since the last update: erased ones leave, the others
    // are marked with their reasons.
    void UpdateRows();
    void ShowProgressText(const QString& text);

    // The worker's (or this thread's, after a stop question); see OnRunEnded.
    void OnEnded() override;
    // The run has ended: the last rows, the bar back at 0, the report.
    void OnRunEnded();
    void Report();
    // The closing box's words as a notification, when the run was long and the user away.
    void NotifyIfAway(const QMessageBox& box);
    std::chrono::steady_clock::time_point Now() const;

    Window m_window;
    std::unique_ptr<RunSession> m_session;
    std::unique_ptr<RunFigures> m_figures;  // between the session's worker and its run
    std::size_t m_nextItem = 0;             // the first item of the run not yet ended
    std::chrono::steady_clock::time_point m_started;
    QTimer m_updateTimer;  // while a run goes on
    bool m_erasing = false;
    bool m_asking = false;
    bool m_runActive = false;       // see Running()
    bool m_preparing = false;       // the run's paths are being examined before the question
    bool m_ending = false;          // the end is being reported: no new run yet
    bool m_listRows = false;        // the run's items are the erase list's rows, top to bottom
    std::size_t m_removedRows = 0;  // rows of this run's items taken off the list so far
    bool m_closing = false;         // the destructor waits for the end: the window is going
};

}  // namespace tolvane
