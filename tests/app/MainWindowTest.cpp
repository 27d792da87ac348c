// The main window with real widgets on the offscreen platform: first start, the View
// commands and their rebuilds, closing through the controller's shutdown, the menus and the
// layout.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <tuple>

#include "MainFrameTestSupport.h"
#include "QtTestEnvironment.h"
#include "TempDir.h"
#include "Waiting.h"
#include "app/MainBars.h"
#include "app/MainCommands.h"
#include "app/MainMenus.h"
#include "app/PaneViews.h"
#include "app/SettingsStore.h"

namespace tolvane {
namespace {

using test::EventuallyOnLoop;

class MainWindowTest : public test::WithoutSettingsFile {
protected:
    void TearDown() override {
        // A failed test must not leave a worker waiting.
        m_slow.release = true;
        m_sizeHold.release = true;
        m_frame.reset();
        WithoutSettingsFile::TearDown();
    }

    CMainFrame& Open(MainFrameHooks hooks = {}) {
        hooks.makeController = [this] {
            auto controller = std::make_unique<test::RecordingController>(
                PaneController::WorkerPasses{[this](WorkerThread&, int) { m_slow.Run(); }, {}});
            m_controllers.push_back(controller.get());
            if (m_prepare) {
                m_prepare(*controller);
            }
            return controller;
        };
        hooks.openUrl = m_urls.Function();
        // No real helper (kvc, gio) is ever started.
        hooks.shell.run = [](const QString&, const QStringList&, QString*) { return -1; };
        m_frame = std::make_unique<CMainFrame>(hooks);
        m_frame->resize(1000, 700);
        m_frame->show();
        QCoreApplication::processEvents();
        return *m_frame;
    }
    void Choose(int command) { m_frame->Menus().Action(command)->trigger(); }
    // Chooses a command that rebuilds the panes and waits for the new ones.
    void ChooseAndWaitRebuilt(int command) {
        QSignalSpy rebuilt(m_frame.get(), &CMainFrame::PanesRebuilt);
        Choose(command);
        ASSERT_TRUE(rebuilt.wait(60000));
    }
    void CloseAndWait() {
        m_frame->close();
        ASSERT_TRUE(EventuallyOnLoop([&] { return !m_frame->isVisible(); }));
    }
    bool ViewChecked(int item) const {
        return m_frame->Menus().Popup(kBarView)->actions()[item]->isChecked();
    }
    const PaneViews& Views() const { return m_frame->Views(); }
    static void StorePlacement(int left, int top, int right, int bottom) {
        for (const auto& [name, value] :
             {std::pair{"WLeft", left}, {"WTop", top}, {"WRight", right}, {"WBottom", bottom}}) {
            SetSettingDword(name, value);
        }
    }
    // Closes the next modal window (About box, warning) once it is up.
    static void CloseNextModal() {
        QTimer::singleShot(0, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                modal->close();
            }
        });
    }

    test::HeldWork m_slow{.release = true};  // the listing worker's passes
    test::HeldWork m_sizeHold;               // the size worker's count, where a test hooks it
    std::function<void(PaneController&)> m_prepare;  // before the controller starts
    std::unique_ptr<CMainFrame> m_frame;
    std::vector<test::RecordingController*> m_controllers;
    test::UrlRecorder m_urls;
};

