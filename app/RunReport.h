#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/FailedItemList.h"
#include "engine/MediumCheck.h"
#include "engine/RunOutcome.h"

namespace tolvane {

class EraseEngine;

// A line as the user will see it (escaped for a terminal, or as it is).
using ShowText = std::function<std::string(const std::string&)>;

// The medium notes as the user reads them: a heading line, then one line per note passed
// through `shown` (as it is when empty) after "- "; no lines when there are no notes.
std::vector<std::string> MediumNoteLines(const std::vector<MediumNote>& notes,
                                         const ShowText& shown = {});
// The lines joined with "\n", no line break at the end.
std::string JoinLines(const std::vector<std::string>& lines);

// What a command-line run has to tell the user at its end, collected from the run's
// notifications (EraseRunner::Listener); the same for the dialog and the terminal. The On...
// operations run while the worker waits for the notification to be handled; the rest is read
// once the run has ended. Not thread-safe otherwise.
class RunReport {
public:
    // When the job starts: the items of the run and the medium notes the confirmation showed.
    void Start(const std::vector<std::string>& paths, std::vector<MediumNote> mediumNotes);

    // The per-mille done; `stopping`: a stop is in force (the engine still reports its end
    // as 1000 once, which is no progress).
    void OnProgress(int perMille, bool stopping);
    // A failed path as it is to be listed, and the engine's reason.
    void OnFailed(const std::string& shownPath, const std::string& reason);
    // An item is finished; `erased` when nothing of it failed and it named something.
    void OnItemDone(bool erased);
    // The run's end: its outcome, and the engine's notes, what was written and the time taken.
    // What was written is the engine's count after a complete run; after a stop, the progress
    // made until the stop (the engine counts a stopped file's whole share as done).
    void OnFinished(const EraseEngine& engine, const RunOutcome& outcome);

    RunOutcome& Outcome() { return m_outcome; }
    const RunOutcome& Outcome() const { return m_outcome; }
    const FailedItemList& FailedItems() const { return m_failedItems; }
    void ForgetFailedItems() { m_failedItems.Reset(); }
    const std::vector<MediumNote>& MediumNotes() const { return m_mediumNotes; }
    const std::vector<std::string>& EngineNotes() const { return m_engineNotes; }

    // The notes for a closing message: the medium notes, then the engine's, as paragraphs
    // separated by a blank line; empty when there is nothing to say.
    std::string NotesText() const;
    // Two lines without user data: what was erased, failed, refused and not found; what was
    // written and how long the run took.
    std::vector<std::string> SummaryLines() const;

private:
    std::uint64_t Written() const;

    std::vector<MediumNote> m_mediumNotes;
    std::vector<std::string> m_engineNotes;
    FailedItemList m_failedItems;
    RunOutcome m_outcome;
    int m_items = 0;
    int m_erased = 0;
    int m_refused = 0;
    // Bytes times passes (entries with 0 passes): the engine's count and total at the end,
    // and the progress until a stop.
    std::uint64_t m_done = 0;
    std::int64_t m_total = 0;
    int m_perMilleBeforeStop = 0;
    int m_passes = 0;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::duration m_taken{};
};

}  // namespace tolvane
