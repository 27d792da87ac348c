// Not a test by itself: WindowScenarioTest runs it under a private X server with a window
// manager, in a mount namespace whose "/" is read-only and whose home folder lies on a loop
// image, so a wrong pick can only reach that image. It opens the program's main window in its
// default Tree kind and has xdotool press the keys and click the mouse a user would:
//
//   1. a file of <home>/work/job picked with the keyboard (Right, Down), Insert, Ctrl+E, Yes;
//   2. another file of the same folder picked with a click, the same way to its erasing;
//   3. the folder <home>/work picked, then a second image mounted and unmounted beside the
//      first, and Insert.
//
// After each pick it watches the selection for a while. It prints every step, the boxes'
// texts and "scenario passed" at the end; any step that does not come out as it should ends
// it with status 1 and says why. A guard timer ends it if a step hangs.
//
// Usage: window_scenario_app <home folder> <second image file> <its mount point>
#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "DriverProgram.h"
#include "app/CMainFrame.h"
#include "app/MainBars.h"
#include "app/PaneViews.h"
#include "panes/PaneController.h"
#include "panes/TreePaths.h"

namespace tolvane {
namespace {

constexpr int kGuardMs = 150000;
constexpr int kPollMs = 100;
// How long a pick is watched: the window refreshes its locations every second and reads the
// picked item's branch again at once; the fault this guards against showed within a second.
constexpr int kWatchMs = 2500;

bool Exists(const std::string& path) {
    std::error_code error;  // an error is an answer here: not there
    return std::filesystem::symlink_status(path, error).type() !=
           std::filesystem::file_type::not_found;
}

// One step: an action, then a condition waited for (or held, for `holdMs`).
struct Step {
    std::string what;
    std::function<void()> act;
    std::function<bool()> done;
    int holdMs = 0;  // > 0: `done` must hold all this time, instead of coming true
};

class Scenario {
public:
    Scenario(std::string home, std::string image, std::string mountPoint)
        : m_home(std::move(home)), m_image(std::move(image)), m_mountPoint(std::move(mountPoint)) {
        MainFrameHooks hooks;
        // Nothing outside is ever started.
        hooks.openUrl = [](const QUrl&) { return true; };
        hooks.openFile = [](const QString&, const QString&) { return true; };
        m_frame = new CMainFrame(std::move(hooks));
        m_frame->setAttribute(Qt::WA_DeleteOnClose);
        m_frame->setGeometry(40, 40, 900, 600);
        m_frame->show();
        m_frame->activateWindow();
        Build();
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start(kPollMs);
    }

private:
    QTreeWidget* Tree() const { return m_frame->Views().LeftTree(); }
    PaneController* Controller() const { return m_frame->Controller(); }
    std::string Picked() const {
        PaneController* controller = Controller();
        return controller != nullptr && Tree() != nullptr ? controller->ItemPath(Tree(), nullptr)
                                                          : std::string();
    }
    std::string PathText() const { return m_frame->Bars().PathEdit()->text().toStdString(); }
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        if (PaneController* controller = Controller()) {
            for (const FileItem& item : controller->CollectEraseList()) {
                rows.push_back(item.FullPath());
            }
        }
        return rows;
    }
    QTreeWidgetItem* Item(const std::string& path) const {
        PaneController* controller = Controller();
        if (controller == nullptr || Tree() == nullptr) {
            return nullptr;
        }
        const std::optional<TreePathMatch> match = MatchTreePath(controller->Locations(), path);
        if (!match) {
            return nullptr;
        }
        const TreeAddress address{match->rootIndex, controller->Locations()[match->rootIndex].path,
                                  match->children};
        QTreeWidgetItem* folder = Resolve(*Tree(), address, controller->Locations());
        // A file's name is no component of its path's match: it is a child of its folder.
        const std::string name = path.substr(path.rfind('/') + 1);
        return folder == nullptr || name.empty() ? folder : FindChild(*folder, name);
    }
    static QMessageBox* Box() {
        return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    }

    static void Xdotool(const QStringList& args) {
        if (QProcess::execute("xdotool", args) != 0) {
            std::printf("xdotool %s failed\n", qPrintable(args.join(' ')));
        }
    }
    static void Keys(const QString& keys) {
        Xdotool(QStringList{"key", "--delay", "150"} + keys.split(' '));
    }
    void Click(const std::string& path) {
        QTreeWidgetItem* item = Item(path);
        if (item == nullptr) {
            return;  // the step's condition fails and says so
        }
        Tree()->scrollToItem(item);
        const QPoint at = Tree()->viewport()->mapToGlobal(Tree()->visualItemRect(item).center());
        Xdotool({"mousemove", "--sync", QString::number(at.x()), QString::number(at.y()), "sleep",
                 "0.3", "click", "1"});
    }
    // The step's condition, and in a failure, what the window shows instead.
    std::string State() const {
        std::string rows;
        for (const std::string& row : Rows()) {
            rows += " [" + row + "]";
        }
        return "picked [" + Picked() + "], path edit [" + PathText() + "], rows" + rows;
    }

    void Add(std::string what, std::function<void()> act, std::function<bool()> done,
             int holdMs = 0) {
        m_steps.push_back(Step{std::move(what), std::move(act), std::move(done), holdMs});
    }

    // The pick and the path edit stay as they are while the window goes on refreshing.
    void StaysPicked(const std::string& path, const std::string& when) {
        Add(
            path + " stays picked" + when, {},
            [this, path] { return Picked() == path && PathText() == path; }, kWatchMs);
    }

