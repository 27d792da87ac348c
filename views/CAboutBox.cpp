#include "views/CAboutBox.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "platform/AppNames.h"
#include "views/CLinkStatic.h"
#include "views/VendorLinks.h"

#ifndef TOLVANE_VERSION
#define TOLVANE_VERSION "unknown"
#endif

namespace tolvane {
namespace {

QLabel* Line(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

CAboutBox::CAboutBox(OpenUrlFunction open, QWidget* parent) : QDialog(parent) {
    const QString name = QString::fromUtf8(AppDisplayName);
    setWindowTitle("About " + name);

    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap(QStringLiteral(":/icons/tolvane-48.png")));
    icon->setAlignment(Qt::AlignTop);

    auto* product = Line(name + " for Linux", this);
    QFont bold = product->font();
    bold.setBold(true);
    product->setFont(bold);

    auto* text = new QVBoxLayout;
    text->addWidget(product);
    text->addWidget(
        Line("Overwrites files, folders and free space before they are deleted,", this));
    text->addWidget(Line("so that what they held cannot be read back. See the manual (F1).", this));
    text->addSpacing(8);
    text->addWidget(Line("Version information: " + name + " " + TOLVANE_VERSION, this));

    m_homePage = new CLinkStatic(QString::fromUtf8(kVendorHomePage), open, this);
    m_mail = new CLinkStatic(QString::fromUtf8(kVendorMailAddress), open, this);
    // No space after the colon: "mailto: name@host" is no address.
    m_mail->SetUrl("mailto:" + QString::fromUtf8(kVendorMailAddress));

    auto* links = new QGridLayout;
    links->addWidget(Line("Vendor information:", this), 0, 0);
    links->addWidget(m_homePage, 0, 1, Qt::AlignLeft);
    links->addWidget(Line("E-mail:", this), 1, 0);
    links->addWidget(m_mail, 1, 1, Qt::AlignLeft);
    links->setColumnStretch(1, 1);
    text->addSpacing(8);
    text->addLayout(links);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace tolvane
