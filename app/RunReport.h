#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/RunOutcome.h"
#include "engine/FailedItemList.h"
#include "engine/MediumCheck.h"

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

// What a command-line run has to tell the user at its end, collected from the worker's
// notifications; the same for the dialog and the terminal. The On... operations run while
// the worker waits for the notification to be handled (so the engine may be read); the rest
// is read once the worker has ended (the outcome's stop may be set meanwhile by the thread
// that asks). Not thread-safe otherwise.
class RunReport {
public:
    // When the job starts: the items of the run and the medium notes the confirmation showed.
    void Start(const std::vector<std::string>& paths, std::vector<MediumNote> mediumNotes);

    // ERN_PROGRESS: the per-mille done.
    void OnProgress(std::intptr_t perMille, const EraseEngine& engine);
    // ERN_FAILED: the path as it is to be listed, and the engine's reason.
    void OnFailed(const std::string& shownPath, const std::string& reason);
    // ERN_ITEMDONE: an item is finished; it counts as erased when nothing of it was reported.
    void OnItemDone(const EraseEngine& engine);
    // ERN_FINISHED: the engine's counts, its notes, what was written and the time taken. What
    // was written is the engine's count after a complete run; after a stop, the progress made
    // until the stop (the engine counts a stopped file's whole share as done).
    void OnFinished(const EraseEngine& engine);

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
    int m_failedNotified = 0;  // ERN_FAILED count, not limited like m_failedItems
    int m_refused = 0;
    int m_problemsAtLastItem = 0;  // failures and not-found items when the last item ended
    // Bytes times passes (entries with 0 passes): the engine's count and total at the end,
    // and the progress until a stop.
    std::uint64_t m_done = 0;
    std::int64_t m_total = 0;
    std::intptr_t m_perMilleBeforeStop = 0;
    int m_passes = 0;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::duration m_taken{};
};

}  // namespace tolvane
