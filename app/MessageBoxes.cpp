#include "app/MessageBoxes.h"

#include <QMessageBox>

#include "app/RunTexts.h"
#include "engine/RunSession.h"
#include "platform/AppNames.h"
#include "platform/TerminalText.h"

namespace tolvane {
namespace {

std::unique_ptr<QMessageBox> MakeBox(QMessageBox::Icon icon, const QString& caption,
                                     const QString& text, QMessageBox::StandardButtons buttons,
                                     QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(icon, caption, text, buttons, parent);
    // Paths are user data: never let Qt guess that a name is markup.
    box->setTextFormat(Qt::PlainText);
    return box;
}

// The lines one below the other, then the notes after a blank line.
QString ListText(const std::vector<std::string>& lines, const std::vector<std::string>& notes) {
    std::string text = JoinLines(lines);
    if (!notes.empty()) {
        text += "\n\n" + JoinLines(notes);
    }
    return DisplayText(text);
}

}  // namespace

std::string BoxText(const std::string& text) {
    return EscapeForTerminal(text);
}

QString DisplayText(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::unique_ptr<QMessageBox> MakeConfirmBox(const std::vector<std::string>& lines,
                                            const std::vector<std::string>& notes,
                                            QWidget* parent) {
    auto box = MakeBox(QMessageBox::Question, QString::fromLatin1(AppDisplayName),
                       ListText(lines, notes), QMessageBox::Yes | QMessageBox::No, parent);
    // Destroying data must never be the answer to a stray Enter.
    box->setDefaultButton(QMessageBox::No);
    return box;
}

std::unique_ptr<QMessageBox> MakeEraseConfirmBox(const std::vector<std::string>& lines,
                                                 const std::vector<std::string>& notes,
                                                 QWidget* parent) {
    auto box = MakeBox(QMessageBox::Question, QStringLiteral("Question"), ListText(lines, notes),
                       QMessageBox::Yes | QMessageBox::No, parent);
    box->setDefaultButton(QMessageBox::Yes);
    return box;
}

std::unique_ptr<QMessageBox> MakeStopQuestionBox(QWidget* parent) {
    return MakeBox(QMessageBox::Question, QStringLiteral("Question"),
                   QString::fromLatin1(kStopQuestion), QMessageBox::Yes | QMessageBox::No, parent);
}

std::unique_ptr<QMessageBox> MakeFailureBox(const std::vector<std::string>& failedLines,
                                            const std::vector<std::string>& notes,
                                            QWidget* parent) {
    std::vector<std::string> lines{kFailedHeading};
    lines.insert(lines.end(), failedLines.begin(), failedLines.end());
    return MakeBox(QMessageBox::Warning, QStringLiteral("Warning"), ListText(lines, notes),
                   QMessageBox::Ok, parent);
}

std::unique_ptr<QMessageBox> MakeSuccessBox(const std::vector<std::string>& notes,
                                            QWidget* parent) {
    return MakeBox(QMessageBox::Information, QString::fromLatin1(kNotesCaption),
                   ListText({kSuccessText}, notes), QMessageBox::Ok, parent);
}

std::unique_ptr<QMessageBox> MakeNotesBox(const std::vector<std::string>& notes, QWidget* parent) {
    return MakeBox(QMessageBox::Information, QString::fromLatin1(kNotesCaption),
                   DisplayText(JoinLines(notes)), QMessageBox::Ok, parent);
}

std::unique_ptr<QMessageBox> MakeErrorBox(const std::string& text, QWidget* parent) {
    return MakeBox(QMessageBox::Critical, QStringLiteral("Error"), DisplayText(text),
                   QMessageBox::Ok, parent);
}

}  // namespace tolvane
