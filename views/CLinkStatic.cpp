#include "views/CLinkStatic.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>

#include "platform/AppNames.h"

namespace tolvane {
namespace {

// A target that starts with '/' is a file; anything else is an address.
QUrl UrlOf(const QString& target) {
    if (target.startsWith(u'/')) {
        return QUrl::fromLocalFile(target);
    }
    return QUrl(target, QUrl::StrictMode);
}

// The shell's answers: 33 and above is success, below it an error number.
constexpr int kOpened = 33;
constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kNoAssociation = 31;

}  // namespace

CLinkStatic::CLinkStatic(const QString& text, OpenUrlFunction open, QWidget* parent)
    : QLabel(text, parent), m_open(std::move(open)), m_target(text) {
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setToolTip(m_target);
    ApplyColor();
}

void CLinkStatic::SetUrl(const QString& target) {
    m_target = target;
    setToolTip(target);
}

bool CLinkStatic::OpenLink() {
    const QUrl url = UrlOf(m_target);
    const int result = url.isValid() && m_open && m_open(url) ? kOpened : FailureCode();
    if (result >= kOpened) {
        m_visited = true;
        ApplyColor();
        return true;
    }
    QApplication::beep();
    ReportLinkError(result);
    return false;
}

int CLinkStatic::FailureCode() const {
    if (!m_target.startsWith(u'/')) {
        return kNoAssociation;  // nothing on this desktop opens such an address
    }
    return QFileInfo(QFileInfo(m_target).path()).isDir() ? kFileNotFound : kPathNotFound;
}

void CLinkStatic::ReportLinkError(int code) {
    QMessageBox::warning(window(), QString::fromUtf8(AppDisplayName), LinkErrorText(code));
}

QString CLinkStatic::LinkErrorText(int code) {
    QString reason;
    switch (code) {
        case 0:
            reason = "The operating system is out\nof memory or resources.";
            break;
        case 2:
            reason = "The specified file was not found.";
            break;
        case 3:
            reason = "The specified path was not found.";
            break;
        case 5:
            reason = "The operating system denied\naccess to the specified file.";
            break;
        case 8:
            reason = "There was not enough memory to complete the operation.";
            break;
        case 11:
            reason = "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
            break;
        case 26:
            reason = "A sharing violation occurred. ";
            break;
        case 27:
            reason = "The filename association is\nincomplete or invalid.";
            break;
        case 28:
            reason = "The DDE transaction could not\nbe completed because the request timed out.";
            break;
        case 29:
            reason = "The DDE transaction failed.";
            break;
        case 30:
            reason =
                "The DDE transaction could not\nbe completed because other DDE transactions\n"
                "were being processed.";
            break;
        case 31:
            reason = "There is no application associated\nwith the given filename extension.";
            break;
        case 32:
            reason = "The specified dynamic-link library was not found.";
            break;
        default:
            reason = QStringLiteral("Unknown Error (%1) occurred.").arg(code);
            break;
    }
    return "Unable to open hyperlink:\n\n" + reason;
}

QColor CLinkStatic::TextColor() const {
    return palette().color(QPalette::WindowText);
}

void CLinkStatic::ApplyColor() {
    const QPalette::ColorRole role =
        m_over ? QPalette::Highlight : (m_visited ? QPalette::LinkVisited : QPalette::Link);
    const QColor wanted = palette().color(role);
    // Only a real change sets the palette: setting it sends a PaletteChange, which comes back
    // here.
    if (palette().color(QPalette::WindowText) != wanted) {
        QPalette changed = palette();
        changed.setColor(QPalette::WindowText, wanted);
        setPalette(changed);
    }
}

void CLinkStatic::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void CLinkStatic::mouseReleaseEvent(QMouseEvent* event) {
    // Released over the text after a press on it: a click, as a button counts one.
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click) {
        OpenLink();
    }
}

void CLinkStatic::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
        event->key() == Qt::Key_Space) {
        OpenLink();
        return;
    }
    QLabel::keyPressEvent(event);
}

void CLinkStatic::enterEvent(QEnterEvent* event) {
    m_over = true;
    ApplyColor();
    QLabel::enterEvent(event);
}

void CLinkStatic::leaveEvent(QEvent* event) {
    m_over = false;
    ApplyColor();
    QLabel::leaveEvent(event);
}

void CLinkStatic::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        ApplyColor();  // a new theme brings new link colours
    }
}

}  // namespace tolvane