TEST_F(MainWindowTest, NewUserFirstStartAndTheValuesOfTheFirstClose) {
    CMainFrame& frame = Open();
    EXPECT_EQ(frame.windowTitle(), "Brevorn");
    ASSERT_TRUE(Views().TwoPanes());
    EXPECT_EQ(Views().LeftWidth(), 288);
    CLeftView& left = *Views().LeftView();
    EXPECT_TRUE(left.Tree()->isVisible());
    EXPECT_FALSE(left.List()->isVisible());
    EXPECT_TRUE(left.Hint()->isVisible());  // the lower strip shows the hint, not the banner
    EXPECT_FALSE(left.BannerButton()->isVisible());
    EXPECT_EQ(left.Hint()->geometry().bottom(), left.height() - 1);
    EXPECT_FALSE(frame.Bars().LocationBox()->isVisible());  // no location box in Tree kind
    EXPECT_EQ(frame.Bars().PathEdit()->x(), 0);
    EXPECT_TRUE(frame.Menus().Action(kCmdPasses3)->isChecked());
    EXPECT_TRUE(ViewChecked(kViewTree));
    EXPECT_FALSE(ViewChecked(kViewBigIcons) || ViewChecked(kViewList));
    EXPECT_TRUE(ViewChecked(kViewRightWindow));
    EXPECT_TRUE(ViewChecked(kViewAdvertisement));
    EXPECT_TRUE(ViewChecked(kViewDesktopShortcut));
    EXPECT_FALSE(ViewChecked(kViewContextMenu));
    const QRect placed = frame.geometry();
    CloseAndWait();

    // Exactly these keys, each with its value (the program's path and the pane state apart).
    QSettings stored(QString::fromStdString(test::StoreFile()), QSettings::IniFormat);
    QStringList keys = stored.allKeys();
    keys.sort();
    QString values;
    for (const QString& key : keys) {
        values +=
            key == "FilePath" || key == "RizUze"
                ? key + " "
                : QString("%1=%2 ").arg(key).arg(GetSettingDword(key.toLatin1().constData(), -99));
    }
    EXPECT_EQ(values.toStdString(),
              QString("ACookie=0 AHistory=0 AInternet=0 ARecent=0 ARecycled=1 ATemp=1 "
                      "Advertisement=1 ContextMenu=0 DesktopShortcut=1 FilePath LeftType=0 "
                      "LeftWidth=288 Passes=3 RightType=1 RizUze WBottom=%4 WLeft=%1 WRight=%3 "
                      "WTop=%2 WZoomed=0 ")
                  .arg(placed.left())
                  .arg(placed.top())
                  .arg(placed.left() + placed.width())
                  .arg(placed.top() + placed.height())
                  .toStdString());
    // The pane-state record: three widths, two counts and two folders at least.
    EXPECT_GE(stored.value("RizUze").toByteArray().size(), 24);
}

struct ViewCase {
    const char* name;
    int storedKind;  // the "LeftType" the window starts with
    int command;
    LeftPaneKind kind;
    bool twoPanes;
    int checkedItem;
};

class ViewCommandTest : public MainWindowTest, public testing::WithParamInterface<ViewCase> {};

TEST_P(ViewCommandTest, RebuildsThePanesThroughTheControllerShutdown) {
    const ViewCase& c = GetParam();
    SetSettingDword("LeftType", c.storedKind);
    CMainFrame& frame = Open();
    ChooseAndWaitRebuilt(c.command);
    EXPECT_EQ(frame.Settings().leftType, c.kind);
    EXPECT_EQ(Views().TwoPanes(), c.twoPanes);
    EXPECT_EQ(Views().EraseList() != nullptr, c.twoPanes);
    for (int item : {kViewBigIcons, kViewList, kViewTree}) {
        EXPECT_EQ(ViewChecked(item), item == c.checkedItem) << item;
    }
    EXPECT_EQ(ViewChecked(kViewRightWindow), c.twoPanes);
    const bool tree = c.kind == LeftPaneKind::Tree;
    QAbstractItemView* shown =
        tree ? static_cast<QAbstractItemView*>(Views().LeftTree()) : Views().LeftList();
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isVisible());
    if (!tree) {
        EXPECT_EQ(Views().LeftList()->viewMode(),
                  c.kind == LeftPaneKind::BigIcons ? QListView::IconMode : QListView::ListMode);
    }
    if (c.twoPanes) {
        EXPECT_NE(Views().LeftView()->Tree()->isVisible(), Views().LeftView()->List()->isVisible());
    }
    // The path edit starts right of the location box, or spans the bar without it.
    const MainBars& bars = frame.Bars();
    EXPECT_EQ(bars.LocationBox()->isVisible(), !tree);
    EXPECT_EQ(bars.PathEdit()->x(), tree ? 0 : bars.LocationBox()->geometry().right() + 2);
    EXPECT_EQ(bars.PathEdit()->geometry().right(), frame.width() - 1);
    ASSERT_EQ(m_controllers.size(), 2u);
    EXPECT_EQ(frame.Controller(), m_controllers[1]);
    EXPECT_EQ(test::LayoutFaults(frame), "");
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ViewCommandTest,
    testing::Values(ViewCase{"BigIcons", 0, kCmdBigIcons, LeftPaneKind::BigIcons, true, 0},
                    ViewCase{"List", 1, kCmdList, LeftPaneKind::List, true, 1},
                    ViewCase{"Tree", 2, kCmdTree, LeftPaneKind::Tree, true, 2},
                    ViewCase{"OnePaneTree", 0, kCmdUseRightWindow, LeftPaneKind::Tree, false, 2},
                    ViewCase{"OnePaneList", 2, kCmdUseRightWindow, LeftPaneKind::List, false, 1}),
    [](const testing::TestParamInfo<ViewCase>& info) { return info.param.name; });

