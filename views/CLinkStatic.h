#pragma once

#include <QColor>
#include <QLabel>
#include <QString>

#include "platform/DesktopOpener.h"

namespace tolvane {

// A text that behaves like a web link: underlined, drawn in the palette's link colour, in its
// visited colour once opened, in the highlight colour while the mouse is over it; a pointing
// hand over it and a tooltip with its target. A left click (or Enter or Space when it has the
// focus) opens the target through the opener it was given. Taking the colours from the
// palette's roles keeps the link readable in dark themes.
//
// The control is as large as its text (fixed size policy), so a click beside the text does not
// open it; place it with a left alignment. GUI thread only.
class CLinkStatic : public QLabel {
    Q_OBJECT

public:
    // `text` is shown; it is also the target until SetUrl gives another one.
    CLinkStatic(const QString& text, OpenUrlFunction open, QWidget* parent = nullptr);

    void SetUrl(const QString& target);
    const QString& Url() const { return m_target; }

    // Opens the target. On success the link turns to the visited colour for as long as the
    // control lives; on failure it beeps and shows ReportLinkError's box. Returns success.
    bool OpenLink();
    // Shows "Unable to open hyperlink:" with the text for `code` in a message box.
    void ReportLinkError(int code);
    // The box's text for `code`: the shell's error numbers as the original control knew them.
    static QString LinkErrorText(int code);

    bool Visited() const { return m_visited; }
    bool Over() const { return m_over; }
    // The colour the text is drawn in now.
    QColor TextColor() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ApplyColor();
    // The error number for a target that could not be opened.
    int FailureCode() const;

    OpenUrlFunction m_open;
    QString m_target;
    bool m_over = false;
    bool m_visited = false;
    bool m_pressed = false;
};

}  // namespace tolvane
