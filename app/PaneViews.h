#pragma once

#include <QPointer>
#include <QSplitter>
#include <QTreeWidget>

#include "app/LeftPaneKind.h"
#include "views/CLeftView.h"

class QListWidget;
class QVBoxLayout;

namespace tolvane {

// The views between the bars: either a splitter with the left view (CLeftView) and the
// erase list, or one browsing view (a list, or a tree for the Tree kind). The left column is
// at least kMinLeftWidth wide unless the user collapses it to nothing; it keeps its width
// when the window is resized.
//
// Threads: the window's thread. The views are children of the host widget.
class PaneViews {
public:
    static constexpr int kMinLeftWidth = 227;
    static constexpr int kMinEraseListWidth = 160;

    explicit PaneViews(QWidget* host);

    // Builds the views for the kind; leftWidth applies in two-pane mode.
    void Create(bool twoPanes, LeftPaneKind kind, int leftWidth);
    // Destroys the views; returns the left column's width in two-pane mode, -1 otherwise.
    int Remove();

    bool TwoPanes() const { return m_splitter != nullptr; }
    QSplitter* Splitter() const { return m_splitter; }
    CLeftView* LeftView() const { return m_leftView; }
    QTreeWidget* EraseList() const { return m_eraseList; }
    QWidget* SingleView() const { return m_single; }
    // The left pane's browsing controls in either mode (null when absent).
    QListWidget* LeftList() const;
    QTreeWidget* LeftTree() const;
    // Whether `widget` is the left pane's list or tree (the one shown).
    bool IsLeftControl(const QWidget* widget) const;
    // The splitter's left column now; -1 in one-pane mode.
    int LeftWidth() const;
    QFont PaneFont() const;

private:
    QWidget* m_host;
    QVBoxLayout* m_layout;
    QPointer<QSplitter> m_splitter;
    QPointer<CLeftView> m_leftView;
    QPointer<QTreeWidget> m_eraseList;
    QPointer<QWidget> m_single;
};

}  // namespace tolvane
