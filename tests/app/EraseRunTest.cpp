// The main window's erase run driven as a user drives it (Insert, Delete, Erase, the boxes
// answered by the test), and the window's keys and menus: real widgets, files and runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <atomic>
#include <climits>
#include <filesystem>
#include <thread>

#include "HostNotes.h"
#include "ImmutableFiles.h"
#include "MainFrameTestSupport.h"
#include "QtTestEnvironment.h"
#include "RamVolume.h"
#include "TempDir.h"
#include "app/EraseRunControl.h"
#include "app/MainBars.h"
#include "app/MainCommands.h"
#include "app/MainMenus.h"
#include "app/MainSettings.h"
#include "app/PaneViews.h"
#include "engine/EraseEngine.h"
#include "engine/FormatSize.h"
#include "items/DataMemoryWriter.h"
#include "items/DroppedItem.h"
#include "items/PaneState.h"
#include "panes/EraseList.h"
#include "panes/Locations.h"
#include "platform/Volumes.h"

namespace tolvane {
namespace {

using test::EventuallyOnLoop;
using test::Exists;
using test::Lines;
using test::ReadFile;
using test::Received;
using test::WithoutReasons;
using test::WriteFile;

constexpr std::uint64_t kLongFileSize = 200ull << 20;  // keeps a 3-pass run going for a while

// Holds a run's worker at its first gate (before it touches the first entry) until let go.
// The hold is the test's own, apart from the gate the stop question holds and releases.
struct WorkerHold {
    std::atomic<bool> reached{false};
    std::atomic<bool> letGo{false};

    EngineFactory Factory() {
        return [this](int passes) {
            auto engine = std::make_unique<EraseEngine>(passes);
            PauseGate::Hooks hooks;
            hooks.arriving = [this] {
                reached = true;
                while (!letGo.load()) {
                    std::this_thread::yield();
                }
            };
            engine->Gate().SetHooks(std::move(hooks));
            return engine;
        };
    }
};

class EraseRunTest : public test::WithoutSettingsFile {
protected:
    void TearDown() override {
        m_hold.letGo = true;  // a failed test must not leave a worker waiting
        if (m_frame && m_frame->isVisible()) {
            // Closed as a user closes it: the pane workers (the size worker may still be
            // busy with the rows) end before the window goes.
            m_frame->close();
            EXPECT_TRUE(EventuallyOnLoop([&] { return !m_frame->isVisible(); }));
        }
        m_frame.reset();
        WithoutSettingsFile::TearDown();
    }

    // The window with the List kind, its browser list in m_start (the test's folder unless
    // set), and the run's engines from `factory` (plain ones when empty).
    CMainFrame& Open(EngineFactory factory = {}, bool twoPanes = true) {
        MainSettings settings;
        settings.leftType = m_leftType;
        settings.useRightWindow = twoPanes;
        settings.desktopShortcut = false;
        PaneState state;
        state.folder[0] = m_start.empty() ? m_dir.Path() + "/" : m_start;
        Data::MemoryWriter paneState;
        SavePaneState(paneState, state);
        SaveSettings(settings, paneState);
        MainFrameHooks hooks;
        hooks.makeEngine = std::move(factory);
        hooks.openUrl = [this](const QUrl& url) {
            m_openedUrls.push_back(url);  // never a real program
            return true;
        };
        hooks.shell.run = [](const QString&, const QStringList&, QString*) { return -1; };
        hooks.notify = [this](const QString& summary, const QString& body) {
            m_notified.emplace_back(
                summary,  // never the desktop's
                QString::fromStdString(test::WithoutHostNotes(body.toStdString())));
            return true;
        };
        hooks.clock = [this] { return m_now; };
        m_frame = std::make_unique<CMainFrame>(hooks);
        m_frame->resize(1000, 700);
        m_frame->show();
        m_frame->activateWindow();
        QCoreApplication::processEvents();
        return *m_frame;
    }
    PaneController& Controller() const { return *m_frame->Controller(); }
    QListWidget& BrowserList() const { return *m_frame->Views().LeftList(); }
    QTreeWidget& EraseListControl() const { return *m_frame->Views().EraseList(); }
    QAction& EraseItem() const { return *m_frame->Menus().Action(kCmdEraseItem); }
    int Progress() const { return m_frame->Bars().Progress()->value(); }
    void Choose(int command) { m_frame->Menus().Action(command)->trigger(); }

