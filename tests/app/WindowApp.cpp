// Not a test by itself: WindowTest runs it under a private X server with a window manager, in
// a mount namespace whose "/" is read-only and whose home folder lies on a loop image, so a
// wrong pick can only reach that image. xdotool presses the keys and clicks a user would, one
// step after another (the scenarios: Picks, Renamed, CloseDuringRun below). It prints each
// step and what the user saw ("confirm: ...", "closing: <caption>: <text>", "bar: <value>",
// "rows: ...", "window: closed"), then "scenario passed"; a step that does not come out as it
// should ends it with status 1, and a guard timer ends a hung one.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "DriverProgram.h"
#include "TempDir.h"
#include "app/CMainFrame.h"
#include "app/MainBars.h"
#include "app/MainCommands.h"
#include "app/MainMenus.h"
#include "app/MainSettings.h"
#include "app/PaneViews.h"
#include "items/DataMemoryWriter.h"
#include "items/PaneState.h"
#include "panes/PaneController.h"
#include "panes/TreePaths.h"

namespace tolvane {
namespace {

constexpr int kGuardMs = 150000;
constexpr int kPollMs = 100;
constexpr int kStepMs = 15000;
// How long a pick is watched: the window refreshes its locations every second and reads the
// picked item's branch again at once; the fault this guards against showed within a second.
constexpr int kWatchMs = 2500;

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void Xdotool(const QStringList& args) {
    if (QProcess::execute("xdotool", args) != 0) {
        Say("xdotool " + args.join(' ').toStdString() + " failed");
    }
}

void Keys(const QString& keys) {
    Xdotool(QStringList{"key", "--delay", "150"} + keys.split(' '));
}

void ClickAt(QWidget& widget, QPoint local) {
    const QPoint at = widget.mapToGlobal(local);
    Xdotool({"mousemove", "--sync", QString::number(at.x()), QString::number(at.y()), "sleep",
             "0.3", "click", "1"});
}

QMessageBox* Box() {
    QMessageBox* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    return box != nullptr && box->isVisible() ? box : nullptr;
}

// One step: an action, then a condition waited for (or held, for `holdMs`).
struct Step {
    std::string what;
    std::function<void()> act;
    std::function<bool()> done;
    int holdMs = 0;  // > 0: `done` must hold all this time, instead of coming true; none: the
                     // step is done once it acted
};

class Scenario {
public:
    // The window on its own settings (written first when `settings` is given) with `home`.
    Scenario(std::string home, const MainSettings* settings) : m_home(std::move(home)) {
        if (settings != nullptr) {
            PaneState state;
            state.folder[0] = m_home + "work/";
            Data::MemoryWriter paneState;
            SavePaneState(paneState, state);
            SaveSettings(*settings, paneState);
        }
        MainFrameHooks hooks;
        // Nothing outside is ever started.
        hooks.openUrl = [](const QUrl&) { return true; };
        hooks.openFile = [](const QString&, const QString&) { return true; };
        hooks.shell.run = [](const QString&, const QStringList&, QString*) { return -1; };
        m_frame = new CMainFrame(std::move(hooks));
        m_frame->setAttribute(Qt::WA_DeleteOnClose);
        m_frame->setGeometry(40, 40, 900, 600);
        m_frame->show();
        m_frame->activateWindow();
        QObject::connect(m_frame, &QObject::destroyed, [] { Say("window: closed"); });
    }

    void Add(std::string what, std::function<void()> act, std::function<bool()> done,
             int holdMs = 0) {
        m_steps.push_back(Step{std::move(what), std::move(act), std::move(done), holdMs});
    }

    // Runs the steps; 0 when every one came out as it should.
    int Run() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start(kPollMs);
        return QApplication::exec();
    }

