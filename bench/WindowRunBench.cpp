// Erases N empty files through the main window (one erase-list row each, at 1 pass) and the
// same N files of an identical tree with `tolvane --yes --passes 1` in the same run, and
// prints both times, the ratio, the largest gap a 5 ms timer on the window's thread saw during
// the window's runs and the most CPU time that thread spent between two of its ticks, plus
// how long the stop question took to show in a third run that is stopped halfway. The window
// runs on the offscreen platform; every box is answered as a user would (Yes, then OK).
// Usage: WindowRunBench [rows...] (default 2000 100000)
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "WindowThreadProbe.h"
#include "app/CMainFrame.h"
#include "app/EraseRunControl.h"
#include "app/MainBars.h"
#include "app/MainCommands.h"
#include "app/MainSettings.h"
#include "app/PaneViews.h"
#include "items/DataMemoryWriter.h"
#include "items/PaneState.h"
#include "panes/PaneController.h"

#ifndef TOLVANE_BINARY
#error "TOLVANE_BINARY must name the program"
#endif

namespace {

using bench::Clock;
using bench::GapProbe;
using bench::Seconds;

// Runs the event loop until `done` holds; false after an hour.
bool Until(const std::function<bool()>& done) {
    return bench::Until(done, std::chrono::hours(1));
}

// Answers each message box that opens with `answer` (Yes where it has one, else OK), noting
// when it appeared.
class Answerer {
public:
    Answerer() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible() || box == m_last) {
                return;
            }
            m_last = box;
            shown.push_back({box->text().left(60).toStdString(), Clock::now()});
            QAbstractButton* yes = box->button(QMessageBox::Yes);
            (yes ? yes : box->button(QMessageBox::Ok))->click();
        });
        m_timer.start(1);
    }
    struct Shown {
        std::string text;
        Clock::time_point at;
    };
    std::vector<Shown> shown;

private:
    QTimer m_timer;
    QMessageBox* m_last = nullptr;
};

