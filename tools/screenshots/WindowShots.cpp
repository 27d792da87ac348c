// Renders the main window's new looks for a look by eye: a run with its progress line, the
// browser's and the erase list's context menus, the tooltip of a row that could not be
// erased, the window at its minimum size, and the window without an icon theme. Not a test.
// On the offscreen platform the window is grabbed (popups painted over it where they stand);
// on a real X server the screen is grabbed, with the window manager's frame.
//     tolvane_window_shots <output folder>
// The settings live in a temporary folder and the run erases files made in it; no helper
// program is started.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "app/CMainFrame.h"
#include "app/EraseRunControl.h"
#include "app/MainBars.h"
#include "app/MainCommands.h"
#include "app/MainMenus.h"
#include "app/MainSettings.h"
#include "app/PaneViews.h"
#include "app/SettingsStore.h"
#include "engine/EraseEngine.h"
#include "items/DataMemoryWriter.h"
#include "items/PaneState.h"
#include "panes/PaneController.h"

namespace {

using namespace tolvane;

QString g_out;

void Wait(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

bool Until(const std::function<bool()>& done, int ms = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < end) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

bool Offscreen() {
    return QGuiApplication::platformName() == QLatin1String("offscreen");
}

// The window with whatever popups stand over it.
void Shoot(QWidget& frame, const QString& name) {
    Wait(300);
    QPixmap image;
    if (Offscreen()) {
        image = frame.grab();
        QPainter painter(&image);
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top != &frame && top->isVisible() &&
                (qobject_cast<QMenu*>(top) || top->inherits("QTipLabel"))) {
                painter.drawPixmap(top->pos() - frame.mapToGlobal(QPoint(0, 0)), top->grab());
            }
        }
    } else {
        image = frame.screen()->grabWindow(0);
    }
    const QString path = g_out + "/" + name + (Offscreen() ? "-offscreen" : "-x11") + ".png";
    std::printf("%s %s\n", image.save(path) ? "wrote" : "could not write", qPrintable(path));
}

void ClickYesOnBoxes() {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            if (QAbstractButton* yes = box->button(QMessageBox::Yes)) {
                yes->click();
            } else if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
                ok->click();
            }
        }
    });
    timer->start(50);
}

