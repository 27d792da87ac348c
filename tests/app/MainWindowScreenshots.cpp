// Renders the main window at 1000 x 700 in each left-pane kind and in one-pane mode to PNG
// files, for a look by eye. Not a test: build and run it with
//     cmake --build <build folder> --target main_window_screenshots
// which writes <build folder>/screenshots/main-*.png on the offscreen platform. The window
// reads and writes its settings in a temporary folder, never the user's.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>

#include "app/CMainFrame.h"
#include "app/SettingsStore.h"

namespace {

struct Shot {
    const char* file;
    int leftType;
    int rightType;
    bool hint;
};

bool Render(const Shot& shot, const QString& folder) {
    tolvane::SetSettingDword("LeftType", shot.leftType);
    tolvane::SetSettingDword("RightType", shot.rightType);
    tolvane::MainFrameHooks hooks;
    hooks.openUrl = [](const QUrl&) { return false; };
    hooks.shell.run = [](const QString&, const QStringList&, QString*) { return -1; };
    tolvane::CMainFrame frame(hooks);
    frame.resize(1000, 700);
    frame.show();
    if (!shot.hint) {
        frame.OnLeftPaneBeginDrag();
    }
    QApplication::processEvents();
    const QString path = folder + "/" + shot.file;
    const bool saved = frame.grab().save(path);
    std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "could not write",
                 qPrintable(path));
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    // Before Qt reads them: the window's settings go to the temporary folder.
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + "/.local/share").toLocal8Bit());  // launcher, entries
    QApplication app(argc, argv);
    const QString folder =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(folder));
        return 1;
    }
    const Shot shots[] = {{"main-tree.png", 0, 1, true},
                          {"main-bigicons.png", 1, 1, false},
                          {"main-list.png", 2, 1, false},
                          {"main-onepane.png", 2, 0, false}};
    bool ok = true;
    for (const Shot& shot : shots) {
        ok = Render(shot, folder) && ok;
    }
    return ok ? 0 : 1;
}
