#include "app/RunReport.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "app/RunTexts.h"
#include "engine/EraseEngine.h"
#include "engine/FailureReasons.h"
#include "engine/FormatSize.h"

namespace tolvane {
namespace {

// The reasons the engine gives for items it never erases.
bool IsRefusal(const std::string& reason) {
    const std::string_view refusals[] = {
        kRefusedRoot,       kRefusedDotName,   kRefusedKernelFileSystem,
        kRefusedNotAVolume, kRefusedRamVolume, kRefusedNoUserData};
    return std::find(std::begin(refusals), std::end(refusals), reason) != std::end(refusals);
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

void RunReport::Start(const std::vector<std::string>& paths, std::vector<MediumNote> mediumNotes) {
    m_mediumNotes = std::move(mediumNotes);
    // The walk skips empty paths without a word: they are no items.
    m_items = static_cast<int>(
        std::count_if(paths.begin(), paths.end(), [](const std::string& p) { return !p.empty(); }));
    m_start = std::chrono::steady_clock::now();
}

void RunReport::OnProgress(int perMille, bool stopping) {
    if (!stopping) {
        m_perMilleBeforeStop = perMille;
    }
}

void RunReport::OnFailed(const std::string& shownPath, const std::string& reason) {
    m_failedItems.Add(shownPath, reason);
    m_refused += IsRefusal(reason) ? 1 : 0;
}

void RunReport::OnItemDone(bool erased) {
    m_erased += erased ? 1 : 0;
}

void RunReport::OnFinished(const EraseEngine& engine, const RunOutcome& outcome) {
    m_taken = std::chrono::steady_clock::now() - m_start;
    const bool notStarted = m_outcome.notStarted;
    m_outcome = outcome;
    m_outcome.notStarted = notStarted;
    m_engineNotes = engine.Notes();
    m_done = engine.Done();
    m_total = engine.Total();
    m_passes = engine.PassCount();
}

std::string RunReport::NotesText() const {
    std::vector<std::string> paragraphs;
    for (const std::string& paragraph :
         {JoinLines(MediumNoteLines(m_mediumNotes)), JoinLines(m_engineNotes)}) {
        if (!paragraph.empty()) {
            paragraphs.push_back(paragraph);
        }
    }
    std::string text;
    for (const std::string& paragraph : paragraphs) {
        text += (text.empty() ? "" : "\n\n") + paragraph;
    }
    return text;
}

std::uint64_t RunReport::Written() const {
    if (!m_outcome.Stopped() || m_total <= 0) {
        return m_done;
    }
    return std::min<std::uint64_t>(m_done, static_cast<std::uint64_t>(m_total) *
                                               static_cast<std::uint64_t>(m_perMilleBeforeStop) /
                                               1000);
}

std::vector<std::string> RunReport::SummaryLines() const {
    std::string counts = m_outcome.Stopped() ? "Stopped: erased " : "Erased ";
    counts += std::to_string(m_erased) + " of " + std::to_string(m_items) + " items, " +
              std::to_string(m_outcome.failed) + " failed";
    if (m_refused > 0) {
        counts += " (" + std::to_string(m_refused) + " refused)";
    }
    counts += ", " + std::to_string(m_outcome.notFound) + " not found.";
    std::string written = "Written: ";
    if (m_passes > 0) {
        written += FormatDecimalSize(Written()) + " in " + std::to_string(m_passes) +
                   (m_passes == 1 ? " pass" : " passes");
    } else {
        written += "nothing (0 passes: names changed and removed only)";
    }
    written += "; time taken: " + FormatDuration(m_taken) + ".";
    return {counts, written};
}

}  // namespace tolvane
