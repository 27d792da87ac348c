#include "app/EraseRunControl.h"

#include <QAction>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QProgressBar>
#include <QWidget>
#include <thread>

#include "app/MessageBoxes.h"
#include "app/RunTexts.h"
#include "engine/EraseEngine.h"
#include "panes/PaneController.h"

namespace tolvane {
namespace {

// How often finished rows leave the list while a run goes on: often enough to look live,
// seldom enough that a run of many small files is not spent redrawing the list.
constexpr int kRowUpdateMs = 100;

QString RowTooltip(const RunSession::ItemResult& item) {
    std::string text;
    for (const std::string& line : item.reasons) {
        text += (text.empty() ? "" : "\n") + line;
    }
    return DisplayText(text);
}

}  // namespace

EraseRunControl::EraseRunControl(Window window) : m_window(std::move(window)) {
    m_updateTimer.setInterval(kRowUpdateMs);
    connect(&m_updateTimer, &QTimer::timeout, this, &EraseRunControl::UpdateFromRun);
}

EraseRunControl::~EraseRunControl() {
    if (m_session) {
        // The window is going under a run (it waits for a run's end before it closes): the
        // worker's last calls are handled without touching the window.
        // The worker delivers to the session itself and never waits for this thread.
        m_closing = m_session->Run().Running();
        m_session->Run().Stop();
        m_session->Run().Join();
    }
}

void EraseRunControl::OnErase() {
    if (m_erasing) {
        OnCancelErase();
    } else if (Running() || m_ending || m_preparing) {
        // Stopping: the engine is still the worker's; a second run waits for its end.
    } else if (ConfirmAndStartErase()) {
        SetEraseItemText(QStringLiteral("Cancel"));
        m_erasing = true;
    }
}

void EraseRunControl::OnCancelErase() {
    if (m_erasing) {
        (void)AskStopErasing();  // Yes or No, the run goes on to its end
    }
}

bool EraseRunControl::AskStopErasing() {
    if (m_asking || !m_session) {
        return false;
    }
    if (!m_session->Run().BeginAsking()) {
        return Running();  // stopping already, or ended: nothing to ask
    }
    m_asking = true;
    const bool stop = MakeStopQuestionBox(m_window.owner)->exec() == QMessageBox::Yes;
    m_asking = false;
    // The answer goes in before the worker goes on; an end that came while the question was
    // open is handled now, not under the question. The item reads "Erase" from the answer on.
    if (stop) {
        m_erasing = false;
        SetEraseItemText(QStringLiteral("Erase"));
    }
    m_session->Run().EndAsking(stop);
    return stop;
}

bool EraseRunControl::ConfirmAndStartErase() {
    std::vector<std::string> paths = CollectErasePaths();
    if (paths.empty()) {
        return false;
    }
    // The list stays as confirmed while the question is open: what is erased, and the rows
    // that leave as their items finish, are exactly what the user saw.
    SetEditing(false);
    auto session = PrepareSession(std::move(paths));
    auto question = MakeEraseConfirmBox(session->ConfirmLines(kConfirmListLimit),
                                        session->MediumNoteLines(), m_window.owner);
    const bool yes = question->exec() == QMessageBox::Yes;
    question.reset();
    if (!yes || !StartEraseRun(std::move(session))) {
        SetEditing(true);
        return false;
    }
    return true;
}

// Examining the media of many paths (a look at each file's attributes) takes a while: it runs
// on a thread of its own while the window goes on drawing itself. Input waits meanwhile, as it
// would behind the question that follows.
std::unique_ptr<RunSession> EraseRunControl::PrepareSession(std::vector<std::string> paths) {
    m_preparing = true;
    std::unique_ptr<RunSession> session;
    RunSession::Observer& observer = *this;
    QEventLoop loop;
    std::thread worker([&] {
        session = std::make_unique<RunSession>(std::move(paths), BoxText, observer);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    m_preparing = false;
    return session;
}

std::vector<std::string> EraseRunControl::CollectErasePaths() const {
    PaneController* controller = m_window.controller();
    if (controller == nullptr) {
        return {};
    }
    if (m_window.twoPanes()) {
        return controller->CollectErasePaths();
    }
    std::vector<std::string> paths;
    for (const FileItem& item : controller->CollectFirstPaneSelection()) {
        paths.push_back(item.FullPath());  // a drive row gives its drive spec
    }
    return paths;
}

bool EraseRunControl::StartEraseRun(std::unique_ptr<RunSession> session) {
    std::string note;
    std::unique_ptr<EraseEngine> engine =
        MakeRunEngine(m_window.passes(), m_window.makeEngine, &note);
    if (!engine) {
        MakeErrorBox(kNoRandomSource, m_window.owner)->exec();
        return false;
    }
    if (m_session) {
        m_session->Run().Join();  // the last run's worker only had its job to free
    }
    m_session = std::move(session);
    m_listRows = m_window.twoPanes();
    m_removedRows = 0;
    m_nextItem = 0;
    if (PaneController* controller = m_window.controller(); controller && m_listRows) {
        controller->ClearFailedMarks();  // marks of an earlier run
    }
    // The worker hands its notifications to the session itself and never waits for this
    // thread, which takes the news from the session a few times a second.
    m_figures = std::make_unique<RunFigures>(m_session->Run());
    if (!m_session->Start(std::move(engine), m_figures.get())) {
        return false;
    }
    m_runActive = true;
    m_started = Now();
    m_updateTimer.start();
    return true;
}

void EraseRunControl::SetEraseItemText(const QString& text) {
    if (m_window.eraseItem != nullptr) {
        m_window.eraseItem->setText(text);
    }
}

void EraseRunControl::SetEditing(bool enabled) {
    if (PaneController* controller = m_window.controller()) {
        controller->SetEditingEnabled(enabled);
    }
}

void EraseRunControl::OnEnded() {
    // On the worker (or here, when the end came while the stop question was open): the
    // window learns of it on its own thread.
    QMetaObject::invokeMethod(this, &EraseRunControl::OnRunEnded, Qt::QueuedConnection);
}

void EraseRunControl::UpdateFromRun() {
    if (m_closing) {
        return;
    }
    m_window.progress->setValue(m_session->PerMille());
    UpdateRows();
    ShowProgressText(ProgressLine());
}

QString EraseRunControl::ProgressLine() const {
    if (!m_runActive || !m_figures) {
        return {};
    }
    const std::vector<std::string>& paths = m_session->Paths();
    std::size_t next = m_nextItem;
    while (next < paths.size() && paths[next].empty()) {
        ++next;  // no item: the walk skips it
    }
    const QString item = next < paths.size() ? DisplayText(paths[next]) : QString();
    return ProgressLineText(m_figures->Take(), item);
}

void EraseRunControl::ShowProgressText(const QString& text) {
    if (m_window.showProgressText) {
        m_window.showProgressText(text);
    }
}

void EraseRunControl::UpdateRows() {
    const std::vector<RunSession::ItemResult> ended = m_session->TakeFinished();
    if (!ended.empty()) {
        m_nextItem = ended.back().index + 1;
    }
    PaneController* controller = m_window.controller();
    if (m_closing || !m_listRows || controller == nullptr) {
        return;
    }
    // The rows are the run's items in order, less those taken off already. Erased items
    // next to each other leave as one range.
    std::vector<int> leaving;
    auto removeLeaving = [&] {
        controller->RemoveRows(leaving);
        leaving.clear();
    };
    for (const RunSession::ItemResult& item : ended) {
        const int row = static_cast<int>(item.index - m_removedRows);
        if (item.Erased()) {
            if (!leaving.empty() && row != leaving.front()) {
                removeLeaving();
            }
            leaving.push_back(row + static_cast<int>(leaving.size()));
            ++m_removedRows;
        } else {
            removeLeaving();
            // It stays, marked, so the user can try it again.
            controller->MarkRowFailed(row, RowTooltip(item));
        }
    }
    removeLeaving();
}

void EraseRunControl::OnRunEnded() {
    if (m_closing || !m_session || m_session->Run().Running()) {
        return;
    }
    m_ending = true;
    m_updateTimer.stop();
    UpdateRows();
    SetEraseItemText(QStringLiteral("Erase"));
    if (PaneController* controller = m_window.controller()) {
        controller->RefreshAll();  // the browsing panes show what is left
    }
    m_window.progress->setValue(0);  // not left full behind the closing message
    ShowProgressText(QString());
    Report();
    m_erasing = false;
    m_ending = false;
    m_runActive = false;
    SetEditing(true);
    emit Ended();
}

void EraseRunControl::Report() {
    const std::vector<std::string> notes = m_session->NoteLines();
    std::unique_ptr<QMessageBox> box;
    if (!m_session->FailureLines().empty()) {
        // Also after a stop: what failed before it must not go unsaid.
        box = MakeFailureBox(m_session->FailureLines(), notes, m_window.owner);
    } else if (m_session->AllErased()) {
        box = MakeSuccessBox(notes, m_window.owner);
    } else if (!notes.empty()) {
        box = MakeNotesBox(notes, m_window.owner);
    }
    if (box) {
        NotifyIfAway(*box);
        box->exec();
    }
}

void EraseRunControl::NotifyIfAway(const QMessageBox& box) {
    const bool away = m_window.owner == nullptr || !m_window.owner->isActiveWindow();
    if (!m_window.notify || !away || Now() - m_started <= kNotifyAfter) {
        return;
    }
    // The box's first line (its heading, or the first note) is the summary; the rest, the
    // list and the notes, is the body.
    const QString text = box.text();
    const qsizetype lineEnd = text.indexOf('\n');
    const QString summary = lineEnd < 0 ? text : text.left(lineEnd);
    const QString body = lineEnd < 0 ? QString() : text.mid(lineEnd + 1).trimmed();
    m_window.notify(summary, body);  // no bus, no service: the box says it all the same
}

std::chrono::steady_clock::time_point EraseRunControl::Now() const {
    return m_window.clock ? m_window.clock() : std::chrono::steady_clock::now();
}

}  // namespace tolvane