    const std::string& Home() const { return m_home; }
    CMainFrame* Frame() const { return m_frame; }
    PaneController* Controller() const { return m_frame ? m_frame->Controller() : nullptr; }
    QTreeWidget* Tree() const { return m_frame->Views().LeftTree(); }
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        if (PaneController* controller = Controller()) {
            for (const FileItem& item : controller->CollectEraseList()) {
                rows.push_back(item.FullPath());
            }
        }
        return rows;
    }
    std::string Picked() const {
        PaneController* controller = Controller();
        return controller != nullptr && Tree() != nullptr ? controller->ItemPath(Tree(), nullptr)
                                                          : std::string();
    }
    std::string PathText() const { return m_frame->Bars().PathEdit()->text().toStdString(); }

    // Says the box as `what` with the bar's value behind it, and answers it with Return (its
    // default button).
    void SayAndAnswer(const std::string& what, const QMessageBox& box) const {
        Say(what + ": " + box.windowTitle().toStdString() + ": " + box.text().toStdString());
        Say("bar: " + std::to_string(m_frame->Bars().Progress()->value()));
        Keys("Return");
    }
    // Waits for a message box with `text`, then SayAndAnswer.
    void AnswerBox(const std::string& what, const std::string& text) {
        Add(what + " box", {}, [text] { return Box() && Box()->text().contains(text.c_str()); });
        Add(
            "Return answers the " + what + " box",
            [this, what] {
                m_box = Box();
                SayAndAnswer(what, *m_box);
            },
            [this] { return m_box.isNull() || !m_box->isVisible(); });
    }

private:
    void Poll() {
        if (m_steps.empty()) {
            Finish(0);
            return;
        }
        Step& step = m_steps.front();
        if (!m_started) {
            m_started = true;
            m_elapsed = 0;
            Say("step: " + step.what);
            if (step.act) {
                step.act();
            }
            return;
        }
        m_elapsed += kPollMs;
        const bool holds = !step.done || step.done();
        if (step.holdMs > 0 ? !holds : !holds && m_elapsed >= kStepMs) {
            Say("FAILED: " + step.what + "; picked [" + Picked() + "], path edit [" +
                (m_frame ? PathText() : "") + "], " + std::to_string(Rows().size()) + " rows");
            Finish(1);
            return;
        }
        if ((step.holdMs > 0 && m_elapsed >= step.holdMs) || (step.holdMs == 0 && holds)) {
            m_steps.pop_front();
            m_started = false;
        }
    }

    // Closes the window as a user would and ends with `code` once it has gone (its panes'
    // workers have ended), or a little later in any case.
    void Finish(int code) {
        m_timer.stop();
        if (code == 0) {
            Say("scenario passed");
        }
        if (m_frame.isNull()) {
            QApplication::exit(code);
            return;
        }
        if (QMessageBox* box = Box()) {
            box->reject();
        }
        QObject::connect(m_frame, &QObject::destroyed, [code] { QApplication::exit(code); });
        QTimer::singleShot(10000, [code] { QApplication::exit(code); });
        m_frame->close();
    }

    std::string m_home;
    QPointer<CMainFrame> m_frame;
    QPointer<QMessageBox> m_box;
    std::deque<Step> m_steps;
    QTimer m_timer;
    bool m_started = false;
    int m_elapsed = 0;
};

// The tree item of `path` (a folder's path ends with '/'), or null.
QTreeWidgetItem* TreeItem(const Scenario& s, const std::string& path) {
    PaneController* controller = s.Controller();
    if (controller == nullptr || s.Tree() == nullptr) {
        return nullptr;
    }
    const std::optional<TreePathMatch> match = MatchTreePath(controller->Locations(), path);
    if (!match) {
        return nullptr;
    }
    const TreeAddress address{match->rootIndex, controller->Locations()[match->rootIndex].path,
                              match->children};
    QTreeWidgetItem* folder = Resolve(*s.Tree(), address, controller->Locations());
    // A file's name is no component of its path's match: it is a child of its folder.
    const std::string name = path.substr(path.rfind('/') + 1);
    return folder == nullptr || name.empty() ? folder : FindChild(*folder, name);
}

void ClickInTree(const Scenario& s, const std::string& path) {
    if (QTreeWidgetItem* item = TreeItem(s, path)) {  // else the step's condition says so
        s.Tree()->scrollToItem(item);
        ClickAt(*s.Tree()->viewport(), s.Tree()->visualItemRect(item).center());
    }
}

