// Renders the confirmation box and the progress dialog to PNG files for a look by eye.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QProgressBar>

#include "app/CEraseProgressDlg.h"
#include "app/MessageBoxes.h"
#include "engine/EraseJob.h"

#ifndef TOLVANE_SCREENSHOT_DIR
#define TOLVANE_SCREENSHOT_DIR "screenshots"
#endif

namespace tolvane {
namespace {

bool SaveGrab(QWidget& widget, const QString& name) {
    widget.show();
    QApplication::processEvents();
    QDir().mkpath(TOLVANE_SCREENSHOT_DIR);
    return widget.grab().save(QString(TOLVANE_SCREENSHOT_DIR) + "/" + name);
}

TEST(Screenshots, ConfirmationBoxAndProgressDialog) {
    std::vector<std::string> paths = {"/home/me/Documents/tax return 2023.ods",
                                      "/home/me/Pictures/holiday/", "/home/me/Downloads/*.iso",
                                      "/home/me/caf\xc3\xa9 \xff.txt"};
    auto confirm = MakeConfirmBox(BuildConfirmText(paths), nullptr);
    EXPECT_TRUE(SaveGrab(*confirm, "confirm.png"));

    CEraseProgressDlg dialog(paths);
    dialog.ProgressBar()->setValue(420);
    EXPECT_TRUE(SaveGrab(dialog, "progress.png"));
    dialog.hide();
}

}  // namespace
}  // namespace tolvane
