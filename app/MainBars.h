#pragma once

#include <QString>

class QComboBox;
class QFont;
class QLabel;
class QLineEdit;
class QProgressBar;
class QWidget;

namespace tolvane {

// The thin bars above and below the panes: on top the location box (shown for the list
// kinds) and the path edit, which takes the rest of the width; below, the progress line of
// erase runs: the bar (range 0..1000, with its percentage, as high as the style draws it)
// and the words beside it. The bars are children of `parent`; the window places them in its
// layout and calls Layout when its width or the left pane's kind changes.
//
// Threads: the window's thread.
class MainBars {
public:
    static constexpr int kTopHeight = 28;
    static constexpr int kProgressWidth = 200;
    static constexpr int kLocationWidth = 170;

    explicit MainBars(QWidget* parent);

    QWidget* TopBar() const { return m_top; }
    QWidget* BottomBar() const { return m_bottom; }
    QComboBox* LocationBox() const { return m_location; }
    QLineEdit* PathEdit() const { return m_path; }
    QProgressBar* Progress() const { return m_progress; }
    QLabel* ProgressText() const { return m_progressText; }
    // Puts `text` beside the bar, shortened in the middle to the room there (the whole text
    // as its tooltip).
    void ShowProgressText(const QString& text);

    // Shows or hides the location box, gives the controls the panes' font and lays the bars
    // out for a window `width` pixels wide.
    void Layout(int width, bool showLocation, const QFont& paneFont);

private:
    QWidget* m_top;
    QWidget* m_bottom;
    QComboBox* m_location;
    QLineEdit* m_path;
    QProgressBar* m_progress;
    QLabel* m_progressText;
};

}  // namespace tolvane
