// Not a test by itself: RealWindowTest runs it under a private X server with a window
// manager, the xcb platform and xdotool, in a mount namespace whose root is read-only. It
// opens the real main window on the test's folder and drives it with the real keyboard and
// pointer, then prints what the user saw ("confirm: ...", "closing: <caption>: <text>",
// "bar: <value>", "rows: ...", "data: ...", "window: closed") and ends with 0 when the
// scenario went as it should. A guard timer ends it if the window never gets there.
//
// Scenarios (first argument):
//   renamed  a folder is inserted with the mouse and Insert, renamed in a shell, and erased:
//            the closing box must be the Warning with "not found", its row stays marked and
//            the data stays.
//   close    a long run is going when the window manager's close (Alt+F4) comes; Yes to the
//            stop question: the window closes once the run stopped, the bar back at 0.
#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "DriverProgram.h"
#include "app/CMainFrame.h"
#include "app/MainBars.h"
#include "app/MainCommands.h"
#include "app/MainMenus.h"
#include "app/MainSettings.h"
#include "app/PaneViews.h"
#include "items/DataMemoryWriter.h"
#include "items/PaneState.h"
#include "panes/EraseList.h"

namespace tolvane {
namespace {

constexpr int kGuardMs = 100000;
constexpr int kPollMs = 100;

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void ClickAt(QWidget* widget, QPoint local, std::function<void()> then) {
    const QPoint global = widget->mapToGlobal(local);
    test::Xdotool({"mousemove", QString::number(global.x()), QString::number(global.y()), "sleep",
                   "0.3", "click", "1"},
                  std::move(then));
}

void PressKey(const QString& key, std::function<void()> then = {}) {
    test::Xdotool({"key", key}, std::move(then));
}

// Calls `then` once `done` holds, polling on the event loop.
void When(std::function<bool()> done, std::function<void()> then) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, done, then] {
        if (done()) {
            timer->deleteLater();
            then();
        }
    });
    timer->start(kPollMs);
}

