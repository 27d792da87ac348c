#include "app/CEraseProgressDlg.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSocketNotifier>
#include <QVBoxLayout>
#include <algorithm>

#include "app/MessageBoxes.h"
#include "app/RunTexts.h"
#include "app/StderrNote.h"
#include "engine/EraseEngine.h"
#include "engine/EraseJob.h"
#include "engine/MediumCheck.h"
#include "platform/Interrupts.h"

namespace tolvane {
namespace {

// Texts of the closing message, each line as a note on standard error.
void SayOnStderr(const std::string& failed, const std::string& notes) {
    for (const std::string& text : {WithUnixLineBreaks(failed), notes}) {
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = std::min(text.find('\n', start), text.size());
            if (end > start) {
                PrintNote(text.substr(start, end - start));
            }
            start = end + 1;
        }
    }
}

}  // namespace

// Hands the worker's notifications to the dialog on the GUI thread and waits for them to
// be handled, so an ERN_FAILED text stays valid and the engine may be deleted on
// ERN_FINISHED. No lock is held across the call.
class CEraseProgressDlg::Target : public NotifyTarget {
public:
    explicit Target(CEraseProgressDlg* dialog) : m_dialog(dialog), m_context(dialog) {}

    std::intptr_t Send(std::uint32_t message, std::uintptr_t code, std::intptr_t value) override {
        if (message != WM_ERASE_NOTIFY) {
            return 0;
        }
        std::intptr_t result = 0;
        // Qt drops the call (and releases us) if the context is destroyed before it runs;
        // the QPointer is checked on the GUI thread, where it is reliable.
        QMetaObject::invokeMethod(
            m_context,
            [&] {
                if (m_dialog) {
                    result = m_dialog->OnEraseNotify(code, value);
                }
            },
            Qt::BlockingQueuedConnection);
        return result;
    }

private:
    QPointer<CEraseProgressDlg> m_dialog;  // read on the GUI thread only
    QObject* m_context;                    // lives as long as the job (see the destructor)
};

CEraseProgressDlg::CEraseProgressDlg(std::vector<std::string> paths, std::optional<int> passes,
                                     QWidget* parent)
    : QDialog(parent),
      m_paths(std::move(paths)),
      m_passes(passes),
      m_progress(new QProgressBar(this)),
      m_cancel(new QPushButton(QStringLiteral("Cancel"), this)),
      m_target(std::make_unique<Target>(this)) {
    setWindowTitle(QStringLiteral("Erasing files"));
    setModal(true);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    m_cancel->setDefault(true);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, 1000);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_progress->setMaximumHeight(12);
    connect(m_cancel, &QPushButton::clicked, this, &CEraseProgressDlg::reject);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttonRow);
    layout->addWidget(m_progress);
    setMinimumWidth(300);
}

