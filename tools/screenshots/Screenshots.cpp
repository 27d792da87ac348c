// Renders the confirmation box (plain, and with notes on where overwriting in place cannot be
// relied on), the progress dialog and the closing notes of a command-line run, the About box,
// the main window at 1000 x 700 in each left-pane kind and in one-pane mode, and the main
// window with rows and their sizes in the erase list and in the middle of erasing them, to PNG
// files for a look by eye. Not a test: build and run it with
//     cmake --build <build folder> --target screenshots
// which writes <build folder>/screenshots/*.png on the offscreen platform; or run the
// program by hand with the output folder as its argument. The main window reads and writes
// its settings in a temporary folder, never the user's, and starts no helper program; the run
// erases files it made in that folder.
#include <fcntl.h>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <thread>

#include "app/CEraseProgressDlg.h"
#include "app/CMainFrame.h"
#include "app/EraseRunControl.h"
#include "app/MainCommands.h"
#include "app/MessageBoxes.h"
#include "app/PaneViews.h"
#include "app/SettingsStore.h"
#include "engine/EraseEngine.h"
#include "engine/EraseJob.h"
#include "engine/MediumCheck.h"
#include "engine/RunSession.h"
#include "engine/RunTexts.h"
#include "panes/PaneController.h"
#include "platform/FindData.h"
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
std::vector<std::string> ExampleMediumNotes() {
    tolvane::VolumeFacts usb;
    usb.mount.entry.mountPoint = "/media/me/USB";
    usb.mount.entry.fsType = "btrfs";
    usb.medium.kind = tolvane::BlockMedium::Kind::NonRotating;
    usb.copiedOnWrite = true;
    tolvane::VolumeFacts ram;
    ram.mount.entry.mountPoint = "/run/user/1000";
    ram.mount.entry.fsType = "tmpfs";
    return tolvane::MediumNoteLines({tolvane::DescribeVolume(usb), tolvane::DescribeVolume(ram)});
}

// The confirmation's lines for these paths.
std::vector<std::string> ConfirmLines(const std::vector<std::string>& paths) {
    std::vector<std::string> lines{tolvane::kConfirmHeading};
    for (const std::string& path : paths) {
        lines.push_back(tolvane::ConfirmLine(path));
    }
    return lines;
}

// Runs the event loop until `done` holds, for at most a minute.
bool WaitFor(const std::function<bool()>& done) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// The main window of a new user with a left pane kind and the right window on or off.
bool SaveMainWindow(int leftType, int rightType, bool hint, const QString& folder,
                    const QString& name, const std::string& shown = {}) {
    tolvane::SetSettingDword("LeftType", leftType);
    tolvane::SetSettingDword("RightType", rightType);
    tolvane::MainFrameHooks hooks;
    hooks.openUrl = [](const QUrl&) { return false; };
    hooks.openFile = [](const QString&, const QString&) { return false; };
    hooks.shell.run = [](const QString&, const QStringList&, QString*) { return -1; };
    tolvane::CMainFrame frame(hooks);
    frame.resize(1000, 700);
    if (!hint) {
        frame.OnLeftPaneBeginDrag();
    }
    frame.show();
    tolvane::PaneController& controller = *frame.Controller();
    bool ready = true;
    if (QListWidget* list = frame.Views().LeftList(); list && leftType != 0 && !shown.empty()) {
        // The folder with a few kinds of files, once its listing has arrived.
        controller.NavigateTo(0, shown);
        ready = WaitFor([&] {
            return controller.SideFolder(0) == shown && list->count() > 1 &&
                   !list->selectedItems().isEmpty();
        });
    } else if (QTreeWidget* tree = frame.Views().LeftTree(); tree && leftType == 0) {
        // The roots once the special and trash folders have been found, with the folder shown
        // opened under its volume.
        ready = WaitFor([&] { return tree->findItems("Trash", Qt::MatchStartsWith).size() > 0; });
        if (!shown.empty()) {
            controller.SelectPathInTree(tree, shown);
            ready = WaitFor([&] { return controller.ItemPath(tree, nullptr) == shown; }) && ready;
        }
    }
    QApplication::processEvents();
    return ready && SaveGrab(frame, folder, name);
}

// A file of `size` bytes; its item for the erase list.
tolvane::FileItem MakeItem(const std::string& path, std::uint64_t size) {
    if (size != 0) {
        std::ofstream(path, std::ios::binary) << std::string(size, 'x');
    }
    tolvane::FileItem item;
    item.folder = path.substr(0, path.rfind('/') + 1);
    item.name = path.substr(path.rfind('/') + 1);
    item.findData.name = item.name;
    struct statx st {};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &st) == 0) {
        tolvane::FillFindData(st, item.findData);
    }
    return item;
}

