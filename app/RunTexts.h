#pragma once

#include <string>

namespace tolvane {

// The fixed texts of a command-line run, shared by the window and the terminal.
inline constexpr char kConfirmHeading[] = "Confirm erasing following files:";
inline constexpr char kStopQuestion[] = "Do you want to stop erasing?";
inline constexpr char kFailedHeading[] = "Following files can't be erased:";
// The main window's word after a run in which everything was erased.
inline constexpr char kSuccessText[] = "Data successfully erased";
// Before the medium notes, in the confirmation and in the closing report.
inline constexpr char kMediumNotesHeading[] = "Overwriting in place may not reach every copy here:";
inline constexpr char kMediumNoteMark[] = "- ";  // before each medium note
// The caption of the closing message when there were notes but no failures.
inline constexpr char kNotesCaption[] = "Message";
inline constexpr char kNoRandomSource[] =
    "No working random source was found, so no erase key can be made. Nothing was erased.";
inline constexpr char kWindowNotAvailable[] =
    "The main window is not available without a display. Give the paths to erase on the "
    "command line (see --help).";
// After the reason why no display could be used.
inline constexpr char kWindowCannotOpen[] =
    "The main window is not available. Give the paths to erase on the command line (see --help).";

// The lists are built with "\r\n" before every line; terminals and Qt want "\n".
inline std::string WithUnixLineBreaks(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        result += text[i];
    }
    return result;
}

}  // namespace tolvane
