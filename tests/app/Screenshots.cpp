// Renders the confirmation box (plain, and with notes on where overwriting in place cannot be
// relied on), the progress dialog and the closing notes of a command-line run, the About box,
// and the main window at 1000 x 700 in each left-pane kind and in one-pane mode, to PNG files
// for a look by eye. Not a test: build and run it with
//     cmake --build <build folder> --target screenshots
// which writes <build folder>/screenshots/*.png on the offscreen platform; or run the
// program by hand with the output folder as its argument. The main window reads and writes
// its settings in a temporary folder, never the user's, and starts no helper program.
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QProgressBar>
#include <QTemporaryDir>
#include <cstdio>

#include "app/CEraseProgressDlg.h"
#include "app/CMainFrame.h"
#include "app/MessageBoxes.h"
#include "app/RunReport.h"
#include "app/SettingsStore.h"
#include "engine/EraseJob.h"
#include "engine/MediumCheck.h"
#include "views/CAboutBox.h"

namespace {

bool SaveGrab(QWidget& widget, const QString& folder, const QString& name) {
    widget.show();
    QApplication::processEvents();
    const QString path = folder + "/" + name;
    const bool saved = widget.grab().save(path);
    std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "could not write",
                 qPrintable(path));
    return saved;
}

// The notes of a btrfs volume on a solid-state disk and of a tmpfs, as the medium check words
// them.
std::string ExampleMediumNotes() {
    tolvane::VolumeFacts usb;
    usb.mount.entry.mountPoint = "/media/me/USB";
    usb.mount.entry.fsType = "btrfs";
    usb.medium.kind = tolvane::BlockMedium::Kind::NonRotating;
    usb.copiedOnWrite = true;
    tolvane::VolumeFacts ram;
    ram.mount.entry.mountPoint = "/run/user/1000";
    ram.mount.entry.fsType = "tmpfs";
    return tolvane::JoinLines(
        tolvane::MediumNoteLines({tolvane::DescribeVolume(usb), tolvane::DescribeVolume(ram)}));
}

// The main window of a new user with a left pane kind and the right window on or off.
bool SaveMainWindow(int leftType, int rightType, bool hint, const QString& folder,
                    const QString& name) {
    tolvane::SetSettingDword("LeftType", leftType);
    tolvane::SetSettingDword("RightType", rightType);
    tolvane::MainFrameHooks hooks;
    hooks.openUrl = [](const QUrl&) { return false; };
    hooks.shell.run = [](const QString&, const QStringList&, QString*) { return -1; };
    tolvane::CMainFrame frame(hooks);
    frame.resize(1000, 700);
    if (!hint) {
        frame.OnLeftPaneBeginDrag();
    }
    return SaveGrab(frame, folder, name);
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    // Before Qt reads them: the window's settings, launcher and entries go to the temporary
    // folder.
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + "/.local/share").toLocal8Bit());
    QApplication app(argc, argv);
    const QString folder =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(folder));
        return 1;
    }
    // Shown only, never run: nothing here reads settings or touches a file.
    const std::vector<std::string> paths = {
        "/home/me/Documents/tax return 2023.ods", "/home/me/Pictures/holiday/",
        "/home/me/Downloads/*.iso", "/home/me/caf\xc3\xa9 \xff.txt"};
    auto confirm = tolvane::MakeConfirmBox(tolvane::BuildConfirmText(paths), "", nullptr);
    bool ok = SaveGrab(*confirm, folder, "confirm.png");
    const std::vector<std::string> notedPaths = {
        "/media/me/USB/letters/", "/media/me/USB/photos/*.jpg", "/run/user/1000/session.key"};
    const std::string notes = ExampleMediumNotes();
    auto noted = tolvane::MakeConfirmBox(tolvane::BuildConfirmText(notedPaths), notes, nullptr);
    ok = SaveGrab(*noted, folder, "confirm-notes.png") && ok;
    auto closing = tolvane::MakeNotesBox(
        notes +
            "\n\n12.5 MB of free space on /media/me/USB could not be overwritten: reserved "
            "by the file system",
        nullptr);
    ok = SaveGrab(*closing, folder, "closing-notes.png") && ok;

    tolvane::CEraseProgressDlg dialog(paths);
    dialog.ProgressBar()->setValue(420);
    ok = SaveGrab(dialog, folder, "progress.png") && ok;
    dialog.hide();

    tolvane::CAboutBox about([](const QUrl&) { return false; });
    ok = SaveGrab(about, folder, "about.png") && ok;
    about.hide();

    ok = SaveMainWindow(0, 1, true, folder, "main-tree.png") && ok;
    ok = SaveMainWindow(1, 1, false, folder, "main-bigicons.png") && ok;
    ok = SaveMainWindow(2, 1, false, folder, "main-list.png") && ok;
    ok = SaveMainWindow(2, 0, false, folder, "main-onepane.png") && ok;
    return ok ? 0 : 1;
}
