#pragma once

#include <QDialog>
#include <QPointer>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/GuiThreadRelay.h"
#include "app/RunEngine.h"
#include "engine/RunSession.h"

class QMessageBox;
class QProgressBar;
class QPushButton;
class QSocketNotifier;

namespace tolvane {

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
// GUI thread only. The run's notifications are relayed onto this thread with a blocking
// call, so every one is handled here while the worker waits.
class CEraseProgressDlg : public QDialog, private RunSession::Observer {
    Q_OBJECT

public:
    // paths: the bytes as given; passes: a pass count for this run (--passes), else the
    // "Passes" setting is read when the run starts.
    explicit CEraseProgressDlg(std::vector<std::string> paths,
                               std::optional<int> passes = std::nullopt, QWidget* parent = nullptr);
    // Normally the job is over when the dialog goes. If not, the run is cancelled and the
    // destructor waits for the worker's end, whose notifications are no longer handled.
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
    // Asks for confirmation and starts the job; false when nothing runs (declined, or the
    // engine cannot work).
    bool OnInitDialog();
    // Starts the worker with the signals routed to this thread.
    void StartJob(std::unique_ptr<EraseEngine> engine);

    // The run's notifications.
    void OnProgress(int perMille) override;
    // Hides the dialog, shows what failed and the notes, and ends the dialog.
    void OnEnded() override;
    void OnSignals();
    // SIGTERM, SIGHUP: the stop, without a question (an open one is answered Yes).
    void StopWithoutAsking();
    // Runs a box of this dialog (the stop question or the closing message); a termination
    // that comes meanwhile closes it, a question with Yes. True when answered Yes.
    bool RunBox(QMessageBox& box);

    std::optional<int> m_passes;
    EngineFactory m_engineFactory;
    QProgressBar* m_progress;
    QPushButton* m_cancel;
    RunSession m_session;
    GuiThreadRelay m_relay;
    std::unique_ptr<InterruptPipe> m_interrupts;        // while the job runs
    std::unique_ptr<QSocketNotifier> m_signalNotifier;  // on m_interrupts
    QPointer<QMessageBox> m_openBox;                    // the stop question or the report
    bool m_terminated = false;  // SIGTERM or SIGHUP: the closing words go to standard error
};

}  // namespace tolvane