    // Insert with the picked file, Ctrl+E, Yes, and the closing box: the file is erased.
    void EraseByKeys(const std::string& file) {
        Add(
            "Insert adds exactly " + file, [] { Keys("Insert"); },
            [this, file] { return Rows() == std::vector<std::string>{file}; });
        Add(
            "Ctrl+E asks to confirm " + file, [] { Keys("ctrl+e"); },
            [file] {
                QMessageBox* box = Box();
                return box != nullptr && box->text().toStdString().find(file) != std::string::npos;
            });
        Add(
            "Yes erases it and says so",
            [] {
                std::printf("confirmation: %s\n", qPrintable(Box()->text()));
                Keys("y");
            },
            [] { return Box() != nullptr && Box()->text().contains("erased"); });
        Add(
            "the closing box goes",
            [] {
                std::printf("closing box: %s\n", qPrintable(Box()->text()));
                Keys("Return");
            },
            [this, file] { return Box() == nullptr && !Exists(file) && Rows().empty(); });
    }

    void Build() {
        const std::string job = m_home + "work/job/";
        Add(
            "the window shows the job folder",
            [this, job] {
                if (Controller() != nullptr) {
                    Controller()->SelectPathInTree(Tree(), job);
                }
            },
            [this, job] {
                QTreeWidgetItem* item = Item(job);
                return Picked() == job && item != nullptr && item->childCount() == 4;
            });

        // 1. The keyboard: into the folder, onto its first file.
        Add(
            "the tree has the keyboard",
            [this] {
                m_frame->activateWindow();
                Tree()->setFocus();
            },
            [this] { return m_frame->isActiveWindow() && QApplication::focusWidget() == Tree(); });
        Add(
            "Right and Down pick alpha.bin", [] { Keys("Right Down"); },
            [this, job] { return Picked() == job + "alpha.bin"; });
        StaysPicked(job + "alpha.bin", "");
        EraseByKeys(job + "alpha.bin");

        // 2. The mouse.
        Add(
            "a click picks gamma.bin", [this, job] { Click(job + "gamma.bin"); },
            [this, job] { return Picked() == job + "gamma.bin"; });
        StaysPicked(job + "gamma.bin", "");
        EraseByKeys(job + "gamma.bin");
        Add("its neighbours, its folder and the home folder stay", {}, [this, job] {
            return Exists(job + "beta.bin") && Exists(job + "delta.bin") && Exists(job) &&
                   Exists(m_home + "work/keep.txt");
        });

        // 3. Another volume comes and goes while a folder is picked.
        const std::string work = m_home + "work/";
        Add(
            "a click picks the work folder", [this, work] { Click(work); },
            [this, work] { return Picked() == work; });
        Add(
            "another image is mounted",
            [this] {
                std::printf(
                    "mount: %d\n",
                    QProcess::execute("mount", {"-o", "loop", QString::fromStdString(m_image),
                                                QString::fromStdString(m_mountPoint)}));
            },
            [this] { return Controller()->Locations().size() > m_locationsBefore; });
        StaysPicked(work, " as it comes");
        Add(
            "the image is unmounted",
            [this] {
                std::printf("umount: %d\n",
                            QProcess::execute("umount", {QString::fromStdString(m_mountPoint)}));
            },
            [this] { return Controller()->Locations().size() == m_locationsBefore; });
        StaysPicked(work, " as it goes");
        Add(
            "Insert adds exactly the work folder", [] { Keys("Insert"); },
            [this] { return Rows() == std::vector<std::string>{m_home + "work"}; });
    }

    void Poll() {
        if (m_steps.empty()) {
            m_timer.stop();
            std::printf("scenario passed\n");
            Finish(0);
            return;
        }
        Step& step = m_steps.front();
        if (!m_started) {
            m_started = true;
            m_elapsed = 0;
            if (step.what == "another image is mounted") {
                m_locationsBefore = Controller()->Locations().size();
            }
            std::printf("step: %s\n", step.what.c_str());
            std::fflush(stdout);
            if (step.act) {
                step.act();
            }
            return;
        }
        m_elapsed += kPollMs;
        const bool holds = step.done();
        if (step.holdMs > 0 ? !holds : !holds && m_elapsed >= kStepMs) {
            std::printf("FAILED: %s; %s\n", step.what.c_str(), State().c_str());
            m_timer.stop();
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
        std::fflush(stdout);
        if (QMessageBox* box = Box()) {
            box->reject();
        }
        QObject::connect(m_frame, &QObject::destroyed, [code] { QApplication::exit(code); });
        QTimer::singleShot(10000, [code] { QApplication::exit(code); });
        m_frame->close();
    }

    static constexpr int kStepMs = 15000;
    std::string m_home;
    std::string m_image;
    std::string m_mountPoint;
    CMainFrame* m_frame = nullptr;
    std::deque<Step> m_steps;
    QTimer m_timer;
    bool m_started = false;
    int m_elapsed = 0;
    std::size_t m_locationsBefore = 0;
};

}  // namespace
}  // namespace tolvane

int main(int argc, char** argv) {
    return tolvane::test::RunDriver(
        argc, argv, 3, "window_scenario_app <home> <image> <mount point>", tolvane::kGuardMs,
        [argv] {
            QApplication::setQuitOnLastWindowClosed(false);  // the scenario says how it ended
            std::string home = argv[1];
            if (home.back() != '/') {
                home += '/';
            }
            tolvane::Scenario scenario(home, argv[2], argv[3]);
            return QApplication::exec();
        });
}
