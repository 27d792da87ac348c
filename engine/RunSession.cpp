#include "engine/RunSession.h"

#include <climits>
#include <cstdio>
#include <string_view>

#include "engine/EraseEngine.h"
#include "engine/EraseJob.h"
#include "engine/FailureReasons.h"
#include "engine/FormatSize.h"
#include "engine/RunTexts.h"

namespace tolvane {
namespace {

static_assert(PATH_MAX == 4096, "kPathTooLongReason names the limit");

// The reasons the engine gives for items it never erases.
bool IsRefusal(const std::string& reason) {
    const std::string_view refusals[] = {
        kRefusedRoot,      kRefusedDotName,    kRefusedKernelFileSystem, kRefusedNotAVolume,
        kRefusedRamVolume, kRefusedNoUserData, kRefusedLinkedTrash};
    return std::find(std::begin(refusals), std::end(refusals), reason) != std::end(refusals);
}

// A path no system call takes: refused before the run, in its place in the list.
bool TooLong(const std::string& path) {
    return path.size() > PATH_MAX - 1;
}

// "under 0.1 s", "0.4 s", "59.9 s", "3 min 05 s", "2 h 07 min".
std::string FormatDuration(std::chrono::steady_clock::duration taken) {
    const double seconds = std::chrono::duration<double>(taken).count();
    const auto whole = static_cast<long long>(seconds);
    char text[48];
    if (seconds < 0.05) {
        return "under 0.1 s";  // "0.0 s" would read as no time at all
    }
    if (seconds < 60) {
        std::snprintf(text, sizeof text, "%.1f s", seconds);
    } else if (whole < 3600) {
        std::snprintf(text, sizeof text, "%lld min %02lld s", whole / 60, whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld h %02lld min", whole / 3600, whole % 3600 / 60);
    }
    return text;
}

std::string Counted(int count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::vector<std::string> MediumNoteLines(const std::vector<MediumNote>& notes,
                                         const ShowText& shown) {
    std::vector<std::string> lines;
    if (notes.empty()) {
        return lines;
    }
    lines.emplace_back(kMediumNotesHeading);
    for (const MediumNote& note : notes) {
        // Marked, so that a note that wraps in a message box does not run into the next.
        lines.push_back(kMediumNoteMark + (shown ? shown(note.text) : note.text));
    }
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += (text.empty() ? "" : "\n") + line;
    }
    return text;
}

RunSession::RunSession(std::vector<std::string> paths, ShowText shown, Observer& observer)
    : m_paths(std::move(paths)),
      m_shown(shown ? std::move(shown) : [](const std::string& text) { return text; }),
      m_observer(observer),
      m_mediumNotes(CheckMedia(m_paths)),
      m_run(*this) {
    for (std::size_t index = 0; index < m_paths.size(); ++index) {
        if (m_paths[index].empty()) {
            continue;  // the walk skips empty paths without a word: they are no items
        }
        ++m_items;
        if (!TooLong(m_paths[index])) {
            m_walked.push_back(index);
            m_walkedPaths.push_back(m_paths[index]);  // made here, on the preparing thread
        }
    }
}

RunSession::~RunSession() = default;

std::vector<std::string> RunSession::ConfirmLines(std::size_t limit) const {
    std::vector<std::string> lines{kConfirmHeading};
    for (std::size_t index = 0; index < m_paths.size() && index < limit; ++index) {
        // One path at a time: a line break inside a name must not pass for a separator.
        lines.push_back(m_shown(ConfirmLine(m_paths[index])));
    }
    if (m_paths.size() > limit) {
        lines.push_back("... and " + std::to_string(m_paths.size() - limit) + " more");
    }
    return lines;
}

std::vector<std::string> RunSession::MediumNoteLines() const {
    return tolvane::MediumNoteLines(m_mediumNotes, m_shown);
}

bool RunSession::Start(std::unique_ptr<EraseEngine> engine, NotifyTarget* relay) {
    if (!engine || !engine->Ready()) {
        return false;
    }
    m_start = std::chrono::steady_clock::now();
    {
        // Items refused before the walk that come first are over before it begins.
        std::lock_guard<std::mutex> lock(m_mutex);
        EndRefusedBefore(m_walked.empty() ? m_paths.size() : m_walked.front());
    }
    return m_run.Start(std::move(m_walkedPaths), std::move(engine), relay);
}

std::vector<RunSession::ItemResult> RunSession::TakeFinished() {
    std::vector<ItemResult> taken;
    std::lock_guard<std::mutex> lock(m_mutex);
    taken.swap(m_finished);
    return taken;
}

int RunSession::PerMille() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_perMille;
}

void RunSession::OnProgress(int perMille) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_perMille = perMille;
    }
    m_observer.OnProgress(perMille);
}

void RunSession::OnItemFailed(const std::string& path, const std::string& reason) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_anyFailure = true;
    m_refusal = IsRefusal(reason);
    AddReason(m_shown(path), reason);
}

