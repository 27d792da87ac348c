#include "app/CDownloadWarningDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/AppNames.h"
#include "views/VendorLinks.h"

namespace tolvane {

CDownloadWarningDlg::CDownloadWarningDlg(OpenUrlFunction open, QWidget* parent)
    : QDialog(parent), m_open(std::move(open)) {
    setWindowTitle(QStringLiteral("Warning"));
    auto* text = new QLabel("Can't plug " + QString::fromUtf8(AppDisplayName) +
                                " into Context Menu.\nPlease download \"kvc\" and try again.",
                            this);
    text->setAlignment(Qt::AlignCenter);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* download =
        buttons->addButton(QStringLiteral("Download now"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    download->setDefault(true);
    buttons->setCenterButtons(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CDownloadWarningDlg::accept() {
    if (m_open) {
        // A browser that cannot be started leaves nothing to do here: the page is only a
        // pointer to the helper.
        m_open(QUrl(QString::fromUtf8(kKvcDownloadPage)));
    }
    QDialog::accept();
}

}  // namespace tolvane
