#pragma once

namespace tolvane {

// The fixed texts of an erase run, the same in every front end.
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
// Why an item of the list was not erased, beside the engine's own reasons.
inline constexpr char kNotFoundReason[] = "not found";
inline constexpr char kPathTooLongReason[] = "refused: path too long (more than 4095 bytes)";

}  // namespace tolvane