    std::string MakeFile(const std::string& name, const std::string& content = "secret") {
        EXPECT_TRUE(WriteFile(m_dir / name, content));
        return m_dir / name;
    }
    // Selects these entries of the browser list and presses Insert with the list focused.
    void Insert(const std::vector<std::string>& names) {
        Select(names);
        Choose(kCmdInsert);
    }
    // Selects these entries of the browser list, focused, once its listing shows them.
    void Select(const std::vector<std::string>& names) {
        QListWidget& list = BrowserList();
        const auto itemsOf = [&](const std::string& name) {
            return list.findItems(QString::fromStdString(name), Qt::MatchExactly);
        };
        EXPECT_TRUE(EventuallyOnLoop([&] {
            return std::none_of(names.begin(), names.end(),
                                [&](const std::string& name) { return itemsOf(name).isEmpty(); });
        }));
        list.clearSelection();
        for (const std::string& name : names) {
            for (QListWidgetItem* item : itemsOf(name)) {
                item->setSelected(true);
            }
        }
        list.setFocus();
        QCoreApplication::processEvents();
    }
    // Goes to the test's folder as a user does: the home folder from the location box, then
    // Enter on the ".." it selects, and down through TMPDIR (the home folder's sibling here).
    void GoToTestFolder(const std::string& home) {
        const std::vector<Location>& locations = Controller().Locations();
        auto entry = locations.end();
        // The special folders join the box once the listing worker has looked for them.
        ASSERT_TRUE(EventuallyOnLoop([&] {
            entry = std::find_if(locations.begin(), locations.end(), [&](const Location& l) {
                return l.kind == LocationKind::SpecialFolder && l.path == home;
            });
            return entry != locations.end();
        }));
        m_frame->Bars().LocationBox()->setCurrentIndex(static_cast<int>(entry - locations.begin()));
        const std::string above = home.substr(0, home.rfind('/', home.size() - 2) + 1);
        const std::string name = m_dir.Path().substr(m_dir.Path().rfind('/') + 1);
        ASSERT_EQ(m_dir.Path(), above + "tmp/" + name);
        for (const std::string& step : {std::string(".."), std::string("tmp"), name}) {
            Select({step});
            Choose(kCmdEnter);
        }
        ASSERT_TRUE(EventuallyOnLoop([&] {
            return m_frame->Bars().PathEdit()->text().toStdString() == m_dir.Path() + "/";
        }));
    }
    void SelectRow(int row) {
        EraseListControl().clearSelection();
        EraseListControl().topLevelItem(row)->setSelected(true);
    }
    std::vector<std::string> Rows() const {
        std::vector<std::string> paths;
        for (const FileItem& item : Controller().CollectEraseList()) {
            paths.push_back(item.FullPath());
        }
        return paths;
    }
    // Chooses Erase (the menu-bar item), answers the boxes with `answers` in turn, and waits
    // for the run's end and its report.
    void EraseAndWait(std::initializer_list<QMessageBox::StandardButton> answers) {
        for (QMessageBox::StandardButton answer : answers) {
            m_answerer.ThenClick(answer);
        }
        QSignalSpy ended(&m_frame->EraseRun(), &EraseRunControl::Ended);
        Choose(kCmdEraseItem);
        ASSERT_TRUE(Received(ended));
    }
    // Starts a run whose worker the test holds before its first entry.
    void StartHeldRun() {
        m_answerer.ThenClick(QMessageBox::Yes);
        Choose(kCmdEraseItem);
        ASSERT_TRUE(EventuallyOnLoop([&] { return m_hold.reached.load(); }));
    }
    // The window as it is between runs.
    void ExpectIdle() {
        EXPECT_FALSE(m_frame->EraseRun().Running());
        EXPECT_EQ(EraseItem().text().remove('&'), "Erase");  // "&Erase" before the first run
        EXPECT_EQ(Progress(), 0);
        EXPECT_TRUE(Controller().EditingEnabled());
    }