std::vector<std::string> MakeTree(const std::string& folder, int files) {
    std::filesystem::create_directories(folder);
    std::vector<std::string> names;
    for (int i = 0; i < files; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%06d", i);
        names.push_back(name);
        const int fd = ::open((folder + name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd >= 0) {
            ::close(fd);
        }
    }
    return names;
}

// `tolvane --yes --passes 1` on the names, run in their folder (relative names keep a
// command line of 100,000 paths under the kernel's limit).
double TerminalSeconds(const std::string& folder, const std::vector<std::string>& names) {
    QStringList arguments{"--yes", "--passes", "1", "--"};
    for (const std::string& name : names) {
        arguments << QString::fromStdString(name);
    }
    QProcess process;
    process.setWorkingDirectory(QString::fromStdString(folder));
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    const auto start = Clock::now();
    process.start(TOLVANE_BINARY, arguments);
    process.waitForFinished(-1);
    return Seconds(Clock::now() - start);
}

struct WindowFigures {
    double seconds = 0;
    double largestGapMs = 0;
    double busiestMs = 0;
    double stopQuestionMs = -1;
    int rowsLeft = 0;
};

// The window with the erase list holding one row per file; Erase, Yes, and (unless
// `stopHalfway`) the run to its end and its box. With `stopHalfway`, Esc once half the
// rows have gone, and the time until the stop question shows.
WindowFigures WindowRun(const std::string& folder, const std::vector<std::string>& names,
                        bool stopHalfway) {
    tolvane::MainSettings settings;
    settings.leftType = tolvane::LeftPaneKind::List;
    settings.useRightWindow = true;
    settings.desktopShortcut = false;
    settings.passes = 1;
    tolvane::PaneState state;
    state.folder[0] = folder;
    Data::MemoryWriter paneState;
    tolvane::SavePaneState(paneState, state);
    tolvane::SaveSettings(settings, paneState);
    tolvane::MainFrameHooks hooks;
    hooks.openUrl = [](const QUrl&) { return true; };
    hooks.shell.run = [](const QString&, const QStringList&, QString*) { return -1; };
    tolvane::CMainFrame frame(hooks);
    frame.resize(1000, 700);
    frame.show();
    std::vector<tolvane::FileItem> items;
    for (const std::string& name : names) {
        tolvane::FileItem item;
        item.folder = folder;
        item.name = name;
        item.findData.name = name;
        items.push_back(item);
    }
    frame.Controller()->AddItems(items);
    // Sized first, as the rows of a list the user has just filled would be by the time of
    // the click.
    QTreeWidget* rows = frame.Views().EraseList();
    Until([&] { return !rows->topLevelItem(rows->topLevelItemCount() - 1)->text(1).isEmpty(); });

    WindowFigures figures;
    Answerer answerer;
    GapProbe probe;
    bool ended = false;
    QObject::connect(&frame.EraseRun(), &tolvane::EraseRunControl::Ended, [&] { ended = true; });
    const auto start = Clock::now();
    probe.Begin();
    frame.OnCommand(tolvane::kCmdEraseItem);
    if (stopHalfway) {
        const int half = static_cast<int>(names.size() / 2);
        Until([&] { return frame.Views().EraseList()->topLevelItemCount() <= half; });
        const std::size_t before = answerer.shown.size();
        const auto asked = Clock::now();
        QTimer::singleShot(0, [&] { frame.OnCommand(tolvane::kCmdCancel); });
        Until([&] { return answerer.shown.size() > before; });
        figures.stopQuestionMs = Seconds(answerer.shown[before].at - asked) * 1000;
    }
    Until([&] { return ended; });
    figures.seconds = Seconds(Clock::now() - start);
    probe.End();
    figures.largestGapMs = probe.LargestGapMs();
    figures.busiestMs = probe.BusiestMs();
    figures.rowsLeft = frame.Views().EraseList()->topLevelItemCount();
    frame.close();
    Until([&] { return !frame.isVisible(); });
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char base[] = "/tmp/window-run-bench-XXXXXX";
    if (::mkdtemp(base) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string root = base;
    // Settings and special folders of the bench's own, never the user's.
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        const std::string path = root + "/" + name;
        std::filesystem::create_directories(path);
        setenv(name, path.c_str(), 1);
    }
    QApplication app(argc, argv);
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        counts.push_back(std::atoi(argv[i]));
    }
    if (counts.empty()) {
        counts = {2000, 100000};
    }
    std::printf("%8s %11s %11s %7s %9s %12s %12s %10s\n", "rows", "terminal s", "window s", "ratio",
                "goal s", "largest gap", "busiest cpu", "stop ask");
    for (int rows : counts) {
        const std::string dir = root + "/" + std::to_string(rows);
        const std::vector<std::string> names = MakeTree(dir + "/terminal/", rows);
        MakeTree(dir + "/window/", rows);
        MakeTree(dir + "/stopped/", rows);
        const double terminal = TerminalSeconds(dir + "/terminal/", names);
        const WindowFigures window = WindowRun(dir + "/window/", names, false);
        const WindowFigures stopped = WindowRun(dir + "/stopped/", names, true);
        std::printf("%8d %11.2f %11.2f %7.2f %9.2f %9.1f ms %9.1f ms %7.1f ms\n", rows, terminal,
                    window.seconds, window.seconds / terminal, terminal * 1.5 + 1,
                    std::max(window.largestGapMs, stopped.largestGapMs),
                    std::max(window.busiestMs, stopped.busiestMs), stopped.stopQuestionMs);
        if (window.rowsLeft != 0) {
            std::printf("  %d rows were left after the window's run\n", window.rowsLeft);
        }
        std::fflush(stdout);
        std::filesystem::remove_all(dir);
    }
    std::filesystem::remove_all(root);
    return 0;
}