CEraseProgressDlg::~CEraseProgressDlg() {
    if (m_engine) {
        // Not reached by DoModal, which returns after the end only: stop the run and keep
        // handling the worker's calls (they come to this still complete object) until its
        // ERN_FINISHED, so the worker never waits on a dialog that is gone.
        m_closing = true;
        m_engine->RequestCancel();
        m_engine->Gate().Release();
        while (m_engine) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    if (m_eraseThread.joinable()) {
        m_eraseThread.join();
    }
}

int CEraseProgressDlg::DoModal() {
    if (!OnInitDialog()) {
        return m_report.Outcome().Status();
    }
    exec();
    // ERN_FINISHED was the worker's last call; what is left of it only frees the job.
    if (m_eraseThread.joinable()) {
        m_eraseThread.join();
    }
    m_signalNotifier.reset();
    m_interrupts.reset();  // the signals have their usual effect again
    return m_report.Outcome().Status();
}

bool CEraseProgressDlg::OnInitDialog() {
    // Asked before the dialog is shown: nothing of the run exists until the user agrees.
    std::vector<MediumNote> mediumNotes = CheckMedia(m_paths);
    auto confirm =
        MakeConfirmBox(BuildConfirmText(m_paths), JoinLines(MediumNoteLines(mediumNotes)), nullptr);
    bool agreed = confirm->exec() == QMessageBox::Yes;
    confirm.reset();
    m_cancel->setFocus();
    if (!agreed) {
        return false;
    }
    std::string note;
    m_engine = MakeRunEngine(m_passes, m_engineFactory, &note);
    if (!note.empty()) {
        PrintNote(note);
    }
    if (!m_engine) {
        m_report.Outcome().notStarted = true;
        MakeErrorBox(kNoRandomSource, nullptr)->exec();
        return false;
    }
    m_report.Start(m_paths, std::move(mediumNotes));
    StartJob();
    return true;
}

void CEraseProgressDlg::StartJob() {
    m_interrupts = std::make_unique<InterruptPipe>();
    if (m_interrupts->ReadFd() >= 0) {
        m_signalNotifier =
            std::make_unique<QSocketNotifier>(m_interrupts->ReadFd(), QSocketNotifier::Read);
        connect(m_signalNotifier.get(), &QSocketNotifier::activated, this,
                &CEraseProgressDlg::OnSignals);
    }
    // The pass count doubles as countBytes: with passes the total is in bytes, without
    // (names only) in entries.
    const int passes = m_engine->PassCount();
    WithInterruptsBlocked(
        [&] { m_eraseThread = StartEraseJob(m_paths, passes, m_target.get(), m_engine.get()); });
}

void CEraseProgressDlg::OnSignals() {
    const InterruptsSeen seen = m_interrupts->Drain();
    if (seen.termination) {
        StopWithoutAsking();
    } else if (seen.interrupt) {
        // Ctrl+C is a stop request like the Cancel button: it asks. Asked from the event
        // loop, not from inside this notifier's signal, which must stay free to report a
        // termination while the question is open.
        QMetaObject::invokeMethod(
            this, [this] { reject(); }, Qt::QueuedConnection);
    }
}

void CEraseProgressDlg::StopWithoutAsking() {
    m_terminated = true;
    if (m_openBox) {
        // The stop question takes Yes; the closing report just closes.
        m_openBox->done(QMessageBox::Yes);
        return;
    }
    if (m_engine) {
        m_engine->RequestCancel();
        m_report.Outcome().stoppedByUser = true;
    }
}

bool CEraseProgressDlg::RunBox(QMessageBox& box) {
    m_openBox = &box;
    const bool yes = box.exec() == QMessageBox::Yes;
    m_openBox = nullptr;
    return yes;
}

void CEraseProgressDlg::reject() {
    // m_asking: the question is modal, but a second close request (the window manager's
    // close box) may still arrive; one question at a time.
    if (!m_engine || m_asking || m_engine->IsCancelled()) {
        return;
    }
    m_asking = true;
    m_engine->Gate().Hold();
    auto question = MakeStopQuestionBox(this);
    bool stop = RunBox(*question);
    question.reset();
    // The stop goes in while the worker is still held: released first, it could pass its
    // next check and erase an entry the user has just chosen to keep. A worker that ended
    // while we asked (it was past its last gate) has nothing left to stop.
    if (stop && !m_finishPending) {
        m_engine->RequestCancel();
        m_report.Outcome().stoppedByUser = true;
    }
    m_engine->Gate().Release();
    m_asking = false;
    if (m_finishPending) {
        // It no longer touches the engine: finish now that the question is answered.
        m_finishPending = false;
        OnFinished();
    }
}

std::intptr_t CEraseProgressDlg::OnEraseNotify(std::uintptr_t code, std::intptr_t value) {
    switch (code) {
        case ERN_PROGRESS:
            m_progress->setValue(static_cast<int>(std::clamp<std::intptr_t>(value, 0, 1000)));
            m_report.OnProgress(value, *m_engine);
            break;
        case ERN_FAILED:
            // The text is the worker's and reused after we return: copy it. The engine says
            // why while this message is handled (the worker waits meanwhile).
            m_report.OnFailed(std::string(reinterpret_cast<const char*>(value)),
                              m_engine->LastFailureReason());
            break;
        case ERN_ITEMDONE:
            m_report.OnItemDone(*m_engine);
            break;
        case ERN_FINISHED:
            // Read while the worker waits: the engine is deleted below or once asked.
            m_report.OnFinished(*m_engine);
            if (m_asking) {
                // The stop question's own event loop delivered this; finish once it is
                // answered, so the engine is not deleted under the question.
                m_finishPending = true;
            } else {
                OnFinished();
            }
            break;
        default:
            break;
    }
    return 0;
}

void CEraseProgressDlg::OnFinished() {
    m_engine.reset();
    if (m_closing) {
        return;
    }
    hide();
    // A clean run ends silently; notes still deserve a word.
    const std::string notes = m_report.NotesText();
    std::string failed = m_report.FailedItems().Text();
    m_report.ForgetFailedItems();
    if (m_terminated) {
        // The session is ending: a box would hold up its end with nobody to read it.
        SayOnStderr(failed.empty() ? std::string() : kFailedHeading + failed, notes);
    } else if (!failed.empty()) {
        RunBox(*MakeFailureBox(failed, notes, nullptr));
    } else if (!notes.empty()) {
        RunBox(*MakeNotesBox(notes, nullptr));
    }
    done(m_report.Outcome().Status());
}

}  // namespace tolvane
