#include "app/PaneViews.h"

#include <QListWidget>
#include <QVBoxLayout>

#include "views/DragListWidget.h"
#include "views/DragTreeWidget.h"

namespace tolvane {

PaneViews::PaneViews(QWidget* host) : m_host(host), m_layout(new QVBoxLayout(host)) {
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
}

void PaneViews::Create(bool twoPanes, LeftPaneKind kind, int leftWidth) {
    if (!twoPanes) {
        QWidget* view = kind == LeftPaneKind::Tree ? static_cast<QWidget*>(new DragTreeWidget)
                                                   : static_cast<QWidget*>(new DragListWidget);
        view->setObjectName("singleView");
        view->setAccessibleName(kind == LeftPaneKind::Tree ? QStringLiteral("Folders")
                                                           : QStringLiteral("Folder contents"));
        view->setAccessibleDescription(
            QStringLiteral("Select what to erase; Erase erases the selection"));
        m_single = view;
        m_layout->addWidget(view);
        view->show();  // a layout would show it only at the next turn of the event loop
        return;
    }
    m_splitter = new QSplitter(Qt::Horizontal);
    m_splitter->setObjectName("splitter");
    m_splitter->setChildrenCollapsible(true);
    m_leftView = new CLeftView;
    // A minimum width on a collapsible pane gives the snap: a drag below it stops at it,
    // and only a drag far past it collapses the pane to nothing.
    m_leftView->setMinimumWidth(kMinLeftWidth);
    m_eraseList = new DragTreeWidget;
    m_eraseList->setObjectName("eraseList");
    m_eraseList->setMinimumWidth(kMinEraseListWidth);  // a name and its size stay readable
    m_eraseList->setAccessibleName(QStringLiteral("Erase list"));
    m_eraseList->setAccessibleDescription(
        QStringLiteral("What the next run erases; Delete removes the selected rows, Ctrl+E "
                       "erases the list"));
    m_splitter->addWidget(m_leftView);
    m_splitter->addWidget(m_eraseList);
    m_splitter->setStretchFactor(0, 0);  // the left column keeps its width on resizes
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({std::max(0, leftWidth), 100});
    m_layout->addWidget(m_splitter);
    m_splitter->show();
}

int PaneViews::Remove() {
    int width = LeftWidth();
    // Deleted now, not later: the new views take the same place at once.
    delete m_splitter;
    delete m_single;
    return width;
}

QListWidget* PaneViews::LeftList() const {
    if (m_leftView) {
        return m_leftView->List();
    }
    return qobject_cast<QListWidget*>(m_single);
}

QTreeWidget* PaneViews::LeftTree() const {
    if (m_leftView) {
        return m_leftView->Tree();
    }
    return qobject_cast<QTreeWidget*>(m_single);
}

bool PaneViews::IsLeftControl(const QWidget* widget) const {
    if (widget == nullptr) {
        return false;
    }
    if (m_single) {
        return widget == m_single;
    }
    return widget == LeftList() || widget == LeftTree();
}

int PaneViews::LeftWidth() const {
    return m_splitter ? m_splitter->sizes().value(0, -1) : -1;
}

QFont PaneViews::PaneFont() const {
    if (m_leftView) {
        return m_leftView->font();
    }
    return m_single ? m_single->font() : m_host->font();
}

}  // namespace tolvane