TEST_F(MainWindowTest, ProgramWindowIsShownAndGoesAwayWhenClosed) {
    CMainFrame::OpenMainWindow();
    QPointer<CMainFrame> frame;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<CMainFrame*>(window)) {
            frame = found;
        }
    }
    ASSERT_TRUE(frame);
    EXPECT_TRUE(frame->isVisible());
    frame->close();
    ASSERT_TRUE(EventuallyOnLoop([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return frame.isNull();
    }));
}

// Column widths survive a rebuild; the right window comes back with its left width.
TEST_F(MainWindowTest, PaneStateAndLeftWidthSurviveRebuilds) {
    Open();
    Views().EraseList()->setColumnWidth(2, 333);
    Views().Splitter()->setSizes({400, 600});
    ChooseAndWaitRebuilt(kCmdList);
    EXPECT_EQ(Views().EraseList()->columnWidth(2), 333);
    EXPECT_EQ(m_controllers.at(1)->State().columnWidth[2], 333);
    ChooseAndWaitRebuilt(kCmdUseRightWindow);
    EXPECT_FALSE(Views().TwoPanes());
    ChooseAndWaitRebuilt(kCmdUseRightWindow);
    ASSERT_TRUE(Views().TwoPanes());
    EXPECT_EQ(Views().LeftWidth(), 400);
}

TEST_F(MainWindowTest, LeftColumnNarrowerThanTheMinimumSnapsBackButZeroStays) {
    Open();
    QSplitter& splitter = *Views().Splitter();
    splitter.setSizes({150, 850});
    QCoreApplication::processEvents();
    EXPECT_EQ(Views().LeftWidth(), PaneViews::kMinLeftWidth);
    // The banner is then centred with (227 - 184) / 2 pixels on its left.
    EXPECT_EQ(Views().LeftView()->BannerButton()->x(), 21);
    splitter.setSizes({0, 1000});
    QCoreApplication::processEvents();
    EXPECT_EQ(Views().LeftWidth(), 0);
}

// A placement far off the screen comes back visible; a maximized window stores its normal
// placement and comes back maximized over it.
TEST_F(MainWindowTest, PlacementComesBackVisibleAndMaximizedOverItsNormalOne) {
    StorePlacement(40000, -30000, 40800, -29400);
    m_frame = std::make_unique<CMainFrame>();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(m_frame->geometry())) << m_frame->geometry().x();
    EXPECT_EQ(m_frame->size(), QSize(800, 600));

    StorePlacement(20, 30, 620, 430);
    m_frame = std::make_unique<CMainFrame>();
    m_frame->show();
    m_frame->setWindowState(Qt::WindowMaximized);
    ASSERT_TRUE(EventuallyOnLoop([&] { return m_frame->isMaximized(); }));
    CloseAndWait();
    EXPECT_EQ(GetSettingDword("WZoomed", -1), 1);
    EXPECT_EQ(GetSettingDword("WLeft", -1), 20);
    EXPECT_EQ(GetSettingDword("WBottom", -1), 430);

    m_frame = std::make_unique<CMainFrame>();
    m_frame->show();  // maximized at the first turn of the event loop, over the same placement
    ASSERT_TRUE(EventuallyOnLoop([&] { return m_frame->isMaximized(); }));
    EXPECT_EQ(m_frame->normalGeometry(), QRect(20, 30, 600, 400));
}

TEST_F(MainWindowTest, ClosingWaitsForTheControllerWhileTheEventLoopRuns) {
    m_slow.release = false;
    CMainFrame& frame = Open();
    test::RecordingController* controller = m_controllers.at(0);
    controller->RefreshAll();  // wakes the listing worker, which is slow to stop
    ASSERT_TRUE(EventuallyOnLoop([&] { return m_slow.busy.load(); }));
    QSignalSpy panesClosed(controller, &PaneController::PanesClosed);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);

    frame.close();
    EXPECT_TRUE(frame.Closing());
    ASSERT_TRUE(EventuallyOnLoop([&] { return ticks >= 5; }));  // the loop keeps running
    EXPECT_TRUE(frame.isVisible());
    frame.close();  // a second request changes nothing
    frame.Bars().LocationBox()->addItem("/");
    Choose(kCmdInsert);
    QCoreApplication::processEvents();
    EXPECT_TRUE(frame.isVisible());
    EXPECT_EQ(controller->routedAfterShutdown, 0);

    bool hiddenBeforeWorkerReturned = false;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        hiddenBeforeWorkerReturned |= !frame.isVisible() && !m_slow.returned.load();
    });
    m_slow.release = true;
    ASSERT_TRUE(EventuallyOnLoop([&] { return !frame.isVisible(); }));
    EXPECT_FALSE(hiddenBeforeWorkerReturned);
    EXPECT_EQ(panesClosed.count(), 1);
    EXPECT_EQ(frame.Controller(), nullptr);
}

