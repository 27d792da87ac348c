#pragma once

#include <QDialog>

#include "platform/DesktopOpener.h"

namespace tolvane {

class CLinkStatic;

// The About box: the program's icon, name and version (the one `tolvane --version` prints),
// two notice lines, and links to the vendor's home page and mail address, opened through
// `open`. Show it with exec(); the frame may give it its pane font with setFont first.
// GUI thread only.
class CAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit CAboutBox(OpenUrlFunction open, QWidget* parent = nullptr);

    CLinkStatic* HomePageLink() const { return m_homePage; }
    CLinkStatic* MailLink() const { return m_mail; }

private:
    CLinkStatic* m_homePage = nullptr;
    CLinkStatic* m_mail = nullptr;
};

}  // namespace tolvane