void RunSession::AddReason(const std::string& shownPath, const std::string& reason) {
    m_failures.Add(shownPath, m_shown(reason));
    if (m_reasons.size() < kItemReasonLines) {
        std::string line = shownPath;
        if (!reason.empty()) {
            line += " - ";
            line += m_shown(reason);
        }
        m_reasons.push_back(std::move(line));
    } else if (m_reasons.size() == kItemReasonLines) {
        m_reasons.emplace_back("...");
    }
}

void RunSession::OnItemDone(const EraseRunner::ItemEnd& item) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        EndWalkedItem(item);
    }
    m_observer.OnItemEnded();
}

void RunSession::EndWalkedItem(const EraseRunner::ItemEnd& item) {
    const std::size_t index = m_walked[item.index];
    EndRefusedBefore(index);
    if (item.notFound) {
        AddReason(m_shown(m_paths[index]), kNotFoundReason);
        EndItem(index, ItemState::NotFound);
    } else if (m_anyFailure) {
        EndItem(index, m_refusal ? ItemState::Refused : ItemState::Failed);
    } else {
        EndItem(index, ItemState::Erased);
    }
    if (item.index + 1 < m_walked.size()) {
        EndRefusedBefore(m_walked[item.index + 1]);
    }
}

void RunSession::EndRefusedBefore(std::size_t index) {
    for (; m_nextUnended < index; ++m_nextUnended) {
        if (!m_paths[m_nextUnended].empty() && TooLong(m_paths[m_nextUnended])) {
            AddReason(m_shown(m_paths[m_nextUnended]), kPathTooLongReason);
            ++m_refusedUpFront;
            EndItem(m_nextUnended, ItemState::Refused);
        }
    }
}

void RunSession::EndItem(std::size_t index, ItemState state) {
    switch (state) {
        case ItemState::Erased:
            ++m_erased;
            break;
        case ItemState::Refused:
            ++m_refused;
            ++m_failedItems;
            break;
        case ItemState::Failed:
            ++m_failedItems;
            break;
        case ItemState::NotFound:
            ++m_notFound;
            break;
    }
    m_finished.push_back(ItemResult{index, state, std::move(m_reasons)});
    m_reasons.clear();
    m_anyFailure = false;
    m_refusal = false;
    m_nextUnended = std::max(m_nextUnended, index + 1);
}

void RunSession::OnFinished(const EraseEngine& engine) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Finish(engine);
    }
    m_observer.OnFinished();
}

void RunSession::Finish(const EraseEngine& engine) {
    m_taken = std::chrono::steady_clock::now() - m_start;
    const bool notStarted = m_outcome.notStarted;
    m_outcome = m_run.Outcome();
    m_outcome.notStarted = notStarted;
    for (const std::string& note : engine.Notes()) {
        m_engineNotes.push_back(m_shown(note));
    }
    m_written = engine.BytesWritten();
    m_passes = engine.PassCount();
    if (m_anyFailure && m_nextUnended < m_paths.size()) {
        // Failures after the last item's end: the item a stop cut short stays.
        EndItem(m_nextUnended, ItemState::Failed);
    }
    // Items refused up front stay refused whether the walk reached their place or not.
    EndRefusedBefore(m_paths.size());
    m_outcome.failed += m_refusedUpFront;
}

void RunSession::OnEnded() {
    m_observer.OnEnded();
}

bool RunSession::AllErased() const {
    return m_erased == m_items;
}

std::vector<std::string> RunSession::SummaryLines() const {
    std::string counts = m_outcome.Stopped() ? "Stopped: erased " : "Erased ";
    counts += std::to_string(m_erased) + " of " + std::to_string(m_items) + " items, " +
              std::to_string(m_failedItems) + " failed";
    if (m_refused > 0) {
        counts += " (" + std::to_string(m_refused) + " refused)";
    }
    counts += ", " + std::to_string(m_notFound) + " not found";
    // A failed folder may hold many entries that stayed: they are files and folders, not
    // items, and are counted as such.
    if (m_outcome.failed != m_failedItems) {
        counts += "; " + Counted(m_outcome.failed, "file or folder", "files and folders") +
                  " could not be erased";
    }
    counts += ".";
    std::string written = "Written: ";
    if (m_passes > 0) {
        written += FormatDecimalSize(m_written) + " in " + std::to_string(m_passes) +
                   (m_passes == 1 ? " pass" : " passes");
    } else {
        written += "nothing (0 passes: names changed and removed only)";
    }
    written += "; time taken: " + FormatDuration(m_taken) + ".";
    return {counts, written};
}

std::vector<std::string> RunSession::NoteLines() const {
    std::vector<std::string> lines;
    for (const std::vector<std::string>& paragraph : {MediumNoteLines(), m_engineNotes}) {
        if (paragraph.empty()) {
            continue;
        }
        if (!lines.empty()) {
            lines.emplace_back();
        }
        lines.insert(lines.end(), paragraph.begin(), paragraph.end());
    }
    return lines;
}

}  // namespace tolvane
