#pragma once

#include <QTimer>
#include <QWidget>
#include <array>

#include "platform/DesktopOpener.h"

class QLabel;
class QListWidget;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace tolvane {

// The left pane of the main window's splitter: a folder list and a folder tree, one shown at
// a time, above an optional strip 100 pixels high that shows either the usage hint or a
// banner button rotating every 12 seconds through four products of the vendor; a click opens
// the product's page. The frame decides what is shown (Setup) and receives the controls'
// notifications through the signals; each signal except DoubleClicked first gives the
// control concerned the keyboard focus.
//
// Threads: the window's thread only.
class CLeftView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kStripHeight = 100;
    static constexpr int kBannerWidth = 184;
    static constexpr int kBannerHeight = 84;
    static constexpr int kBannerCount = 4;
    static constexpr int kRotationMs = 12000;

    explicit CLeftView(QWidget* parent = nullptr);

    // treeMode: the tree is shown, else the list. The strip is shown when bannerShown; it
    // holds the hint while hintShown, the banner button otherwise.
    void Setup(bool treeMode, bool bannerShown, bool hintShown);
    void SetOpenUrl(OpenUrlFunction openUrl) { m_openUrl = std::move(openUrl); }

    QListWidget* List() const { return m_list; }
    QTreeWidget* Tree() const { return m_tree; }
    QPushButton* BannerButton() const { return m_banner; }
    QLabel* Hint() const { return m_hint; }
    const QTimer& RotationTimer() const { return m_rotation; }
    int BannerIndex() const { return m_bannerIndex; }
    // The page of banner `index`, under the vendor's web address.
    static QUrl BannerAddress(int index);
    // The rotation timer's tick: the next banner, wrapping after the last.
    void RotateBanner();

signals:
    // A drag begins in the list or the tree (the tree's DragTreeWidget::PressedItem says of
    // which item).
    void BeginDrag();
    void DoubleClicked();
    void TreeSelectionChanged(QTreeWidgetItem* item);
    void TreeItemExpanding(QTreeWidgetItem* item);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void LayOut();
    void ConnectNotifications();

    QListWidget* m_list;
    QTreeWidget* m_tree;
    QPushButton* m_banner;
    QLabel* m_hint;
    std::array<QPixmap, kBannerCount> m_bannerImages;
    QTimer m_rotation;
    OpenUrlFunction m_openUrl = OpenWithDesktop;
    int m_bannerIndex = 0;
    bool m_bannerShown = false;
    bool m_hintShown = false;
};

}  // namespace tolvane
