#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/EraseRunner.h"
#include "engine/FailedItemList.h"
#include "engine/MediumCheck.h"
#include "engine/RunOutcome.h"

namespace tolvane {

class EraseEngine;

// A text as the user will see it: escaped where a name could fake lines or control a
// terminal, or as it is.
using ShowText = std::function<std::string(const std::string&)>;

// The medium notes as the user reads them: a heading line, then one line per note passed
// through `shown` (as it is when empty) after "- "; no lines when there are no notes.
std::vector<std::string> MediumNoteLines(const std::vector<MediumNote>& notes,
                                         const ShowText& shown = {});
// The lines joined with "\n", no line break at the end.
std::string JoinLines(const std::vector<std::string>& lines);

// One erase run as every front end has it, from the confirmation to the closing words: the
// paths and the medium notes the confirmation shows, the run itself (an EraseRunner), how
// each item of the list ended (erased, failed, refused, not found), the failure list, the
// counts and the notes. Front ends only lay its lines out: a terminal prompt, a dialog, the
// main window with its erase list.
//
// Every text it hands out has gone through the front end's ShowText, so a name with a line
// break can never pass for two lines of a list.
//
// A path longer than a path may be (PATH_MAX - 1 bytes) is never given to the engine: it
// ends as refused, in its place in the list. Empty paths are no items (the walk skips them).
//
// Threads: the notifications arrive on the thread that delivers them (the front end's own,
// through a relay, or the worker itself) while the worker waits, and the Observer is called
// there, never under the session's lock. TakeFinished and PerMille may be called from any
// thread while the run goes on: a window polls them from its own thread a few times a second
// instead of having the worker wait for it at every item. The rest is read once the run has
// ended (OnEnded), or before it started.
class RunSession : private EraseRunner::Listener {
public:
    enum class ItemState { Erased, Failed, Refused, NotFound };

    // How one item of the list ended.
    struct ItemResult {
        std::size_t index = 0;  // in Paths()
        ItemState state = ItemState::Erased;
        // Why it stays, one shown line per failure ("<path> - <reason>"), at most
        // kItemReasonLines and then "...".
        std::vector<std::string> reasons;
        bool Erased() const { return state == ItemState::Erased; }
    };
    static constexpr std::size_t kItemReasonLines = 16;

    // What a front end hears while the run goes on (on the delivering thread).
    class Observer {
    public:
        virtual ~Observer() = default;
        virtual void OnProgress(int /*perMille*/) {}
        // The engine finished an item: its result, and those of any items refused up front
        // that follow it, wait in TakeFinished().
        virtual void OnItemEnded() {}
        // The walk is over: the counts and notes are final (the engine still exists).
        virtual void OnFinished() {}
        // The run is over and no stop question is open.
        virtual void OnEnded() {}
    };

    // Looks at the media the paths are on, for the confirmation's notes.
    RunSession(std::vector<std::string> paths, ShowText shown, Observer& observer);
    ~RunSession() override;
    RunSession(const RunSession&) = delete;
    RunSession& operator=(const RunSession&) = delete;

    const std::vector<std::string>& Paths() const { return m_paths; }
    const std::vector<MediumNote>& MediumNotes() const { return m_mediumNotes; }

    // The confirmation: its heading, then each path on a line of its own (a drive spec as
    // "Free space on drive <spec>", an empty path as an empty line) up to `limit` paths and a
    // line "... and N more" for the rest.
    std::vector<std::string> ConfirmLines(
        std::size_t limit = std::numeric_limits<std::size_t>::max()) const;
    // The medium notes under their heading; none when overwriting in place can be relied on.
    std::vector<std::string> MediumNoteLines() const;

    // Starts the run with `engine`, once: the paths to walk move to the run. Without a relay
    // the worker delivers the notifications itself. False, and nothing started, without a
    // working engine.
    bool Start(std::unique_ptr<EraseEngine> engine, NotifyTarget* relay = nullptr);
    // The run, for the stop question (BeginAsking, EndAsking), a stop, its state and the
    // worker's notifications (Send).
    EraseRunner& Run() { return m_run; }
    const EraseRunner& Run() const { return m_run; }

    // The items that ended since the last call, in list order.
    std::vector<ItemResult> TakeFinished();
    // The last progress reported, per mille.
    int PerMille() const;

    // ---- once the run has ended ----
    RunOutcome& Outcome() { return m_outcome; }
    const RunOutcome& Outcome() const { return m_outcome; }
    // Every item of the list was erased (a stop that came after the last piece of work
    // changed nothing).
    bool AllErased() const;
    // "<path> - <reason>" for what stayed, a line each: failed entries, refused items and
    // items that named nothing; sixteen lines and then "..."; empty when nothing stayed.
    const std::vector<std::string>& FailureLines() const { return m_failures.Lines(); }
    // Two lines without user data: how many items were erased, failed (refused among them),
    // not found, and how many files and folders failed when that is another number; what
    // was written and how long the run took.
    std::vector<std::string> SummaryLines() const;
    // The engine's notes, shown.
    const std::vector<std::string>& EngineNotes() const { return m_engineNotes; }
    // The medium notes, then the engine's, as paragraphs separated by an empty line; empty
    // when there is nothing to say.
    std::vector<std::string> NoteLines() const;

private:
    void OnProgress(int perMille) override;
    void OnItemFailed(const std::string& path, const std::string& reason) override;
    void OnItemDone(const EraseRunner::ItemEnd& item) override;
    void OnFinished(const EraseEngine& engine) override;
    void OnEnded() override;

    // Under m_mutex: the item the worker has just finished, the end of the walk, and the
    // list's items up to (not including) `index` that never reached the engine.
    void EndWalkedItem(const EraseRunner::ItemEnd& item);
    void Finish(const EraseEngine& engine);
    void EndRefusedBefore(std::size_t index);
    void EndItem(std::size_t index, ItemState state);
    void AddReason(const std::string& shownPath, const std::string& reason);

    std::vector<std::string> m_paths;
    ShowText m_shown;
    Observer& m_observer;
    std::vector<MediumNote> m_mediumNotes;

    // Guards what the notifications write (all below but the run) against a front end that
    // reads the progress and the ended items from its own thread.
    mutable std::mutex m_mutex;
    int m_perMille = 0;
    // Positions in m_paths of the paths the engine walks, in order.
    std::vector<std::size_t> m_walked;
    std::vector<std::string> m_walkedPaths;  // the paths at m_walked, until Start takes them
    std::size_t m_nextUnended = 0;           // the first item of m_paths not yet ended

    // The item being walked.
    std::vector<std::string> m_reasons;
    bool m_refusal = false;
    bool m_anyFailure = false;

    std::vector<ItemResult> m_finished;  // not yet taken
    FailedItemList m_failures;
    std::vector<std::string> m_engineNotes;
    RunOutcome m_outcome;
    int m_items = 0;
    int m_erased = 0;
    int m_failedItems = 0;
    int m_refused = 0;
    int m_notFound = 0;
    int m_refusedUpFront = 0;     // paths too long for the engine
    std::uint64_t m_written = 0;  // what the passes wrote, all passes together
    int m_passes = 0;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::duration m_taken{};

    EraseRunner m_run;  // last: its end reaches the members above
};

}  // namespace tolvane