// The pick and the path edit stay as they are while the window goes on refreshing.
void StaysPicked(Scenario& s, const std::string& path, const std::string& when) {
    s.Add(
        path + " stays picked" + when, {},
        [&s, path] { return s.Picked() == path && s.PathText() == path; }, kWatchMs);
}

// Insert with the picked file, Ctrl+E, Yes, and the closing box: the file is erased.
void EraseByKeys(Scenario& s, const std::string& file) {
    s.Add(
        "Insert adds exactly " + file, [] { Keys("Insert"); },
        [&s, file] { return s.Rows() == std::vector<std::string>{file}; });
    s.Add("Ctrl+E", [] { Keys("ctrl+e"); }, {});
    s.AnswerBox("confirm", file);
    s.AnswerBox("closing", "erased");
    s.Add("the file is gone", {}, [&s, file] { return !test::Exists(file) && s.Rows().empty(); });
}

int Picks(const std::string& home, const std::string& image, const std::string& mountPoint) {
    Scenario s(home, nullptr);
    const std::string job = home + "work/job/";
    s.Add(
        "the window shows the job folder",
        [&s, job] {
            if (s.Controller() != nullptr) {
                s.Controller()->SelectPathInTree(s.Tree(), job);
            }
        },
        [&s, job] {
            QTreeWidgetItem* item = TreeItem(s, job);
            return s.Picked() == job && item != nullptr && item->childCount() == 4;
        });

    // 1. The keyboard: into the folder, onto its first file.
    s.Add(
        "the tree has the keyboard",
        [&s] {
            s.Frame()->activateWindow();
            s.Tree()->setFocus();
        },
        [&s] { return s.Frame()->isActiveWindow() && QApplication::focusWidget() == s.Tree(); });
    s.Add(
        "Right and Down pick alpha.bin", [] { Keys("Right Down"); },
        [&s, job] { return s.Picked() == job + "alpha.bin"; });
    StaysPicked(s, job + "alpha.bin", "");
    EraseByKeys(s, job + "alpha.bin");

    // 2. The mouse.
    s.Add(
        "a click picks gamma.bin", [&s, job] { ClickInTree(s, job + "gamma.bin"); },
        [&s, job] { return s.Picked() == job + "gamma.bin"; });
    StaysPicked(s, job + "gamma.bin", "");
    EraseByKeys(s, job + "gamma.bin");
    s.Add("its neighbours, its folder and the home folder stay", {}, [job, home] {
        return test::Exists(job + "beta.bin") && test::Exists(job + "delta.bin") &&
               test::Exists(job) && test::Exists(home + "work/keep.txt");
    });

    // 3. Another volume comes and goes while a folder is picked.
    const std::string work = home + "work/";
    std::size_t before = 0;
    s.Add(
        "a click picks the work folder", [&s, work] { ClickInTree(s, work); },
        [&s, work] { return s.Picked() == work; });
    s.Add(
        "another image is mounted",
        [&] {
            before = s.Controller()->Locations().size();
            Say("mount: " + std::to_string(QProcess::execute(
                                "mount", {"-o", "loop", QString::fromStdString(image),
                                          QString::fromStdString(mountPoint)})));
        },
        [&] { return s.Controller()->Locations().size() > before; });
    StaysPicked(s, work, " as it comes");
    s.Add(
        "the image is unmounted",
        [&] {
            Say("umount: " +
                std::to_string(QProcess::execute("umount", {QString::fromStdString(mountPoint)})));
        },
        [&] { return s.Controller()->Locations().size() == before; });
    StaysPicked(s, work, " as it goes");
    s.Add(
        "Insert adds exactly the work folder", [] { Keys("Insert"); },
        [&s, home] { return s.Rows() == std::vector<std::string>{home + "work"}; });
    return s.Run();
}

// The List kind with the right window on <home>/work, erasing with `passes`.
MainSettings ListSettings(int passes) {
    MainSettings settings;
    settings.leftType = LeftPaneKind::List;
    settings.useRightWindow = true;
    settings.desktopShortcut = false;
    settings.passes = passes;
    return settings;
}

