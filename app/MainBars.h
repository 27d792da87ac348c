#pragma once

class QComboBox;
class QFont;
class QLineEdit;
class QProgressBar;
class QWidget;

namespace tolvane {

// The thin bars above and below the panes: on top the location box (shown for the list
// kinds) and the read-only path edit, which takes the rest of the width; below, the
// progress bar of erase runs (range 0..1000). The bars are children of `parent`; the window
// places them in its layout and calls Layout when its width or the left pane's kind changes.
//
// Threads: the window's thread.
class MainBars {
public:
    static constexpr int kTopHeight = 28;
    static constexpr int kBottomHeight = 10;
    static constexpr int kLocationWidth = 170;

    explicit MainBars(QWidget* parent);

    QWidget* TopBar() const { return m_top; }
    QWidget* BottomBar() const { return m_bottom; }
    QComboBox* LocationBox() const { return m_location; }
    QLineEdit* PathEdit() const { return m_path; }
    QProgressBar* Progress() const { return m_progress; }

    // Shows or hides the location box, gives the controls the panes' font and lays the bars
    // out for a window `width` pixels wide.
    void Layout(int width, bool showLocation, const QFont& paneFont);

private:
    QWidget* m_top;
    QWidget* m_bottom;
    QComboBox* m_location;
    QLineEdit* m_path;
    QProgressBar* m_progress;
};

}  // namespace tolvane
