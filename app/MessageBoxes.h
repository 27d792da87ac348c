#pragma once

#include <QString>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class QMessageBox;
class QWidget;

namespace tolvane {

// Path bytes as display text: UTF-8, invalid sequences shown as U+FFFD. For display only:
// the engine always keeps the original bytes.
QString DisplayText(const std::string& bytes);
// A name or note as a box shows it: control characters escaped as the terminal shows them,
// so a name with a line break cannot pass for two lines of a list.
std::string BoxText(const std::string& text);

// At most this many paths are listed by a confirmation box; a line says how many more.
inline constexpr std::size_t kConfirmListLimit = 20;

// The boxes of a command-line run, built but not shown, so the run can exec() them and the
// screenshots can grab() them. All texts are plain text: a file may be called "<b>x</b>".
//
// A box lays out the lines it is given one below the other; `notes` (lines for the user that
// follow the list, none when empty) come after a blank line.
//
// The confirmation's lines (RunSession::ConfirmLines) and the medium notes' lines after a
// blank line; caption AppDisplayName; Yes/No, No the default; question icon.
std::unique_ptr<QMessageBox> MakeConfirmBox(const std::vector<std::string>& lines,
                                            const std::vector<std::string>& notes, QWidget* parent);
// The main window's: the same lines; caption "Question"; Yes/No, Yes the default (the user
// has just chosen Erase); question icon.
std::unique_ptr<QMessageBox> MakeEraseConfirmBox(const std::vector<std::string>& lines,
                                                 const std::vector<std::string>& notes,
                                                 QWidget* parent);
// "Do you want to stop erasing?"; caption "Question"; Yes/No; question icon.
std::unique_ptr<QMessageBox> MakeStopQuestionBox(QWidget* parent);
// "Following files can't be erased:" + the list (+ notes); caption "Warning"; OK; warning icon.
std::unique_ptr<QMessageBox> MakeFailureBox(const std::vector<std::string>& failedLines,
                                            const std::vector<std::string>& notes, QWidget* parent);
// "Data successfully erased" (+ notes); caption "Message"; OK; information icon.
std::unique_ptr<QMessageBox> MakeSuccessBox(const std::vector<std::string>& notes, QWidget* parent);
// The notes alone, after a run without failures; caption "Message"; OK; information icon.
std::unique_ptr<QMessageBox> MakeNotesBox(const std::vector<std::string>& notes, QWidget* parent);
// text; caption "Error"; OK; critical icon.
std::unique_ptr<QMessageBox> MakeErrorBox(const std::string& text, QWidget* parent);

}  // namespace tolvane
