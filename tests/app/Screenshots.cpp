// Renders the confirmation box (plain, and with notes on where overwriting in place cannot be
// relied on), the progress dialog and the closing notes of a command-line run, and the About
// box, to PNG files for a look by eye. Not a test: build and run it with
//     cmake --build <build folder> --target screenshots
// which writes <build folder>/screenshots/*.png on the offscreen platform; or run the
// program by hand with the output folder as its argument.
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QProgressBar>
#include <cstdio>

#include "app/CEraseProgressDlg.h"
#include "app/MessageBoxes.h"
#include "app/RunReport.h"
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

}  // namespace

int main(int argc, char** argv) {
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
    return ok ? 0 : 1;
}
