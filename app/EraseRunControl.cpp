#include "app/EraseRunControl.h"

#include <QAction>
#include <QCoreApplication>
#include <QMessageBox>
#include <QProgressBar>

#include "app/MessageBoxes.h"
#include "app/RunReport.h"
#include "app/RunTexts.h"
#include "engine/EraseEngine.h"
#include "engine/EraseJob.h"
#include "panes/PaneController.h"

namespace tolvane {
namespace {

// How many failures one row's tooltip lists before it says there are more.
constexpr int kRowFailureLines = 16;

QString FailureLine(const std::string& path, const std::string& reason) {
    QString line = DisplayText(path);
    if (!reason.empty()) {
        line += " - " + DisplayText(reason);
    }
    return line;
}

}  // namespace

EraseRunControl::EraseRunControl(Window window)
    : m_window(std::move(window)), m_run(*this), m_relay(this, &m_run) {}

EraseRunControl::~EraseRunControl() {
    // The window is going under a run (it waits for a run's end before it closes): the
    // worker's last calls are handled without touching the window.
    m_closing = m_run.Running();
    StopAndJoinOnGuiThread(m_run);
}

void EraseRunControl::OnErase() {
    if (m_erasing) {
        OnCancelErase();
    } else if (m_run.Running()) {
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
    if (m_asking) {
        return false;
    }
    if (!m_run.BeginAsking()) {
        return m_run.Running();  // stopping already: nothing to ask
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
    m_run.EndAsking(stop);
    return stop;
}

bool EraseRunControl::ConfirmAndStartErase() {
    const std::vector<std::string> paths = CollectErasePaths();
    if (paths.empty()) {
        return false;
    }
    // The list stays as confirmed while the question is open: what is erased, and the rows
    // that leave as their items finish, are exactly what the user saw.
    SetEditing(false);
    auto question = MakeEraseConfirmBox(BuildConfirmText(paths, kConfirmListLimit), m_window.owner);
    const bool yes = question->exec() == QMessageBox::Yes;
    question.reset();
    if (!yes || !StartEraseRun(paths)) {
        SetEditing(true);
        return false;
    }
    return true;
}

std::vector<std::string> EraseRunControl::CollectErasePaths() const {
    std::vector<std::string> paths;
    PaneController* controller = m_window.controller();
    if (controller == nullptr) {
        return paths;
    }
    const std::vector<FileItem> items = m_window.twoPanes()
                                            ? controller->CollectEraseList()
                                            : controller->CollectFirstPaneSelection();
    for (const FileItem& item : items) {
        paths.push_back(item.FullPath());  // a drive row gives its drive spec
    }
    return paths;
}

bool EraseRunControl::StartEraseRun(const std::vector<std::string>& paths) {
    std::string note;
    std::unique_ptr<EraseEngine> engine =
        MakeRunEngine(m_window.passes(), m_window.makeEngine, &note);
    if (!engine) {
        MakeErrorBox(kNoRandomSource, m_window.owner)->exec();
        return false;
    }
    m_failedItems.Reset();
    m_engineNotes.clear();
    m_listRows = m_window.twoPanes();
    m_keptRows = 0;
    m_rowFailures.clear();
    m_rowFailureCount = 0;
    if (PaneController* controller = m_window.controller(); controller && m_listRows) {
        controller->ClearFailedMarks();  // marks of an earlier run
    }
    return m_run.Start(paths, std::move(engine), &m_relay);
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

void EraseRunControl::OnProgress(int perMille) {
    if (!m_closing) {
        m_window.progress->setValue(perMille);
    }
}

void EraseRunControl::OnItemFailed(const std::string& path, const std::string& reason) {
    // A failure between two item ends belongs to the item being erased.
    m_failedItems.Add(path, reason);
    if (m_rowFailureCount < kRowFailureLines) {
        m_rowFailures += (m_rowFailures.isEmpty() ? "" : "\n") + FailureLine(path, reason);
    } else if (m_rowFailureCount == kRowFailureLines) {
        m_rowFailures += "\n...";
    }
    ++m_rowFailureCount;
}

void EraseRunControl::OnItemDone(const EraseRunner::ItemEnd& item) {
    PaneController* controller = m_window.controller();
    if (m_closing || !m_listRows || controller == nullptr) {
        return;
    }
    if (item.failures > 0) {
        // It stays, marked, so the user can try it again; the next item's row is below it.
        MarkCurrentRowFailed();
        ++m_keptRows;
    } else if (m_keptRows == 0) {
        controller->RemoveLeadingRows(1);
    } else {
        controller->RemoveRows({m_keptRows});
    }
}

void EraseRunControl::MarkCurrentRowFailed() {
    if (PaneController* controller = m_window.controller()) {
        controller->MarkRowFailed(m_keptRows, m_rowFailures);
    }
    m_rowFailures.clear();
    m_rowFailureCount = 0;
}

void EraseRunControl::OnFinished(const EraseEngine& engine) {
    m_engineNotes = engine.Notes();
    if (!m_closing && m_listRows && m_rowFailureCount > 0) {
        // Failures after the last item end: the item the stop cut short keeps its row.
        MarkCurrentRowFailed();
    }
}

void EraseRunControl::OnEnded() {
    if (m_closing) {
        return;
    }
    SetEraseItemText(QStringLiteral("Erase"));
    if (PaneController* controller = m_window.controller()) {
        controller->RefreshAll();  // the browsing panes show what is left
    }
    Report();
    m_erasing = false;
    m_window.progress->setValue(0);
    SetEditing(true);
    emit Ended();
}

void EraseRunControl::Report() {
    const std::string notes = JoinLines(m_engineNotes);
    if (!m_failedItems.Empty()) {
        // Also after a stop: what failed before it must not go unsaid.
        auto box = MakeFailureBox(m_failedItems.Text(), notes, m_window.owner);
        m_failedItems.Reset();
        box->exec();
    } else if (!m_run.Outcome().Stopped()) {
        // Everything was erased: also when a stop came too late to leave anything undone.
        MakeSuccessBox(notes, m_window.owner)->exec();
    } else if (!notes.empty()) {
        MakeNotesBox(notes, m_window.owner)->exec();
    }
}

}  // namespace tolvane