std::unique_ptr<CMainFrame> OpenAt(const std::string& folder, std::atomic<bool>* hold) {
    MainSettings settings;
    settings.leftType = LeftPaneKind::List;
    settings.useRightWindow = true;
    settings.desktopShortcut = false;
    settings.passes = 1;
    PaneState state;
    state.folder[0] = folder;
    Data::MemoryWriter paneState;
    SavePaneState(paneState, state);
    SaveSettings(settings, paneState);
    MainFrameHooks hooks;
    hooks.openUrl = [](const QUrl&) { return true; };
    hooks.openFile = [](const QString&, const QString&) { return true; };
    hooks.shell.run = [](const QString&, const QStringList&, QString*) { return -1; };
    hooks.makeEngine = [hold](int passes) {
        auto engine = std::make_unique<EraseEngine>(passes);
        PauseGate::Hooks gateHooks;
        gateHooks.arriving = [hold] {
            while (hold->load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        };
        engine->Gate().SetHooks(std::move(gateHooks));
        return engine;
    };
    auto frame = std::make_unique<CMainFrame>(hooks);
    frame->resize(1000, 640);
    frame->move(40, 40);
    frame->show();
    frame->activateWindow();
    return frame;
}

// Puts these entries of the sample folder into the erase list; false, with nothing inserted,
// unless the window is the List kind showing that folder with all of them: the run that
// follows must erase the sample files and nothing else.
bool SelectAndInsert(CMainFrame& frame, const std::string& folder, const QStringList& names) {
    QListWidget* list = frame.Views().LeftList();
    const bool shown = list != nullptr && Until([&] {
                           return frame.Controller()->SideFolder(0) == folder &&
                                  std::all_of(names.begin(), names.end(), [&](const QString& name) {
                                      return !list->findItems(name, Qt::MatchExactly).isEmpty();
                                  });
                       });
    if (!shown) {
        std::fprintf(stderr, "the sample folder is not shown in a list: nothing is erased\n");
        return false;
    }
    list->clearSelection();
    for (const QString& name : names) {
        for (QListWidgetItem* item : list->findItems(name, Qt::MatchExactly)) {
            item->setSelected(true);
        }
    }
    list->setFocus();
    frame.OnCommand(kCmdInsert);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
    QApplication app(argc, argv);
    g_out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(g_out);
    const std::string dir = home.path().toStdString() + "/Documents/";
    QDir().mkpath(QString::fromStdString(dir + "Holiday photos"));
    QDir().mkpath(QString::fromStdString(dir + "Tax 2025"));
    for (const char* name : {"letter.odt", "notes.txt", "passwords.kdbx", "report-final.pdf"}) {
        std::ofstream(dir + name) << "private";
    }
    {
        std::ofstream big(dir + "backup.tar", std::ios::binary);
        std::string block(1 << 20, 'x');
        for (int i = 0; i < 96; ++i) {
            big << block;
        }
    }
    std::atomic<bool> hold{false};
    ClickYesOnBoxes();
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    if (argc > 2 && QByteArray(argv[2]) == "bare") {
        // No icon theme at all: what the program ships has to do.
        QIcon::setThemeSearchPaths({});
        QIcon::setThemeName(QString());
        QIcon::setFallbackSearchPaths({});
        auto bare = OpenAt(dir, &hold);
        Wait(1500);
        Shoot(*bare, "no-icon-theme");
        bare->close();
        Until([&] { return !bare->isVisible(); });
        return 0;
    }

    // The run with its progress line: held a third of the way so the figures stand still.
    auto frame = OpenAt(dir, &hold);
    if (!SelectAndInsert(*frame, dir, {"backup.tar", "notes.txt"})) {
        return 1;
    }
    bool heldOnce = false;
    QObject::connect(frame->Bars().Progress(), &QProgressBar::valueChanged, [&](int value) {
        if (value >= 300 && !heldOnce) {
            heldOnce = true;
            hold = true;
        }
    });
    frame->OnCommand(kCmdEraseItem);
    Until([&] { return hold.load(); });
    Wait(3500);  // the time left shows once three seconds have passed
    Shoot(*frame, "run-progress");
    hold = false;
    Until([&] { return !frame->EraseRun().Running(); }, 180000);
    Wait(300);

    // The browser's context menu on a file.
    QListWidget& list = *frame->Views().LeftList();
    if (!Until([&] { return !list.findItems("passwords.kdbx", Qt::MatchExactly).isEmpty(); })) {
        std::fprintf(stderr, "the sample folder is not listed\n");
        return 1;
    }
    QListWidgetItem* file = list.findItems("passwords.kdbx", Qt::MatchExactly)[0];
    emit list.customContextMenuRequested(list.visualItemRect(file).center());
    Shoot(*frame, "browser-menu");
    if (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
    }

    // A row that could not be erased: its context menu and its tooltip.
    if (!SelectAndInsert(*frame, dir, {"letter.odt", "report-final.pdf"})) {
        return 1;
    }
    QTreeWidget& rows = *frame->Views().EraseList();
    Until([&] { return rows.topLevelItemCount() == 2; });
    frame->Controller()->MarkRowFailed(0, QString::fromStdString(dir + "letter.odt") +
                                              " - Permission denied (the file stays as it was)");
    const QPoint onRow = rows.visualItemRect(rows.topLevelItem(0)).center();
    emit rows.customContextMenuRequested(onRow);
    Shoot(*frame, "erase-list-menu");
    if (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
    }
    Wait(200);
    QToolTip::showText(rows.viewport()->mapToGlobal(onRow), rows.topLevelItem(0)->toolTip(0),
                       rows.viewport());
    Shoot(*frame, "failed-row-tooltip");
    QToolTip::hideText();

    // The minimum size.
    frame->resize(frame->minimumSize());
    Shoot(*frame, "minimum-size");
    frame->close();
    Until([&] { return !frame->isVisible(); });
    return 0;
}
