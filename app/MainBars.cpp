#include "app/MainBars.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QWidget>

namespace tolvane {

MainBars::MainBars(QWidget* parent)
    : m_top(new QWidget(parent)),
      m_bottom(new QWidget(parent)),
      m_location(new QComboBox(m_top)),
      m_path(new QLineEdit(m_top)),
      m_progress(new QProgressBar(m_bottom)) {
    m_top->setObjectName("topBar");
    m_top->setFixedHeight(kTopHeight);
    m_bottom->setObjectName("bottomBar");
    m_bottom->setFixedHeight(kBottomHeight);
    m_location->setObjectName("locationBox");
    m_path->setObjectName("pathEdit");
    m_path->setReadOnly(true);
    m_path->setTextMargins(4, 0, 4, 0);
    m_progress->setObjectName("progress");
    m_progress->setRange(0, 1000);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
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
    m_progress->setGeometry(0, 1, std::max(1, width), kBottomHeight - 2);
}

}  // namespace tolvane
