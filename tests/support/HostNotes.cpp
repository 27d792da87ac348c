#include "HostNotes.h"

#include <cstdlib>
#include <vector>

#include "engine/MediumCheck.h"
#include "engine/RunSession.h"
#include "engine/RunTexts.h"

namespace tolvane::test {
namespace {

const std::vector<std::string>& HostNoteLines() {
    static const std::vector<std::string> lines = [] {
        const char* temp = std::getenv("TMPDIR");
        std::vector<std::string> notes =
            MediumNoteLines(CheckMedia({temp != nullptr ? temp : "/tmp"}), nullptr);
        if (!notes.empty()) {
            notes.erase(notes.begin());  // the heading: it stays where other notes follow it
        }
        return notes;
    }();
    return lines;
}

// Lines may carry the program's name in front ("tolvane: ") where they go to standard error.
bool EndsWith(const std::string& line, const std::string& tail) {
    return line.size() >= tail.size() &&
           line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
}

bool IsHostNote(const std::string& line) {
    for (const std::string& note : HostNoteLines()) {
        if (EndsWith(line, note)) {
            return true;
        }
    }
    return false;
}

bool IsNote(const std::string& line) {
    const std::size_t mark = line.find(kMediumNoteMark);
    return mark == 0 || (mark != std::string::npos && line.compare(0, mark, "tolvane: ") == 0);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(text.substr(at, end - at));
    }
    lines.push_back(text.substr(at));  // what follows the last line break, maybe ""
    return lines;
}

}  // namespace

std::string WithoutHostNotes(const std::string& text) {
    if (HostNoteLines().empty()) {
        return text;
    }
    std::vector<std::string> kept;
    for (const std::string& line : SplitLines(text)) {
        if (!IsHostNote(line)) {
            kept.push_back(line);
        }
    }
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const bool emptyHeading = EndsWith(kept[i], kMediumNotesHeading) &&
                                  (i + 1 == kept.size() || !IsNote(kept[i + 1]));
        if (!emptyHeading) {
            lines.push_back(kept[i]);
        } else if (!lines.empty() && lines.back().empty()) {
            lines.pop_back();  // the empty line that set the notes apart
        }
    }
    std::string result;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        result += (i == 0 ? "" : "\n") + lines[i];
    }
    return result;
}

}  // namespace tolvane::test
