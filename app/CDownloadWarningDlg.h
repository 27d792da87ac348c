#pragma once

#include <QDialog>

#include "platform/DesktopOpener.h"

namespace tolvane {

// "Warning": the helper kvc that writes the context-menu entries is missing. "Download now"
// (the default button) opens the download page through `open` and closes; "Cancel" closes.
// Neither changes a setting. GUI thread only; run it with exec().
class CDownloadWarningDlg : public QDialog {
    Q_OBJECT

public:
    explicit CDownloadWarningDlg(OpenUrlFunction open, QWidget* parent = nullptr);

    void accept() override;

private:
    OpenUrlFunction m_open;
};

}  // namespace tolvane
