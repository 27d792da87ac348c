#pragma once

#include <QDialog>
#include <QPointer>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/RunEngine.h"
#include "app/RunReport.h"
#include "engine/NotifyTarget.h"

class QMessageBox;
class QProgressBar;
class QPushButton;
class QSocketNotifier;

namespace tolvane {

class EraseEngine;
class InterruptPipe;

// The whole user interface of a command-line run with a display: confirms the paths, erases
// them on a worker thread behind a progress bar that can be stopped, lists what failed.
// Where in-place overwriting cannot be relied on, the confirmation says so, and the closing
// message repeats it with the engine's own notes (a "Message" box when nothing failed).
//
// While the job runs, Ctrl+C in the terminal that started the program asks the stop
// question like the Cancel button, and SIGTERM or SIGHUP (the session ending) stop the run
// without asking, so that the program never dies in the middle of a file or a wipe; the
// failures and notes then go to standard error instead of a box nobody would answer.
//
// GUI thread only. The worker reaches the dialog through a NotifyTarget that makes a
// blocking queued call onto this thread, so every notification is handled here while the
// worker waits. The dialog owns the engine from the start of the job until ERN_FINISHED.
class CEraseProgressDlg : public QDialog {
    Q_OBJECT

public:
    // paths: the bytes as given; passes: a pass count for this run (--passes), else the
    // "Passes" setting is read when the run starts.
    explicit CEraseProgressDlg(std::vector<std::string> paths,
                               std::optional<int> passes = std::nullopt, QWidget* parent = nullptr);
    // Normally the job is over when the dialog goes. If not, the run is cancelled and the
    // destructor waits for the worker's end (handling its last notifications).
    ~CEraseProgressDlg() override;

    // Confirms; on Yes erases until the worker finishes and reports failures and notes.
    // Returns the exit status (RunOutcome::Status; 0 when the user declined).
    int DoModal();

    // Replaces how the run's engine is made (before DoModal()).
    void SetEngineFactory(EngineFactory factory) { m_engineFactory = std::move(factory); }

    QProgressBar* ProgressBar() const { return m_progress; }
    QPushButton* CancelButton() const { return m_cancel; }

protected:
    // Cancel button, Esc and the close box: the stop request. The dialog stays open; it
    // closes when the worker reports ERN_FINISHED.
    void reject() override;

private:
    class Target;

    // Asks for confirmation and starts the job; false when nothing runs (declined, or the
    // engine cannot work).
    bool OnInitDialog();
    std::intptr_t OnEraseNotify(std::uintptr_t code, std::intptr_t value);
    void OnFinished();
    // Starts the worker with the signals routed to this thread.
    void StartJob();
    void OnSignals();
    // SIGTERM, SIGHUP: the stop, without a question (an open one is answered Yes).
    void StopWithoutAsking();
    // Runs a box of this dialog (the stop question or the closing message); a termination
    // that comes meanwhile closes it, a question with Yes. True when answered Yes.
    bool RunBox(QMessageBox& box);

    std::vector<std::string> m_paths;
    std::optional<int> m_passes;
    EngineFactory m_engineFactory;
    std::thread m_eraseThread;
    std::unique_ptr<EraseEngine> m_engine;  // set while a job runs
    RunReport m_report;
    QProgressBar* m_progress;
    QPushButton* m_cancel;
    std::unique_ptr<Target> m_target;
    std::unique_ptr<InterruptPipe> m_interrupts;        // while the job runs
    std::unique_ptr<QSocketNotifier> m_signalNotifier;  // on m_interrupts
    QPointer<QMessageBox> m_openBox;                    // the stop question or the report
    bool m_asking = false;                              // the stop question is open
    bool m_finishPending = false;  // ERN_FINISHED came while the stop question was open
    bool m_closing = false;        // the destructor is waiting for the worker
    bool m_terminated = false;     // SIGTERM or SIGHUP: the closing words go to standard error
};

}  // namespace tolvane
