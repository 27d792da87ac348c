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

// Lines of the closing message, each as a note on standard error.
void SayOnStderr(const std::vector<std::string>& failed, const std::vector<std::string>& notes) {
    if (!failed.empty()) {
        PrintNote(kFailedHeading);
    }
    for (const std::vector<std::string>& block : {failed, notes}) {
        for (const std::string& line : block) {
            if (!line.empty()) {
                PrintNote(line);
            }
        }
    }
}

}  // namespace

CEraseProgressDlg::CEraseProgressDlg(std::vector<std::string> paths, std::optional<int> passes,
                                     QWidget* parent)
    : QDialog(parent),
      m_passes(passes),
      m_progress(new QProgressBar(this)),
      m_cancel(new QPushButton(QStringLiteral("Cancel"), this)),
      m_session(std::move(paths), BoxText, *this),
      m_relay(m_session.Run()) {
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
    // Not reached by DoModal under a run (it returns after the end only). The worker's
    // notifications are dropped from here on, so it ends without this thread's help.
    m_relay.Close();
    m_session.Run().Stop();
    m_session.Run().Join();
}

int CEraseProgressDlg::DoModal() {
    if (!OnInitDialog()) {
        return m_session.Outcome().Status();
    }
    exec();
    // The end was the worker's last call; what is left of it only frees the job.
    m_session.Run().Join();
    m_signalNotifier.reset();
    m_interrupts.reset();  // the signals have their usual effect again
    return m_session.Outcome().Status();
}

bool CEraseProgressDlg::OnInitDialog() {
    // Asked before the dialog is shown: nothing of the run exists until the user agrees.
    auto confirm = MakeConfirmBox(m_session.ConfirmLines(kConfirmListLimit),
                                  m_session.MediumNoteLines(), nullptr);
    bool agreed = confirm->exec() == QMessageBox::Yes;
    confirm.reset();
    m_cancel->setFocus();
    if (!agreed) {
        return false;
    }
    std::string note;
    std::unique_ptr<EraseEngine> engine = MakeRunEngine(m_passes, m_engineFactory, &note);
    if (!note.empty()) {
        PrintNote(note);
    }
    if (!engine) {
        m_session.Outcome().notStarted = true;
        MakeErrorBox(kNoRandomSource, nullptr)->exec();
        return false;
    }
    StartJob(std::move(engine));
    return true;
}

void CEraseProgressDlg::StartJob(std::unique_ptr<EraseEngine> engine) {
    m_interrupts = std::make_unique<InterruptPipe>();
    if (m_interrupts->ReadFd() >= 0) {
        m_signalNotifier =
            std::make_unique<QSocketNotifier>(m_interrupts->ReadFd(), QSocketNotifier::Read);
        connect(m_signalNotifier.get(), &QSocketNotifier::activated, this,
                &CEraseProgressDlg::OnSignals);
    }
    // The worker never sees the signals: they reach this thread.
    WithInterruptsBlocked([&] { m_session.Start(std::move(engine), &m_relay); });
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
    m_session.Run().Stop();
}

bool CEraseProgressDlg::RunBox(QMessageBox& box) {
    m_openBox = &box;
    const bool yes = box.exec() == QMessageBox::Yes;
    m_openBox = nullptr;
    return yes;
}

void CEraseProgressDlg::reject() {
    // A second close request (the window manager's close box) may still arrive while the
    // modal question is open: one question at a time, and none once stopping.
    if (!m_session.Run().BeginAsking()) {
        return;
    }
    auto question = MakeStopQuestionBox(this);
    const bool stop = RunBox(*question);
    question.reset();
    m_session.Run().EndAsking(stop);
}

void CEraseProgressDlg::OnProgress(int perMille) {
    m_progress->setValue(perMille);
}

void CEraseProgressDlg::OnEnded() {
    hide();
    m_progress->setValue(0);
    // A clean run ends silently; notes still deserve a word.
    const std::vector<std::string> notes = m_session.NoteLines();
    const std::vector<std::string>& failed = m_session.FailureLines();
    if (m_terminated) {
        // The session is ending: a box would hold up its end with nobody to read it.
        SayOnStderr(failed, notes);
    } else if (!failed.empty()) {
        RunBox(*MakeFailureBox(failed, notes, nullptr));
    } else if (!notes.empty()) {
        RunBox(*MakeNotesBox(notes, nullptr));
    }
    done(m_session.Outcome().Status());
}

}  // namespace tolvane