// Clicks the entry `name` of the browser list once it is listed and presses Insert; then the
// Erase item of the menu bar, and Return on the confirmation.
void InsertAndErase(Scenario& s, const QString& name, const std::function<void()>& between) {
    s.Add("the list shows " + name.toStdString(), {}, [&s, name] {
        return !s.Frame()->Views().LeftList()->findItems(name, Qt::MatchExactly).isEmpty();
    });
    s.Add(
        "a click and Insert add it",
        [&s, name] {
            QListWidget& list = *s.Frame()->Views().LeftList();
            ClickAt(*list.viewport(),
                    list.visualItemRect(list.findItems(name, Qt::MatchExactly).front()).center());
            Keys("Insert");
        },
        [&s] { return s.Rows().size() == 1; });
    s.Add("a click on Erase",
          [&s, between] {
              if (between) {
                  between();
              }
              QMenuBar& bar = *s.Frame()->menuBar();
              ClickAt(bar, bar.actionGeometry(s.Frame()->Menus().Action(kCmdEraseItem)).center());
          },
          {});
    s.AnswerBox("confirm", "");
}

int Renamed(const std::string& home) {
    const std::string work = home + "work/";
    test::MakeDirs(work + "victim");
    test::WriteFile(work + "victim/data.bin", "precious");
    test::WriteFile(work + "neighbour.txt", "kept");
    const MainSettings settings = ListSettings(1);
    Scenario s(home, &settings);
    InsertAndErase(s, "victim",
                   [work] { std::filesystem::rename(work + "victim", work + "victim-renamed"); });
    s.AnswerBox("closing", "");
    s.Add(
        "its row stays, marked, and the data stays",
        [&s, work] {
            QTreeWidget& rows = *s.Frame()->Views().EraseList();
            const bool marked = rows.topLevelItemCount() == 1 &&
                                rows.topLevelItem(0)->toolTip(0).contains("not found");
            Say("rows: " + std::to_string(rows.topLevelItemCount()) +
                (marked ? " marked not found" : ""));
        },
        [work] {
            return test::ReadFile(work + "victim-renamed/data.bin") == "precious" &&
                   test::ReadFile(work + "neighbour.txt") == "kept";
        });
    return s.Run();
}

int CloseDuringRun(const std::string& home) {
    const std::string work = home + "work/";
    test::MakeDirs(work + "many");
    const std::string block(64 * 1024, 'z');
    for (int i = 0; i < 1500; ++i) {
        test::WriteFile(work + "many/f" + std::to_string(i), block);
    }
    const MainSettings settings = ListSettings(3);
    Scenario s(home, &settings);
    InsertAndErase(s, "many", {});
    s.Add("the run is going", {}, [&s] { return s.Frame()->Bars().Progress()->value() > 0; });
    s.Add("Alt+F4", [] { Keys("alt+F4"); }, {});
    s.AnswerBox("stop", "stop erasing");
    // A list of what the stop left may come first; answered like any box.
    bool answered = false;
    s.Add("the window closes", {}, [&] {
        if (QMessageBox* box = Box(); box != nullptr && !answered) {
            answered = true;
            s.SayAndAnswer("closing", *box);
        }
        return s.Frame() == nullptr;
    });
    return s.Run();
}

}  // namespace
}  // namespace tolvane

int main(int argc, char** argv) {
    return tolvane::test::RunDriver(
        argc, argv, 2, "window_app picks|renamed|close <home> [<image> <mount point>]",
        tolvane::kGuardMs, [argc, argv] {
            QApplication::setQuitOnLastWindowClosed(false);  // the scenario says how it ended
            const std::string scenario = argv[1];
            std::string home = argv[2];
            if (home.back() != '/') {
                home += '/';
            }
            if (scenario == "picks" && argc > 4) {
                return tolvane::Picks(home, argv[3], argv[4]);
            }
            if (scenario == "renamed") {
                return tolvane::Renamed(home);
            }
            if (scenario == "close") {
                return tolvane::CloseDuringRun(home);
            }
            return 2;
        });
}