QMessageBox* OpenBox() {
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

class Scenario {
public:
    Scenario(std::string folder, int passes) : m_work(std::move(folder) + "/work/") {
        MainSettings settings;
        settings.leftType = LeftPaneKind::List;
        settings.useRightWindow = true;
        settings.desktopShortcut = false;
        settings.passes = passes;
        PaneState state;
        state.folder[0] = m_work;
        Data::MemoryWriter paneState;
        SavePaneState(paneState, state);
        SaveSettings(settings, paneState);
        MainFrameHooks hooks;
        hooks.openUrl = [](const QUrl&) { return true; };
        hooks.shell.run = [](const QString&, const QStringList&, QString*) { return -1; };
        m_frame = new CMainFrame(hooks);
        m_frame->setAttribute(Qt::WA_DeleteOnClose);
        m_frame->setGeometry(40, 40, 1000, 700);
        m_frame->show();
        m_frame->activateWindow();
    }

    const std::string& Work() const { return m_work; }
    QPointer<CMainFrame>& Frame() { return m_frame; }
    QTreeWidget& EraseList() { return *m_frame->Views().EraseList(); }

    // Clicks the entry `name` of the browser list once it is listed, presses Insert, and
    // calls `then` once the erase list holds `rows` rows.
    void InsertWithKeyboard(const QString& name, int rows, std::function<void()> then) {
        QListWidget* list = m_frame->Views().LeftList();
        When([list, name] { return !list->findItems(name, Qt::MatchExactly).isEmpty(); },
             [this, list, name, rows, then] {
                 QListWidgetItem* item = list->findItems(name, Qt::MatchExactly).front();
                 ClickAt(list->viewport(), list->visualItemRect(item).center(), [this, rows, then] {
                     PressKey("Insert");
                     When([this, rows] { return EraseList().topLevelItemCount() == rows; }, then);
                 });
             });
    }

    // Clicks the Erase item of the menu bar.
    void ClickErase(std::function<void()> then) {
        QMenuBar* bar = m_frame->menuBar();
        QAction* erase = m_frame->Menus().Action(kCmdEraseItem);
        ClickAt(bar, bar->actionGeometry(erase).center(), std::move(then));
    }

    // Waits for a message box, prints it as `what`, answers it with Return (its default
    // button) and calls `then` with its caption and text.
    void AnswerBox(const std::string& what,
                   std::function<void(const QString& title, const QString& text)> then) {
        When([] { return OpenBox() != nullptr && OpenBox()->isVisible(); },
             [this, what, then] {
                 QMessageBox* box = OpenBox();
                 const QString title = box->windowTitle();
                 const QString text = box->text();
                 Say(what + ": " + title.toStdString() + ": " + text.toStdString());
                 Say("bar: " + std::to_string(m_frame->Bars().Progress()->value()));
                 QPointer<QMessageBox> answered = box;
                 PressKey("Return", [answered, title, text, then] {
                     When([answered] { return answered.isNull() || !answered->isVisible(); },
                          [title, text, then] { then(title, text); });
                 });
             });
    }

private:
    std::string m_work;
    QPointer<CMainFrame> m_frame;
};

// A folder inserted, renamed behind the window's back, and erased: nothing can be erased, so
// the window must not say it was.
int Renamed(const std::string& folder) {
    const std::string work = folder + "/work/";
    std::filesystem::create_directories(work + "victim");
    std::ofstream(work + "victim/data.bin") << "precious";
    std::ofstream(work + "neighbour.txt") << "kept";
    Scenario scenario(folder, 1);
    int result = 1;
    scenario.InsertWithKeyboard("victim", 1, [&] {
        QProcess::execute("mv", {QString::fromStdString(work + "victim"),
                                 QString::fromStdString(work + "victim-renamed")});
        scenario.ClickErase([&] {
            scenario.AnswerBox("confirm", [&](const QString&, const QString&) {
                scenario.AnswerBox("closing", [&](const QString& title, const QString& text) {
                    QTreeWidget& rows = scenario.EraseList();
                    const bool marked = rows.topLevelItemCount() == 1 &&
                                        rows.topLevelItem(0)->toolTip(0).contains("not found");
                    const std::string data = ReadAll(work + "victim-renamed/data.bin");
                    Say("rows: " + std::to_string(rows.topLevelItemCount()) +
                        (marked ? " marked not found" : ""));
                    Say("data: " + data);
                    const bool ok = title == "Warning" && text.contains(" - not found") && marked &&
                                    data == "precious" && ReadAll(work + "neighbour.txt") == "kept";
                    result = ok ? 0 : 1;
                    scenario.Frame()->close();
                });
            });
        });
    });
    QObject::connect(scenario.Frame().data(), &QObject::destroyed, [] { QApplication::quit(); });
    QApplication::exec();
    return result;
}

// Alt+F4 while a long run goes on, Yes to the stop question: the window closes once the run
// has stopped, and the bar is back at 0 when the run's last box shows.
int CloseDuringRun(const std::string& folder) {
    const std::string work = folder + "/work/";
    std::filesystem::create_directories(work + "many");
    const std::string block(64 * 1024, 'z');
    for (int i = 0; i < 1500; ++i) {
        std::ofstream(work + "many/f" + std::to_string(i)) << block;
    }
    Scenario scenario(folder, 3);
    QObject::connect(scenario.Frame().data(), &QObject::destroyed, [] {
        Say("window: closed");
        QApplication::quit();
    });
    scenario.InsertWithKeyboard("many", 1, [&] {
        scenario.ClickErase([&] {
            scenario.AnswerBox("confirm", [&](const QString&, const QString&) {
                CMainFrame* frame = scenario.Frame();
                When([frame] { return frame->Bars().Progress()->value() > 0; },
                     [&] {
                         PressKey("alt+F4");
                         scenario.AnswerBox("stop", [&](const QString&, const QString&) {
                             // The stopped file's row and its Warning; answered like any box.
                             scenario.AnswerBox("closing", [](const QString&, const QString&) {});
                         });
                     });
            });
        });
    });
    QApplication::exec();
    return scenario.Frame().isNull() ? 0 : 1;
}

}  // namespace
}  // namespace tolvane

int main(int argc, char** argv) {
    return tolvane::test::RunDriver(argc, argv, 2, "real_window_app renamed|close <folder>",
                                    tolvane::kGuardMs, [argv] {
                                        const std::string scenario = argv[1];
                                        if (scenario == "renamed") {
                                            return tolvane::Renamed(argv[2]);
                                        }
                                        if (scenario == "close") {
                                            return tolvane::CloseDuringRun(argv[2]);
                                        }
                                        return 2;
                                    });
}
