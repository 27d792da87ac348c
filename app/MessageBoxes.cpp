#include "app/MessageBoxes.h"

#include <QMessageBox>

#include "app/AppNames.h"
#include "app/RunTexts.h"

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

}  // namespace

QString DisplayText(const std::string& bytes) {
    std::string text = WithUnixLineBreaks(bytes);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::unique_ptr<QMessageBox> MakeConfirmBox(const std::string& confirmText, QWidget* parent) {
    auto box = MakeBox(QMessageBox::Question, QString::fromLatin1(AppDisplayName),
                       QString::fromLatin1(kConfirmHeading) + DisplayText(confirmText),
                       QMessageBox::Yes | QMessageBox::No, parent);
    // Destroying data must never be the answer to a stray Enter.
    box->setDefaultButton(QMessageBox::No);
    return box;
}

std::unique_ptr<QMessageBox> MakeStopQuestionBox(QWidget* parent) {
    return MakeBox(QMessageBox::Question, QStringLiteral("Question"),
                   QString::fromLatin1(kStopQuestion), QMessageBox::Yes | QMessageBox::No, parent);
}

std::unique_ptr<QMessageBox> MakeFailureBox(const std::string& failedText, QWidget* parent) {
    return MakeBox(QMessageBox::Warning, QStringLiteral("Warning"),
                   QString::fromLatin1(kFailedHeading) + DisplayText(failedText), QMessageBox::Ok,
                   parent);
}

std::unique_ptr<QMessageBox> MakeErrorBox(const std::string& text, QWidget* parent) {
    return MakeBox(QMessageBox::Critical, QStringLiteral("Error"), DisplayText(text),
                   QMessageBox::Ok, parent);
}

}  // namespace tolvane