// A window destroyed while the size worker waits for the window's thread in the middle of a
// count goes at once, whether it was never closed or its close had only begun.
TEST_F(MainWindowTest, DestroyedWhileTheSizeWorkerWaitsForTheWindowItGoesAtOnce) {
    test::TempDir dir;
    ASSERT_TRUE(test::MakeDirs(dir / "folder/sub"));
    FileItem folder;
    folder.folder = dir.Path() + "/";
    folder.name = "folder";
    for (bool closeFirst : {false, true}) {
        SCOPED_TRACE(closeFirst ? "close begun" : "never closed");
        std::atomic<int> queued{0};
        m_sizeHold.busy = false;
        m_sizeHold.release = false;
        m_prepare = [&](PaneController& controller) {
            controller.Sizes().SetFolderHook([this](std::size_t) { m_sizeHold.Run(); });
            controller.Sizes().Gate().SetQueuedHook([&] { ++queued; });
        };
        CMainFrame& frame = Open();
        ASSERT_EQ(frame.Controller()->AddItems({folder}), 1);
        ASSERT_TRUE(EventuallyOnLoop([&] { return m_sizeHold.busy.load(); }));
        const int before = queued.load();
        m_sizeHold.release = true;
        // The total is handed over: the worker waits (for this thread, which turns no events).
        ASSERT_TRUE(test::Eventually([&] { return queued.load() != before; }));
        if (closeFirst) {
            frame.close();
        }
        m_frame.reset();
    }
}

TEST_F(MainWindowTest, ClosingDuringARebuildClosesWhenTheOldPanesHaveClosed) {
    m_slow.release = false;
    CMainFrame& frame = Open();
    m_controllers.at(0)->RefreshAll();
    ASSERT_TRUE(EventuallyOnLoop([&] { return m_slow.busy.load(); }));
    Choose(kCmdList);
    frame.close();
    m_slow.release = true;
    ASSERT_TRUE(EventuallyOnLoop([&] { return !frame.isVisible(); }));
    EXPECT_EQ(m_controllers.size(), 1u);  // no new panes for a closing window
    EXPECT_EQ(GetSettingDword("LeftType", -1), 2);
}

TEST_F(MainWindowTest, ShowAdvertisementHidesTheStripAndTheDragRetiresTheHint) {
    CMainFrame& frame = Open();
    CLeftView& left = *Views().LeftView();
    Choose(kCmdAdvertisement);
    EXPECT_FALSE(ViewChecked(kViewAdvertisement));
    EXPECT_FALSE(left.Hint()->isVisible() || left.BannerButton()->isVisible());
    EXPECT_EQ(left.Tree()->height(), left.height());
    Choose(kCmdAdvertisement);
    EXPECT_TRUE(ViewChecked(kViewAdvertisement));
    EXPECT_TRUE(left.Hint()->isVisible());
    frame.OnLeftPaneBeginDrag();
    EXPECT_FALSE(frame.ShowHint());
    EXPECT_FALSE(left.Hint()->isVisible());
    EXPECT_TRUE(left.BannerButton()->isVisible());
    EXPECT_EQ(test::LayoutFaults(frame), "");  // the banner lies inside the pane too
    left.BannerButton()->click();
    ASSERT_EQ(m_urls.opened.size(), 1u);
    EXPECT_EQ(m_urls.opened[0].host(), "miravelt.example");
}

// Ctrl+4, 6 and 8 have no menu item: their counts check nothing in the Passes menu.
TEST_F(MainWindowTest, PassCommandsSetTheCountAndItsLabel) {
    CMainFrame& frame = Open();
    const std::tuple<int, int, int> cases[] = {
        {kCmdPasses0, 0, 0},  {kCmdPasses7, 7, 5}, {kCmdPasses4, 4, -1}, {kCmdPasses9, 9, 6},
        {kCmdPasses6, 6, -1}, {kCmdPasses5, 5, 4}, {kCmdPasses8, 8, -1}};
    for (const auto& [command, passes, item] : cases) {
        Choose(command);
        EXPECT_EQ(frame.Settings().passes, passes);
        EXPECT_EQ(frame.Menus().Action(kCmdPassesLabel)->text(), QString("Passes: %1").arg(passes));
        const QList<QAction*> popup = frame.Menus().Popup(kBarPasses)->actions();
        for (int i = 0; i < popup.size(); ++i) {
            EXPECT_EQ(popup[i]->isChecked(), i == item) << passes << " item " << i;
        }
    }
}

