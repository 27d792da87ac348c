#include "views/CLeftView.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QResizeEvent>
#include <QTreeWidget>

#include "views/DragListWidget.h"
#include "views/DragTreeWidget.h"

// Outside any namespace, as the resource initialiser is declared at global scope.
static void LoadBannerResources() {
    Q_INIT_RESOURCE(banners);
}

namespace tolvane {
namespace {

constexpr char kHintText[] =
    "Select file or folder in the left window and drag it into the right window. Press the "
    "\"Erase\" in menu. To clean free disk space drag the root disk item into the right "
    "window.";

// Each banner goes with the page of the product it shows.
constexpr const char* kBannerPages[CLeftView::kBannerCount] = {
    "https://miravelt.example/products/kestrel-backup",
    "https://miravelt.example/products/lumen-notes",
    "https://miravelt.example/products/quill-vault",
    "https://miravelt.example/products/harbor-sync",
};

}  // namespace

CLeftView::CLeftView(QWidget* parent)
    : QWidget(parent),
      m_list(new DragListWidget(this)),
      m_tree(new DragTreeWidget(this)),
      m_banner(new QPushButton(this)),
      m_hint(new QLabel(this)) {
    LoadBannerResources();
    setMinimumSize(50, 50);
    m_list->setObjectName("leftList");
    m_tree->setObjectName("leftTree");
    // The pane's own edge is the splitter's; the controls' frames would double it.
    m_list->setFrameShape(QFrame::NoFrame);
    m_tree->setFrameShape(QFrame::NoFrame);
    m_banner->setObjectName("banner");
    m_banner->setFlat(true);
    m_banner->setCursor(Qt::PointingHandCursor);
    m_banner->setIconSize(QSize(kBannerWidth, kBannerHeight));
    for (int i = 0; i < kBannerCount; ++i) {
        m_bannerImages[i] = QPixmap(QStringLiteral(":/banners/banner%1.png").arg(i + 1));
    }
    m_hint->setObjectName("hint");
    m_hint->setWordWrap(true);
    m_hint->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_hint->setFont(m_list->font());
    m_hint->setText(kHintText);
    m_list->setAccessibleName(QStringLiteral("Folder contents"));
    m_list->setAccessibleDescription(
        QStringLiteral("Files and folders of the current folder; Insert puts the selection "
                       "into the erase list"));
    m_tree->setAccessibleName(QStringLiteral("Folders"));
    m_tree->setAccessibleDescription(
        QStringLiteral("Volumes and folders; Insert puts the current one into the erase list"));
    m_banner->setAccessibleName(QStringLiteral("Advertisement"));
    m_banner->setAccessibleDescription(QStringLiteral("Opens the advertised product's web page"));
    m_hint->setAccessibleName(QStringLiteral("Usage hint"));
    m_list->hide();
    m_tree->hide();
    m_banner->hide();
    m_hint->hide();
    connect(m_banner, &QPushButton::clicked, this, [this] {
        if (m_openUrl) {
            m_openUrl(BannerAddress(m_bannerIndex));  // a failure is not reported
        }
    });
    connect(&m_rotation, &QTimer::timeout, this, &CLeftView::RotateBanner);
    m_rotation.start(kRotationMs);
    ConnectNotifications();
}

void CLeftView::ConnectNotifications() {
    connect(static_cast<DragListWidget*>(m_list), &DragListWidget::BeginDrag, this, [this] {
        m_list->setFocus();
        emit BeginDrag();
    });
    connect(static_cast<DragTreeWidget*>(m_tree), &DragTreeWidget::BeginDrag, this, [this] {
        m_tree->setFocus();
        emit BeginDrag();
    });
    connect(m_list, &QListWidget::itemDoubleClicked, this, &CLeftView::DoubleClicked);
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, &CLeftView::DoubleClicked);
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        m_tree->setFocus();
        emit TreeSelectionChanged(item);
    });
    connect(m_tree, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        m_tree->setFocus();
        emit TreeItemExpanding(item);
    });
}

void CLeftView::Setup(bool treeMode, bool bannerShown, bool hintShown) {
    m_tree->setVisible(treeMode);
    m_list->setVisible(!treeMode);
    m_banner->setVisible(bannerShown && !hintShown);
    m_hint->setVisible(bannerShown && hintShown);
    m_bannerShown = bannerShown;
    m_hintShown = hintShown;
    LayOut();
}

QUrl CLeftView::BannerAddress(int index) {
    return QUrl(QString::fromLatin1(kBannerPages[index % kBannerCount]));
}

void CLeftView::RotateBanner() {
    m_bannerIndex = (m_bannerIndex + 1) % kBannerCount;
    LayOut();
}

void CLeftView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

void CLeftView::LayOut() {
    // The splitter keeps this pane at least as wide as its minimum (or collapsed to 0), so
    // the banner always fits when there is room for a pane at all.
    const int w = width();
    const int strip = m_bannerShown ? kStripHeight : 0;
    const int h = std::max(0, height() - strip);
    m_list->setGeometry(0, 0, w, h);
    m_tree->setGeometry(0, 0, w, h);
    // Centred across the pane, with the 84-pixel image 9 pixels below the controls.
    m_banner->setGeometry((w - kBannerWidth) / 2, h + 9, kBannerWidth, std::max(0, strip - 16));
    m_banner->setIcon(QIcon(m_bannerImages[m_bannerIndex]));
    m_hint->setGeometry(5, h + 20, std::max(0, w - 10), std::max(0, strip - 20));
    m_hint->update();
}

}  // namespace tolvane
