#include "app/MainBars.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QWidget>

namespace tolvane {

MainBars::MainBars(QWidget* parent)
    : m_top(new QWidget(parent)),
      m_bottom(new QWidget(parent)),
      m_location(new QComboBox(m_top)),
      m_path(new QLineEdit(m_top)),
      m_progress(new QProgressBar(m_bottom)),
      m_progressText(new QLabel(m_bottom)) {
    m_top->setObjectName("topBar");
    m_top->setFixedHeight(kTopHeight);
    m_bottom->setObjectName("bottomBar");
    m_location->setObjectName("locationBox");
    m_path->setObjectName("pathEdit");
    m_path->setReadOnly(true);
    m_path->setTextMargins(4, 0, 4, 0);
    m_progress->setObjectName("progress");
    m_progress->setRange(0, 1000);
    m_progress->setValue(0);
    m_progress->setTextVisible(true);
    m_progress->setFormat(QStringLiteral("%p%"));
    m_progress->setFixedWidth(kProgressWidth);
    m_progressText->setObjectName("progressText");
    // Never wider than the room beside the bar: a long path must not widen the window.
    m_progressText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_progressText->setTextFormat(Qt::PlainText);
    m_location->setAccessibleName(QStringLiteral("Location"));
    m_location->setAccessibleDescription(QStringLiteral("Volumes, special and recent folders"));
    m_path->setAccessibleName(QStringLiteral("Folder path"));
    m_path->setAccessibleDescription(
        QStringLiteral("The folder shown; Ctrl+L to type a path, Enter to go there"));
    m_progress->setAccessibleName(QStringLiteral("Erase progress"));
    m_progress->setAccessibleDescription(QStringLiteral("How much of the erase run is done"));
    m_progressText->setAccessibleName(QStringLiteral("Erase status"));
    m_progressText->setAccessibleDescription(
        QStringLiteral("The item being erased, what is done of the total and the time left"));
    auto* row = new QHBoxLayout(m_bottom);
    row->setContentsMargins(2, 2, 2, 2);
    row->addWidget(m_progress);
    row->addWidget(m_progressText, 1);
}

void MainBars::ShowProgressText(const QString& text) {
    const int room = std::max(0, m_progressText->width());
    m_progressText->setText(m_progressText->fontMetrics().elidedText(text, Qt::ElideMiddle, room));
    m_progressText->setToolTip(text);
}

void MainBars::Layout(int width, bool showLocation, const QFont& paneFont) {
    m_location->setVisible(showLocation);
    m_location->setFont(paneFont);
    m_path->setFont(paneFont);
    const int boxHeight = std::min(kTopHeight - 4, m_location->sizeHint().height());
    m_location->setGeometry(2, (kTopHeight - boxHeight) / 2, kLocationWidth, boxHeight);
    const int left = showLocation ? m_location->geometry().right() + 2 : 0;
    const int editHeight = std::min(kTopHeight - 4, m_path->sizeHint().height());
    m_path->setGeometry(left, (kTopHeight - editHeight) / 2, std::max(1, width - left), editHeight);
}

}  // namespace tolvane