// The two-pane List window with rows and their sizes, then in the middle of erasing them: the
// worker is held once the first row's file is gone, so the bar and the list show a run under
// way. The boxes are answered as a user would (Yes, then OK).
bool SaveMainWindowRun(const QString& home, const QString& folder) {
    const std::string files = (home + "/files").toStdString();
    QDir().mkpath(QString::fromStdString(files + "/holiday photos"));
    std::vector<tolvane::FileItem> items = {
        MakeItem(files + "/tax return 2023.ods", 24u << 20),
        MakeItem(files + "/holiday photos/beach.jpg", 3u << 20),
        MakeItem(files + "/letter to the bank.odt", 180u << 10),
        MakeItem(files + "/passwords.kdbx", 9000),
    };
    MakeItem(files + "/holiday photos/dinner.jpg", 5u << 20);
    items[1] = MakeItem(files + "/holiday photos", 0);
    const std::string first = items[0].FullPath();

    std::atomic<bool> held{false};
    std::atomic<bool> letGo{false};
    tolvane::SetSettingDword("LeftType", 2);
    tolvane::SetSettingDword("RightType", 1);
    tolvane::SetSettingDword("Passes", 1);
    tolvane::MainFrameHooks hooks;
    hooks.openUrl = [](const QUrl&) { return false; };
    hooks.shell.run = [](const QString&, const QStringList&, QString*) { return -1; };
    hooks.makeEngine = [&](int passes) {
        auto engine = std::make_unique<tolvane::EraseEngine>(passes);
        tolvane::PauseGate::Hooks gate;
        gate.arriving = [&] {
            struct stat st;
            if (::lstat(first.c_str(), &st) != 0 && !held.exchange(true)) {
                while (!letGo.load()) {
                    std::this_thread::yield();
                }
            }
        };
        engine->Gate().SetHooks(std::move(gate));
        return engine;
    };
    tolvane::CMainFrame frame(hooks);
    frame.resize(1000, 700);
    frame.OnLeftPaneBeginDrag();
    frame.show();
    tolvane::PaneController& controller = *frame.Controller();
    controller.AddItems(items);
    QTreeWidget* rows = controller.EraseList();
    const bool sized = WaitFor([&] {
        for (int i = 0; i < rows->topLevelItemCount(); ++i) {
            if (rows->topLevelItem(i)->text(1).isEmpty()) {
                return false;
            }
        }
        return true;
    });
    bool ok = sized && SaveGrab(frame, folder, "main-rows.png");

    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            QAbstractButton* button = box->button(QMessageBox::Yes);
            (button ? button : box->button(QMessageBox::Ok))->click();
        }
    });
    answer.start(20);
    frame.OnCommand(tolvane::kCmdEraseItem);
    ok = WaitFor([&] { return held.load(); }) && ok;
    QApplication::processEvents();
    ok = SaveGrab(frame, folder, "main-erasing.png") && ok;
    letGo = true;
    ok = WaitFor([&] { return !frame.EraseRun().Running(); }) && ok;
    frame.close();
    return WaitFor([&] { return !frame.isVisible(); }) && ok;
}

// A home folder with Documents and Desktop as the desktop names them, a trash folder, and a
// few kinds of files and a link in Documents; returns the Documents folder.
std::string MakeSampleHome(const std::string& home) {
    const std::string documents = home + "/Documents/";
    QDir().mkpath(QString::fromStdString(documents + "Holiday"));
    QDir().mkpath(QString::fromStdString(home + "/Desktop"));
    QDir().mkpath(QString::fromStdString(home + "/.local/share/Trash/files"));
    QDir().mkpath(QString::fromStdString(home + "/.local/share/Trash/info"));
    QDir().mkpath(QString::fromStdString(home + "/.config"));
    QFile dirs(QString::fromStdString(home + "/.config/user-dirs.dirs"));
    if (dirs.open(QIODevice::WriteOnly)) {
        dirs.write("XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n");
    }
    for (const char* name : {"notes.txt", "photo.jpg", "report.pdf", "archive.tar.gz", "budget.ods",
                             "song.mp3", "script.sh"}) {
        QFile file(QString::fromStdString(documents + name));
        if (file.open(QIODevice::WriteOnly)) {
            file.write("sample");
        }
    }
    QFile::link("notes.txt", QString::fromStdString(documents + "latest notes"));
    return documents;
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
    auto confirm = tolvane::MakeConfirmBox(ConfirmLines(paths), {}, nullptr);
    bool ok = SaveGrab(*confirm, folder, "confirm.png");
    const std::vector<std::string> notedPaths = {
        "/media/me/USB/letters/", "/media/me/USB/photos/*.jpg", "/run/user/1000/session.key"};
    const std::vector<std::string> noteLines = ExampleMediumNotes();
    auto noted = tolvane::MakeConfirmBox(ConfirmLines(notedPaths), noteLines, nullptr);
    ok = SaveGrab(*noted, folder, "confirm-notes.png") && ok;
    std::vector<std::string> closingNotes = noteLines;
    closingNotes.insert(closingNotes.end(),
                        {"",
                         "12.5 MB of free space on /media/me/USB could not be overwritten: "
                         "reserved by the file system"});
    auto closing = tolvane::MakeNotesBox(closingNotes, nullptr);
    ok = SaveGrab(*closing, folder, "closing-notes.png") && ok;

    tolvane::CEraseProgressDlg dialog(paths);
    dialog.ProgressBar()->setValue(420);
    ok = SaveGrab(dialog, folder, "progress.png") && ok;
    dialog.hide();

    tolvane::CAboutBox about([](const QUrl&) { return false; });
    ok = SaveGrab(about, folder, "about.png") && ok;
    about.hide();

    const std::string documents = MakeSampleHome(home.path().toStdString());
    ok = SaveMainWindow(0, 1, true, folder, "main-tree.png") && ok;
    ok = SaveMainWindow(1, 1, false, folder, "main-bigicons.png", documents) && ok;
    ok = SaveMainWindow(2, 1, false, folder, "main-list.png", documents) && ok;
    ok = SaveMainWindow(2, 0, false, folder, "main-onepane.png") && ok;
    ok = SaveMainWindowRun(home.path(), folder) && ok;
    return ok ? 0 : 1;
}