    test::TempDir m_dir;
    std::string m_start;
    LeftPaneKind m_leftType = LeftPaneKind::List;
    test::BoxAnswerer m_answerer;
    WorkerHold m_hold;
    std::vector<QUrl> m_openedUrls;
    std::vector<std::pair<QString, QString>> m_notified;  // summary and body
    std::chrono::steady_clock::time_point m_now;          // the window's clock
    std::unique_ptr<CMainFrame> m_frame;
};

// Insert twice gives each entry one row, folders first; Delete takes one off; Erase erases
// exactly what the confirmation listed, even when something tries to join the list meanwhile.
TEST_F(EraseRunTest, ErasesTheConfirmedRowsTakesThemOffAndSaysSo) {
    const std::string a = MakeFile("a.txt");
    const std::string b = MakeFile("b.txt", "kept");
    ASSERT_TRUE(test::MakeDirs(m_dir / "folder/sub"));
    MakeFile("folder/sub/inner");
    const std::string folder = m_dir / "folder";
    const std::string late = MakeFile("late.txt", "not confirmed");
    const std::string home = std::string(std::getenv("HOME")) + "/";
    m_start = home;
    Open();
    GoToTestFolder(home);

    Insert({"a.txt", "b.txt", "folder"});
    Insert({"a.txt", "folder"});
    ASSERT_EQ(Rows(), (std::vector<std::string>{folder, a, b}));
    SelectRow(2);
    Choose(kCmdDelete);
    ASSERT_EQ(Rows(), (std::vector<std::string>{folder, a}));

    m_answerer.Then([&](QMessageBox* box) {
        // A drop while the question is open changes nothing.
        EXPECT_EQ(Controller().AddItems({DroppedFileItem(late)}), 0);
        box->button(QMessageBox::Yes)->click();
    });
    m_answerer.ThenClick(QMessageBox::Ok);
    QSignalSpy ended(&m_frame->EraseRun(), &EraseRunControl::Ended);
    Choose(kCmdEraseItem);
    EXPECT_EQ(EraseItem().text(), "Cancel");
    EXPECT_FALSE(Controller().EditingEnabled());
    ASSERT_TRUE(Received(ended));

    ASSERT_EQ(m_answerer.Seen().size(), 2u);
    const test::SeenBox& confirm = m_answerer.Seen()[0];
    EXPECT_EQ(confirm.title, "Question");
    EXPECT_EQ(confirm.text, "Confirm erasing following files:" + Lines({folder, a}));
    EXPECT_EQ(confirm.icon, QMessageBox::Question);
    EXPECT_EQ(confirm.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(confirm.defaultButton, QMessageBox::Yes);
    const test::SeenBox& done = m_answerer.Seen()[1];
    EXPECT_EQ(done.title, "Message");
    EXPECT_EQ(done.text, "Data successfully erased");
    EXPECT_EQ(done.icon, QMessageBox::Information);
    EXPECT_FALSE(Exists(a) || Exists(folder));
    EXPECT_EQ(ReadFile(b), "kept");
    EXPECT_EQ(ReadFile(late), "not confirmed");
    EXPECT_EQ(Rows(), std::vector<std::string>{});
    ExpectIdle();
    EXPECT_EQ(m_answerer.Unexpected(), 0);
}

// With one browsing view there is no erase list: Erase takes the view's selection.
TEST_F(EraseRunTest, OnePaneErasesTheSelection) {
    const std::string a = MakeFile("a");
    const std::string b = MakeFile("b", "kept");
    const std::string c = MakeFile("c");
    CMainFrame& frame = Open({}, false);
    ASSERT_FALSE(frame.Views().TwoPanes());
    Select({"a", "c"});
    EraseAndWait({QMessageBox::Yes, QMessageBox::Ok});

    ASSERT_EQ(m_answerer.Seen().size(), 2u);
    EXPECT_EQ(m_answerer.Seen()[0].text, "Confirm erasing following files:" + Lines({a, c}));
    EXPECT_EQ(m_answerer.Seen()[1].text, "Data successfully erased");
    EXPECT_FALSE(Exists(a) || Exists(c));
    EXPECT_EQ(ReadFile(b), "kept");
    ExpectIdle();
}

// A stop: the item reads "Erase" from the answer on; what failed and the file cut short are
// reported and keep marked rows, the rows not reached stay as they were, the bar goes to 0.
TEST_F(EraseRunTest, StopShowsTheFailuresSoFarAndLeavesTheRestListed) {
    test::ImmutableFiles immutable;
    const std::string locked = MakeFile("1-locked");
    if (!immutable.Add(locked)) {
        GTEST_SKIP() << test::kNoImmutableFiles;
    }
    const std::string big = m_dir / "2-big";
    ASSERT_TRUE(test::WriteFileOfSize(big, kLongFileSize));
    const std::string later = MakeFile("3-later", "untouched");
    ASSERT_TRUE(test::MakeDirs(m_dir / "4-folder"));
    const std::string inFolder = MakeFile("4-folder/inner", "untouched too");
    Open();
    Choose(kCmdPasses3);
    // The listing shows folders first: the folder joins the rows last.
    Insert({"1-locked", "2-big", "3-later"});
    Insert({"4-folder"});

    // The item's texts, each with whether the run was still going when it was set.
    std::vector<std::pair<QString, bool>> itemTexts;
    QObject::connect(&EraseItem(), &QAction::changed, m_frame.get(), [&] {
        itemTexts.emplace_back(EraseItem().text(), m_frame->EraseRun().Running());
    });
    test::OnFirstProgress(*m_frame->Bars().Progress(), [&] { Choose(kCmdCancel); });
    m_answerer.ThenClick(QMessageBox::Yes);  // erase
    m_answerer.ThenClick(QMessageBox::Yes);  // stop
    int barBehindBox = -1;
    m_answerer.Then([&](QMessageBox* box) {
        barBehindBox = Progress();
        box->button(QMessageBox::Ok)->click();
    });
    EraseAndWait({});
    EXPECT_EQ(barBehindBox, 0);  // not left full behind the closing box

    ASSERT_EQ(m_answerer.Seen().size(), 3u);
    EXPECT_EQ(m_answerer.Seen()[1].text, "Do you want to stop erasing?");
    EXPECT_EQ(m_answerer.Seen()[1].title, "Question");
    EXPECT_EQ(WithoutReasons(m_answerer.Seen()[2].text),
              "Following files can't be erased:" + Lines({locked, big}));
    const std::vector<std::pair<QString, bool>> expectedTexts = {{"Cancel", true}, {"Erase", true}};
    EXPECT_EQ(itemTexts, expectedTexts);
    EXPECT_EQ(Rows(), (std::vector<std::string>{locked, big, later, m_dir / "4-folder"}));
    const EraseList& rows = Controller().EraseRows();
    EXPECT_TRUE(rows.RowFailed(0) && rows.RowFailed(1));
    EXPECT_FALSE(rows.RowFailed(2) || rows.RowFailed(3));
    EXPECT_TRUE(Exists(big));
    EXPECT_EQ(ReadFile(later), "untouched");
    EXPECT_EQ(ReadFile(inFolder), "untouched too");
    ExpectIdle();
}

// While a run goes on or a stopped run ends, the list takes no edits and the panes are not
// rebuilt (the run takes its rows off by position); settings of the next run can change.
TEST_F(EraseRunTest, DuringARunTheListAndThePanesStayAsTheyAre) {
    const std::string a = MakeFile("a");
    const std::string b = MakeFile("b");
    const std::string c = MakeFile("c");
    CMainFrame& frame = Open(m_hold.Factory());
    QSignalSpy rebuilt(&frame, &CMainFrame::PanesRebuilt);
    Insert({"a", "b"});
    ASSERT_NO_FATAL_FAILURE(StartHeldRun());

    // Running, then stopping: the same refusals.
    for (bool stopping : {false, true}) {
        SCOPED_TRACE(stopping ? "stopping" : "running");
        Insert({"c"});
        SelectRow(0);
        Choose(kCmdDelete);
        EXPECT_EQ(Controller().AddItems({DroppedFileItem(c)}), 0);
        EXPECT_EQ(Rows(), (std::vector<std::string>{a, b}));
        for (int command : {kCmdBigIcons, kCmdTree, kCmdList, kCmdUseRightWindow}) {
            Choose(command);
        }
        QCoreApplication::processEvents();
        EXPECT_EQ(rebuilt.count(), 0);
        EXPECT_EQ(frame.Settings().leftType, LeftPaneKind::List);
        EXPECT_TRUE(frame.Settings().useRightWindow);
        const bool advertisement = frame.Settings().showAdvertisement;
        Choose(kCmdAdvertisement);
        EXPECT_NE(frame.Settings().showAdvertisement, advertisement);
        Choose(stopping ? kCmdPasses6 : kCmdPasses5);
        EXPECT_EQ(frame.Menus().Action(kCmdPassesLabel)->text(),
                  stopping ? "Passes: 6" : "Passes: 5");
        if (!stopping) {
            EXPECT_EQ(EraseItem().text(), "Cancel");
            m_answerer.ThenClick(QMessageBox::Yes);
            Choose(kCmdCancel);
            EXPECT_EQ(EraseItem().text(), "Erase");
        } else {
            // Erase and Esc ask nothing more while the stop is under way.
            Choose(kCmdEraseItem);
            Choose(kCmdCancel);
        }
        EXPECT_TRUE(frame.EraseRun().Running());
    }
    EXPECT_EQ(m_answerer.Seen().size(), 2u);

    // The worker was held before its first entry: that entry is reported, the rest stays.
    m_answerer.ThenClick(QMessageBox::Ok);
    QSignalSpy ended(&frame.EraseRun(), &EraseRunControl::Ended);
    m_hold.letGo = true;
    ASSERT_TRUE(Received(ended));
    EXPECT_EQ(WithoutReasons(m_answerer.Seen()[2].text),
              "Following files can't be erased:" + Lines({a}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{a, b}));
    EXPECT_TRUE(Exists(a) && Exists(b));
    ExpectIdle();
    EXPECT_EQ(frame.Settings().passes, 6);

    Choose(kCmdTree);
    ASSERT_TRUE(rebuilt.wait(60000));
    EXPECT_EQ(m_answerer.Unexpected(), 0);
}

// Closing while a run goes on asks to stop; No keeps everything going, Yes closes the window
// once the run has ended (a second close meanwhile asks nothing).
TEST_F(EraseRunTest, ClosingDuringARunAsksAndClosesOnlyAfterTheRunEnded) {
    MakeFile("a");
    CMainFrame& frame = Open(m_hold.Factory());
    Insert({"a"});
    ASSERT_NO_FATAL_FAILURE(StartHeldRun());

    m_answerer.ThenClick(QMessageBox::No);
    frame.close();
    ASSERT_EQ(m_answerer.Seen().size(), 2u);
    EXPECT_EQ(m_answerer.Seen()[1].text, "Do you want to stop erasing?");
    EXPECT_FALSE(frame.Closing());
    EXPECT_EQ(EraseItem().text(), "Cancel");

    m_answerer.ThenClick(QMessageBox::Yes);
    frame.close();
    frame.close();  // asked already: no second question
    QCoreApplication::processEvents();
    EXPECT_EQ(m_answerer.Seen().size(), 3u);
    EXPECT_TRUE(frame.isVisible() && frame.Closing());

    m_answerer.ThenClick(QMessageBox::Ok);  // the entry the stop left
    m_hold.letGo = true;
    ASSERT_TRUE(EventuallyOnLoop([&] { return !frame.isVisible(); }));
    EXPECT_EQ(m_answerer.Unexpected(), 0);
}

// A drive row is confirmed as the free space of its volume; a long list is cut after twenty
// paths so that the box still fits the screen. No leaves everything as it was.
TEST_F(EraseRunTest, ConfirmationNamesFreeSpaceAndFitsTheScreen) {
    std::vector<FileItem> items;
    for (int i = 0; i < 1000; ++i) {
        items.push_back(DroppedFileItem(MakeFile("f" + std::to_string(1000 + i), "")));
    }
    Open();
    const std::vector<Volume> volumes = ListVolumes();
    if (!volumes.empty()) {
        std::optional<FileItem> drive = DriveItem(volumes.front().root);
        ASSERT_TRUE(drive);
        ASSERT_EQ(Controller().AddItems({*drive}), 1);
        m_answerer.ThenClick(QMessageBox::No);
        Choose(kCmdEraseItem);
        ASSERT_EQ(m_answerer.Seen().size(), 1u);
        // The notes that follow are that volume's, whatever it is here.
        EXPECT_EQ(m_answerer.Seen()[0].text.split("\n\n").front(),
                  "Confirm erasing following files:\nFree space on drive " +
                      QString::fromStdString(drive->name));
        SelectRow(0);
        Choose(kCmdDelete);
    }
    ASSERT_EQ(Controller().AddItems(items), 1000);
    int boxHeight = 0;
    m_answerer.Then([&](QMessageBox* box) {
        boxHeight = box->height();
        box->button(QMessageBox::No)->click();
    });
    const std::size_t seen = m_answerer.Seen().size();
    Choose(kCmdEraseItem);

    ASSERT_EQ(m_answerer.Seen().size(), seen + 1);
    const QStringList lines = m_answerer.Seen().back().text.split('\n');
    ASSERT_EQ(lines.size(), 1 + 20 + 1);
    EXPECT_EQ(lines[1].toStdString(), items[0].FullPath());
    EXPECT_EQ(lines.back(), "... and 980 more");
    EXPECT_GT(boxHeight, 0);
    EXPECT_LE(boxHeight, QGuiApplication::primaryScreen()->availableGeometry().height());
    EXPECT_EQ(Rows().size(), 1000u);
    EXPECT_TRUE(Exists(items[999].FullPath()));
    ExpectIdle();
}

// Only a run in which every confirmed row was erased is a success: rows that were not (renamed
// since, never there, too long a path) stay, marked, and are named with their reasons. A name
// with a line break or a terminal control shows escaped, on one line, never as extra paths.
// Tried again, the next run starts with an empty failure list.
TEST_F(EraseRunTest, RowsNotErasedAreNamedWithTheirReasonAndStay) {
    const std::string first = MakeFile("1-first");
    ASSERT_TRUE(test::MakeDirs(m_dir / "2-folder"));
    MakeFile("2-folder/data", "precious");
    const std::string tricky = MakeFile("3-last\nfake path\x1b[1m");
    Open();
    Insert({"1-first", "2-folder"});
    std::filesystem::rename(m_dir / "2-folder", m_dir / "2-renamed");
    const std::string never = m_dir / "gone\rline";
    const std::string tooLong = m_dir.Path() + "/" + std::string(PATH_MAX, 'n');
    ASSERT_EQ(Controller().AddItems(
                  {DroppedFileItem(tricky), DroppedFileItem(never), DroppedFileItem(tooLong)}),
              3);
    EraseAndWait({QMessageBox::Yes, QMessageBox::Ok});

    ASSERT_EQ(m_answerer.Seen().size(), 2u);
    EXPECT_TRUE(m_answerer.Seen()[0].text.contains(QString::fromStdString(
        "\n" + m_dir / "3-last\\nfake path\\e[1m" + "\n" + m_dir / "gone\\rline\n")));
    const test::SeenBox& closing = m_answerer.Seen()[1];
    EXPECT_EQ(closing.title, "Warning");
    EXPECT_EQ(closing.icon, QMessageBox::Warning);
    EXPECT_EQ(closing.text,
              "Following files can't be erased:" +
                  Lines({m_dir / "2-folder - not found", m_dir / "gone\\rline - not found",
                         tooLong + " - refused: path too long (more than 4095 "
                                   "bytes)"}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{m_dir / "2-folder", never, tooLong}));
    const EraseList& rows = Controller().EraseRows();
    for (int row = 0; row < 3; ++row) {
        EXPECT_TRUE(rows.RowFailed(row)) << row;
    }
    EXPECT_EQ(EraseListControl().topLevelItem(0)->toolTip(0).toStdString(),
              m_dir / "2-folder - not found");
    EXPECT_EQ(ReadFile(m_dir / "2-renamed/data"), "precious");
    EXPECT_FALSE(Exists(first) || Exists(tricky));
    ExpectIdle();

    for (int row : {2, 1}) {
        SelectRow(row);
        Choose(kCmdDelete);
    }
    std::filesystem::rename(m_dir / "2-renamed", m_dir / "2-folder");
    EraseAndWait({QMessageBox::Yes, QMessageBox::Ok});
    ASSERT_EQ(m_answerer.Seen().size(), 4u);
    EXPECT_EQ(m_answerer.Seen()[3].text, "Data successfully erased");
    EXPECT_FALSE(Exists(m_dir / "2-folder"));
    EXPECT_EQ(Rows(), std::vector<std::string>{});
}

// Where overwriting in place cannot be relied on (a RAM file system, whose pages may go to
// swap), the confirmation's notes follow the list, as in the other front ends.
TEST_F(EraseRunTest, ConfirmationCarriesTheMediumNotes) {
    test::RamVolume ram(m_dir.Path());
    TOLVANE_SKIP_UNLESS_MOUNTED(ram);
    const std::string file = ram.MakeFile();
    Open();
    ASSERT_EQ(Controller().AddItems({DroppedFileItem(file)}), 1);
    m_answerer.ThenClick(QMessageBox::No);
    Choose(kCmdEraseItem);

    ASSERT_EQ(m_answerer.Seen().size(), 1u);
    const QString expected = "Confirm erasing following files:" + Lines({file}) +
                             "\n\nOverwriting in place may not reach every copy here:\n- " +
                             QString::fromStdString(ram.Folder()) + " (tmpfs): ";
    EXPECT_TRUE(m_answerer.Seen()[0].text.startsWith(expected))
        << m_answerer.Seen()[0].text.toStdString();
    EXPECT_EQ(ReadFile(file), "secret");
    ExpectIdle();
}

// A run that took longer than ten seconds and ends while the user is in another window is
// told to the desktop, in the closing box's words; one that took ten seconds or less, or one
// the user watched end, is not.
TEST_F(EraseRunTest, ALongRunEndingInTheBackgroundIsToldToTheDesktop) {
    Open(m_hold.Factory());
    QWidget elsewhere;
    elsewhere.show();
    const auto run = [&](const std::string& name, std::chrono::seconds took, QWidget& active) {
        ASSERT_EQ(Controller().AddItems({DroppedFileItem(MakeFile(name))}), 1);
        m_hold.reached = false;
        m_hold.letGo = false;
        StartHeldRun();
        m_now += took;
        active.activateWindow();
        ASSERT_TRUE(EventuallyOnLoop([&] { return QApplication::activeWindow() == &active; }));
        QSignalSpy ended(&m_frame->EraseRun(), &EraseRunControl::Ended);
        m_answerer.ThenClick(QMessageBox::Ok);
        m_hold.letGo = true;
        ASSERT_TRUE(EventuallyOnLoop([&] { return ended.count() == 1; }));
        EXPECT_FALSE(Exists(m_dir / name));
    };

    run("long-away", std::chrono::seconds(11), elsewhere);
    ASSERT_EQ(m_notified.size(), 1u);
    EXPECT_EQ(m_notified[0].first, m_answerer.Seen().back().text);
    EXPECT_EQ(m_notified[0].first, "Data successfully erased");
    EXPECT_EQ(m_notified[0].second, "");
    run("short-away", std::chrono::seconds(10), elsewhere);
    run("long-watched", std::chrono::seconds(60), *m_frame);
    EXPECT_EQ(m_notified.size(), 1u);

    // A failure list: its heading is the summary, the list the body.
    const std::string gone = MakeFile("gone");
    ASSERT_EQ(Controller().AddItems({DroppedFileItem(gone)}), 1);
    ASSERT_EQ(::unlink(gone.c_str()), 0);
    run("long-failed", std::chrono::seconds(30), elsewhere);
    ASSERT_EQ(m_notified.size(), 2u);
    const QString box = m_answerer.Seen().back().text;
    EXPECT_EQ(m_notified[1].first + "\n" + m_notified[1].second, box);
    EXPECT_EQ(m_notified[1].first, "Following files can't be erased:");
    EXPECT_TRUE(m_notified[1].second.startsWith(QString::fromStdString(gone))) << box.toStdString();
}

// The progress line: the count while the total is worked out (the worker held at its first
// entry), then the item being erased with what is done of the total; empty after the run.
TEST_F(EraseRunTest, ProgressLineShowsTheCountThenTheItemAndWhatIsDone) {
    ASSERT_TRUE(test::MakeDirs(m_dir / "many"));
    for (int i = 0; i < 120; ++i) {
        MakeFile("many/f" + std::to_string(i));
    }
    ASSERT_TRUE(test::WriteFileOfSize(m_dir / "long", kLongFileSize));
    Open(m_hold.Factory());
    Choose(kCmdPasses1);
    Insert({"many", "long"});
    QLabel& line = *m_frame->Bars().ProgressText();
    StartHeldRun();
    ASSERT_TRUE(EventuallyOnLoop([&] { return !line.toolTip().isEmpty(); }));
    // 122 files and folders: the window hears the count every 50.
    EXPECT_EQ(line.toolTip(), "Total size is calculating, 100 files and folders");

    std::vector<QString> seen;
    QSignalSpy ended(&m_frame->EraseRun(), &EraseRunControl::Ended);
    m_answerer.ThenClick(QMessageBox::Ok);
    m_hold.letGo = true;
    ASSERT_TRUE(EventuallyOnLoop([&] {
        if (seen.empty() || seen.back() != line.toolTip()) {
            seen.push_back(line.toolTip());
        }
        return ended.count() == 1;
    }));
    const QString expectedItem = QString::fromStdString(m_dir / "long") + "  \u00b7  ";
    const QString total = QString::fromStdString(FormatSize(kLongFileSize));
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [&](const QString& text) {
        return text.startsWith(expectedItem) && text.contains(" of " + total);
    })) << seen.back().toStdString();
    EXPECT_TRUE(line.toolTip().isEmpty());
    EXPECT_TRUE(line.text().isEmpty());
}

// The window's keys, as in a Linux file manager: parent (Backspace, Alt+Up) selecting the folder
// left, back and forward, Enter, Ctrl+L with a typed path, Ctrl+Q; the focus stays in the list.
class WindowKeysTest : public EraseRunTest {
protected:
    QLineEdit& PathEdit() const { return *m_frame->Bars().PathEdit(); }
    bool Shows(const std::string& folder) const {
        return PathEdit().text().toStdString() == folder;
    }
    std::string Current() const {
        QListWidgetItem* item = BrowserList().currentItem();
        return item == nullptr ? std::string() : item->text().toStdString();
    }
    void Press(QWidget& widget, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(&widget, key, modifiers);
        QCoreApplication::processEvents();
    }
};

TEST_F(WindowKeysTest, ParentBackForwardEnterTypedPathAndQuit) {
    ASSERT_TRUE(test::MakeDirs(m_dir / "a/b") && test::MakeDirs(m_dir / "c") &&
                test::MakeDirs(m_dir / "gone"));
    MakeFile("a/b/x1");
    MakeFile("c/c1");
    MakeFile("c/c2");
    m_start = m_dir / "a/b/";
    Open();
    Select({"x1"});
    QListWidget& list = BrowserList();

    Press(list, Qt::Key_Backspace);
    ASSERT_TRUE(EventuallyOnLoop([&] { return Shows(m_dir / "a/") && Current() == "b"; }));
    Press(list, Qt::Key_Up, Qt::AltModifier);
    ASSERT_TRUE(EventuallyOnLoop([&] { return Shows(m_dir.Path() + "/") && Current() == "a"; }));
    Press(list, Qt::Key_Left, Qt::AltModifier);
    ASSERT_TRUE(EventuallyOnLoop([&] { return Shows(m_dir / "a/"); }));
    Press(list, Qt::Key_Left, Qt::AltModifier);
    ASSERT_TRUE(EventuallyOnLoop([&] { return Shows(m_dir / "a/b/"); }));
    Press(list, Qt::Key_Right, Qt::AltModifier);
    ASSERT_TRUE(EventuallyOnLoop([&] { return Shows(m_dir / "a/"); }));
    EXPECT_TRUE(list.hasFocus());

    // Ctrl+L, a typed folder and Enter: listed with its first entry current, focus back.
    Press(list, Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(PathEdit().hasFocus());
    EXPECT_FALSE(PathEdit().isReadOnly());
    PathEdit().setText(QString::fromStdString(m_dir / "c"));
    Press(PathEdit(), Qt::Key_Return);
    ASSERT_TRUE(EventuallyOnLoop([&] { return Shows(m_dir / "c/") && Current() == "c1"; }));
    EXPECT_TRUE(list.hasFocus());
    EXPECT_TRUE(PathEdit().isReadOnly());
    // A typed file: its folder, with the file current.
    Press(list, Qt::Key_L, Qt::ControlModifier);
    PathEdit().setText(QString::fromStdString(m_dir / "c/c2"));
    Press(PathEdit(), Qt::Key_Return);
    ASSERT_TRUE(EventuallyOnLoop([&] { return Shows(m_dir / "c/") && Current() == "c2"; }));

    // An unknown path says so and stays to be mended; Esc returns to the folder shown.
    Press(list, Qt::Key_L, Qt::ControlModifier);
    PathEdit().setText("/no/such/folder");
    Press(PathEdit(), Qt::Key_Return);
    EXPECT_EQ(m_frame->Bars().ProgressText()->toolTip(), "No such file or folder: /no/such/folder");
    EXPECT_TRUE(PathEdit().hasFocus());
    Press(PathEdit(), Qt::Key_Escape);
    EXPECT_TRUE(Shows(m_dir / "c/"));
    EXPECT_TRUE(list.hasFocus());

    // A folder that cannot be opened says why, and the list stays where it was.
    Press(list, Qt::Key_Backspace);
    ASSERT_TRUE(EventuallyOnLoop([&] { return Current() == "c"; }));
    Select({"gone"});
    ASSERT_EQ(::rmdir((m_dir / "gone").c_str()), 0);  // before the list hears of it
    Press(list, Qt::Key_Return);
    const std::string said = m_frame->Bars().ProgressText()->toolTip().toStdString();
    EXPECT_EQ(said.rfind(m_dir / "gone/ cannot be opened: ", 0), 0u) << said;
    EXPECT_TRUE(Shows(m_dir.Path() + "/"));

    // Entering a folder from the list also makes its first entry current; the keypad's
    // Enter does what Enter does.
    Select({"a"});
    Press(list, Qt::Key_Return);
    ASSERT_TRUE(EventuallyOnLoop([&] { return Shows(m_dir / "a/") && Current() == "b"; }));
    Select({"b"});
    Press(list, Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_TRUE(EventuallyOnLoop([&] { return Shows(m_dir / "a/b/") && Current() == "x1"; }));

    // Choosing a location in the box hands the keys to the list it now shows.
    QComboBox& box = *m_frame->Bars().LocationBox();
    ASSERT_TRUE(EventuallyOnLoop([&] { return box.count() > 1; }));
    box.setFocus();
    QCoreApplication::processEvents();
    Press(box, Qt::Key_Down);
    EXPECT_TRUE(EventuallyOnLoop([&] { return list.hasFocus(); }));

    Press(list, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(EventuallyOnLoop([&] { return !m_frame->isVisible(); }));
}

// The same keys in the tree: Alt+Up to the parent branch, Ctrl+L with a typed folder, and
// back and forward over the folders the tree showed, each step selecting that folder's
// branch without dropping the steps ahead.
TEST_F(WindowKeysTest, TreeGoesToTheParentBackAndForward) {
    ASSERT_TRUE(test::MakeDirs(m_dir / "a/b") && test::MakeDirs(m_dir / "c"));
    MakeFile("c/c1");
    m_leftType = LeftPaneKind::Tree;
    m_start = m_dir / "a/b/";
    Open();
    QTreeWidget& tree = *m_frame->Views().LeftTree();
    const auto selected = [&](const std::string& folder) {
        return EventuallyOnLoop([&] {
            return tree.currentItem() != nullptr &&
                   Controller().ItemPath(&tree, tree.currentItem()) == folder && Shows(folder);
        });
    };
    ASSERT_TRUE(selected(m_dir / "a/b/"));
    tree.setFocus();

    Press(tree, Qt::Key_Up, Qt::AltModifier);
    ASSERT_TRUE(selected(m_dir / "a/"));
    Press(tree, Qt::Key_L, Qt::ControlModifier);
    PathEdit().setText(QString::fromStdString(m_dir / "c"));
    Press(PathEdit(), Qt::Key_Return);
    // The path edit shows the branch the typed path selected, not the list kind's folder.
    ASSERT_TRUE(selected(m_dir / "c/")) << PathEdit().text().toStdString();
    Press(tree, Qt::Key_L, Qt::ControlModifier);
    PathEdit().setText(QString::fromStdString(m_dir / "c/c1"));
    Press(PathEdit(), Qt::Key_Return);
    ASSERT_TRUE(selected(m_dir / "c/c1"));  // a typed file is selected, not its folder
    for (const auto& [key, folder] : std::vector<std::pair<Qt::Key, std::string>>{
             {Qt::Key_Left, m_dir / "a/"},
             {Qt::Key_Left, m_dir / "a/b/"},
             {Qt::Key_Right, m_dir / "a/"},
             {Qt::Key_Right, m_dir / "c/"},
         }) {
        Press(tree, key, Qt::AltModifier);
        ASSERT_TRUE(selected(folder)) << folder;
        EXPECT_TRUE(tree.hasFocus()) << folder;
    }
}

// The context menus: on a browser entry Open, Insert and the containing folder in the file
// manager; on the erase list Remove and Erase, and for a row that failed its reason.
TEST_F(WindowKeysTest, ContextMenusRunTheWindowsCommandsAndNameTheReason) {
    MakeFile("f1");
    Open();
    Select({"f1"});
    QListWidget& list = BrowserList();
    const auto menuAt = [&](QAbstractItemView& view, QPoint at) {
        emit view.customContextMenuRequested(at);
        QCoreApplication::processEvents();
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        std::vector<std::string> texts;
        for (QAction* action : menu ? menu->actions() : QList<QAction*>()) {
            if (!action->isSeparator()) {
                texts.push_back(action->text().toStdString() + (action->isEnabled() ? "" : " -"));
            }
        }
        return std::make_pair(menu, texts);
    };
    const auto choose = [](QMenu* menu, const QString& text) {
        for (QAction* action : menu->actions()) {
            if (action->text() == text) {
                action->trigger();
            }
        }
        menu->close();
        QCoreApplication::processEvents();
    };
    list.clearSelection();
    auto [browserMenu, browserTexts] =
        menuAt(list, list.visualItemRect(list.findItems("f1", Qt::MatchExactly)[0]).center());
    ASSERT_NE(browserMenu, nullptr);
    EXPECT_EQ(browserTexts,
              (std::vector<std::string>{"&Open", "&Insert into the erase list",
                                        "Open the containing &folder in the file manager"}));
    choose(browserMenu, "&Insert into the erase list");
    EXPECT_EQ(Rows(), (std::vector<std::string>{m_dir / "f1"}));
    choose(menuAt(list, QPoint(1, 1)).first, "Open the containing &folder in the file manager");
    ASSERT_EQ(m_openedUrls.size(), 1u);
    EXPECT_EQ(m_openedUrls[0].toLocalFile().toStdString(), m_dir.Path() + "/");

    QTreeWidget& rows = EraseListControl();
    const QPoint onRow = rows.visualItemRect(rows.topLevelItem(0)).center();
    Controller().MarkRowFailed(0, QString::fromStdString(m_dir / "f1") + " - Permission denied");
    auto [listMenu, listTexts] = menuAt(rows, onRow);
    EXPECT_EQ(listTexts, (std::vector<std::string>{"&Remove from the list", "&Erase the list",
                                                   m_dir / "f1" + " - Permission denied -"}));
    choose(listMenu, "&Remove from the list");
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(menuAt(rows, QPoint(2, 2)).second,
              (std::vector<std::string>{"&Remove from the list -", "&Erase the list -"}));
    QApplication::activePopupWidget()->close();
}

// Every control a user can reach with the keyboard, and the progress line, have a name and a
// description for screen readers, as Qt's accessibility interface reports them.
TEST_F(WindowKeysTest, EveryControlIsNamedForScreenReadersAndUsableAtTheMinimumSize) {
    Open();
    std::vector<QWidget*> named{m_frame->Bars().Progress(), m_frame->Bars().ProgressText()};
    for (QWidget* widget : m_frame->findChildren<QWidget*>()) {
        if (widget->isVisible() && (widget->focusPolicy() & Qt::TabFocus) != 0) {
            named.push_back(widget);
        }
    }
    EXPECT_GE(named.size(), 6u);  // location, path, folder list, erase list and the bar's two
    for (QWidget* widget : named) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(accessible, nullptr);
        EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty())
            << widget->metaObject()->className() << " " << widget->objectName().toStdString();
        EXPECT_FALSE(accessible->text(QAccessible::Description).isEmpty())
            << widget->objectName().toStdString();
    }
    QAccessibleInterface* eraseList = QAccessible::queryAccessibleInterface(&EraseListControl());
    EXPECT_EQ(eraseList->text(QAccessible::Name), "Erase list");

    // At its minimum size every control is still there to be used: the whole menu bar with
    // the Erase item on it, the lists with rows to see, no control squeezed out of its parent.
    m_frame->resize(m_frame->minimumSize());
    QCoreApplication::processEvents();
    ASSERT_EQ(m_frame->size(), m_frame->minimumSize());
    QMenuBar& bar = *m_frame->menuBar();
    for (QAction* action : bar.actions()) {
        const QRect at = bar.actionGeometry(action);
        EXPECT_TRUE(!at.isEmpty() && bar.rect().contains(at)) << action->text().toStdString();
    }
    EXPECT_GE(BrowserList().viewport()->height(), 60);
    EXPECT_GE(EraseListControl().viewport()->height(), 60);
    EXPECT_GE(EraseListControl().width(), 150);
    EXPECT_EQ(test::LayoutFaults(*m_frame), "");
}

// The rows of a tree item and all its descendants whose icon draws nothing ("text (path)").
void AddBlankIconRows(const PaneController& controller, QTreeWidget* tree, QTreeWidgetItem* item,
                      std::vector<std::string>& blank) {
    if (!test::DrawsSomething(item->icon(0))) {
        blank.push_back(item->text(0).toStdString() + " (" + controller.ItemPath(tree, item) + ")");
    }
    for (int child = 0; child < item->childCount(); ++child) {
        AddBlankIconRows(controller, tree, item->child(child), blank);
    }
}

// On a desktop without any icon theme every row of the list, the location box, the tree and
// the erase list (folders, files, links, volumes) still shows an icon.
TEST_F(WindowKeysTest, WithoutAnIconThemeEveryRowOfEveryViewHasAnIcon) {
    test::NoIconTheme noTheme;
    ASSERT_TRUE(test::MakeDirs(m_dir / "folder/inner"));
    MakeFile("file.txt");
    ASSERT_EQ(::symlink("file.txt", (m_dir / "link").c_str()), 0);
    ASSERT_EQ(::symlink("folder", (m_dir / "folder link").c_str()), 0);
    Open();
    Insert({"folder", "file.txt", "link", "folder link"});
    const std::vector<Volume> volumes = ListVolumes();
    if (!volumes.empty()) {
        ASSERT_EQ(Controller().AddItems({*DriveItem(volumes.front().root)}), 1);
    }
    std::vector<std::string> blank;
    const auto check = [&](const char* where, const QString& text, const QIcon& icon) {
        if (text != ".." && !test::DrawsSomething(icon)) {
            blank.push_back(where + text.toStdString());
        }
    };
    QListWidget& list = BrowserList();
    for (int row = 0; row < list.count(); ++row) {
        check("list: ", list.item(row)->text(), list.item(row)->icon());
    }
    QComboBox& box = *m_frame->Bars().LocationBox();
    ASSERT_TRUE(EventuallyOnLoop([&] { return box.count() > 1; }));
    for (int index = 0; index < box.count(); ++index) {
        if (!box.itemText(index).isEmpty()) {
            check("location: ", box.itemText(index), box.itemIcon(index));
        }
    }
    QTreeWidget& rows = EraseListControl();
    EXPECT_EQ(rows.topLevelItemCount(), volumes.empty() ? 4 : 5);
    for (int row = 0; row < rows.topLevelItemCount(); ++row) {
        check("erase list: ", rows.topLevelItem(row)->text(0), rows.topLevelItem(row)->icon(0));
    }
    m_frame->close();
    ASSERT_TRUE(EventuallyOnLoop([&] { return !m_frame->isVisible(); }));

    // The tree, opened down to the test's folder, whose folders are listed below it.
    m_leftType = LeftPaneKind::Tree;
    Open();
    QTreeWidget& tree = *m_frame->Views().LeftTree();
    ASSERT_TRUE(EventuallyOnLoop([&] { return tree.topLevelItemCount() > 0; }));
    Controller().SelectPathInTree(&tree, m_dir / "folder/");
    ASSERT_TRUE(EventuallyOnLoop([&] {
        QTreeWidgetItem* at = tree.currentItem();
        return at != nullptr && Controller().ItemPath(&tree, at) == m_dir / "folder/" &&
               at->childCount() == 1;
    }));
    for (int root = 0; root < tree.topLevelItemCount(); ++root) {
        AddBlankIconRows(Controller(), &tree, tree.topLevelItem(root), blank);
    }
    EXPECT_EQ(blank, std::vector<std::string>{});
}

}  // namespace
}  // namespace tolvane