// Text (with its mnemonic) and key of every item of a popup, "-" for a separator.
std::string Describe(const QMenu& popup) {
    std::string text;
    for (const QAction* action : popup.actions()) {
        text += action->isSeparator() ? std::string("-") : action->text().toStdString();
        if (!action->shortcut().isEmpty()) {
            text += "\t" + action->shortcut().toString().toStdString();
        }
        text += action->isEnabled() ? "" : " (grayed)";
        text += "\n";
    }
    return text;
}

// The Help menu and the desktop switches do what they say, through the shell seam: nothing
// real is opened or started.
TEST_F(MainWindowTest, HelpCommandsAndDesktopSwitchesWork) {
    CMainFrame& frame = Open();
    test::BoxAnswerer answerer;
    Choose(kCmdHomePage);
    ASSERT_EQ(m_urls.opened.size(), 1u);
    EXPECT_EQ(m_urls.opened.back().host().toStdString(), "miravelt.example");
    // The manual is not next to the test program: F1 says so in a box.
    answerer.ThenClick(QMessageBox::Ok);
    Choose(kCmdInstruction);
    EXPECT_EQ(answerer.Seen().size(), 1u);
    CloseNextModal();  // the About box
    Choose(kCmdAbout);
    // The launcher follows its switch (on for a new user), and the entry stays off without
    // kvc, after the download warning.
    EXPECT_TRUE(std::filesystem::exists(ShellIntegration::LauncherPath().toStdString()));
    Choose(kCmdDesktopShortcut);
    EXPECT_FALSE(std::filesystem::exists(ShellIntegration::LauncherPath().toStdString()));
    EXPECT_FALSE(ViewChecked(kViewDesktopShortcut));
    CloseNextModal();  // the download warning
    Choose(kCmdContextMenu);
    EXPECT_FALSE(ViewChecked(kViewContextMenu));
    EXPECT_FALSE(frame.Settings().contextMenu);
    EXPECT_EQ(answerer.Unexpected(), 0);
}

TEST_F(MainWindowTest, MenuBarHasItsItemsInOrderWithTheirKeys) {
    CMainFrame& frame = Open();
    const QList<QAction*> bar = frame.menuBar()->actions();
    std::string top;
    for (const QAction* action : bar) {
        top += action->text().toStdString() + (action->isEnabled() ? "|" : " (grayed)|");
    }
    EXPECT_EQ(top, "&File|&View|&Passes|&Help|  (grayed)|Passes: 3 (grayed)|&Erase|");
    EXPECT_FALSE(frame.menuBar()->isNativeMenuBar());
    EXPECT_EQ(Describe(*bar[0]->menu()), "&Erase\tCtrl+E\n&Cancel\tEsc\n-\nE&xit\tCtrl+Q\n");
    EXPECT_EQ(Describe(*bar[1]->menu()),
              "&Big Icons List\n&List\n&Tree\nUse &Right Window\n-\nShow &Advertisement\n"
              "Add Shortcut to &Desktop\nAdd to &Context Menu\n");
    EXPECT_EQ(Describe(*bar[2]->menu()),
              "&0 - Without cleaning\tCtrl+0\n&1 - One layer of random data\tCtrl+1\n"
              "&2 - Two layers of random data\tCtrl+2\n&3 - Random, inverted and random\tCtrl+3\n"
              "&5\tCtrl+5\n&7\tCtrl+7\n&9\tCtrl+9\n");
    EXPECT_EQ(Describe(*bar[3]->menu()), "&Instruction...\tF1\n&About Brevorn...\n&Home Page...\n");
    std::string keys;
    for (int command : {kCmdPasses4, kCmdPasses6, kCmdPasses8, kCmdInsert, kCmdDelete, kCmdEnter}) {
        keys += frame.Menus().Action(command)->shortcut().toString().toStdString() + " ";
    }
    EXPECT_EQ(keys, "Ctrl+4 Ctrl+6 Ctrl+8 Ins Del Return ");
}

}  // namespace
}  // namespace tolvane
