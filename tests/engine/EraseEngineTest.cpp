// The file eraser, folder removal and free-space wiping, observed from outside: what is left,
// the names entries passed through, the bytes write() took, the output and the messages.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <set>

#include "EngineTestHelpers.h"
#include "FaultyFileSystem.h"
#include "LoopImage.h"
#include "RawScan.h"
#include "TempDir.h"
#include "Waiting.h"
#include "engine/EraseEngine.h"
#include "engine/EraseJob.h"
#include "engine/EraseRules.h"
#include "engine/FailedItemList.h"
#include "engine/FailureReasons.h"
#include "engine/FillFolder.h"
#include "platform/Volumes.h"

namespace tolvane::test {
namespace {

// Records the renames, creations and deletions inside one folder (not its subfolders).
class FolderEvents {
public:
    explicit FolderEvents(const std::string& folder)
        : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        inotify_add_watch(m_fd.Get(), folder.c_str(),
                          IN_MOVED_FROM | IN_MOVED_TO | IN_CREATE | IN_DELETE);
    }
    // "from>to" for a rename, "+name" for a creation, "-name" for a deletion, in order.
    std::vector<std::string> Take() {
        std::vector<std::string> events;
        std::map<std::uint32_t, std::string> movedFrom;
        alignas(inotify_event) char buffer[65536];
        for (ssize_t n; (n = read(m_fd.Get(), buffer, sizeof buffer)) > 0;) {
            for (char* p = buffer; p < buffer + n;) {
                auto* e = reinterpret_cast<inotify_event*>(p);
                const std::string name = e->len ? e->name : "";
                if (e->mask & IN_MOVED_FROM) {
                    movedFrom[e->cookie] = name;
                } else {
                    events.push_back(e->mask & IN_MOVED_TO ? movedFrom[e->cookie] + ">" + name
                                     : e->mask & IN_CREATE ? "+" + name
                                                           : "-" + name);
                }
                p += sizeof(inotify_event) + e->len;
            }
        }
        return events;
    }

private:
    UniqueFd m_fd;
};

// The events without the entries that were made and removed again during the run (the
// fillers that clear the folder's free slots of the removed names).
std::vector<std::string> WithoutShortLived(std::vector<std::string> events) {
    std::set<std::string> made;
    for (const std::string& event : events) {
        if (event[0] == '+') {
            made.insert(event.substr(1));
        }
    }
    std::erase_if(events, [&](const std::string& event) {
        return (event[0] == '+' || event[0] == '-') && made.count(event.substr(1)) != 0;
    });
    return events;
}

TEST(EraseNames, NextNameIsAnOdometerWithTheFirstLetterLeastSignificant) {
    const std::pair<std::string, std::string> cases[] = {{"aaaa", "baaa"},
                                                         {"zaaa", "abaa"},
                                                         {"zz", "aaa"},
                                                         {"", "a"},
                                                         {"aaaaaaaa.aaa", "baaaaaaa.aaa"}};
    for (auto [name, after] : cases) {
        NextName(name);
        EXPECT_EQ(name, after);
    }
    // The carry reaches the dot only after 26^8 names in one folder; what the odometer makes
    // of it is never used, but it must not crash.
    std::string last = "zzzzzzzz.aaa";
    NextName(last);
}

class EraseFileTest : public testing::Test {
protected:
    std::string Make(const std::string& name, std::uint64_t size, char fill = 'm') {
        std::string path = m_dir / name;
        EXPECT_TRUE(WriteFileOfSize(path, size, fill));
        return path;
    }
    TempDir m_dir;
};

// A first-stage name as long as the old one, the next one when it is taken, then the
// second-stage name; the same for an empty folder.
TEST_F(EraseFileTest, RenamesTwiceThenDeletes) {
    std::string path = Make("report.doc", 100);
    std::string blocker = Make("aaaaaaaaaa", 7, 'b');  // takes the first first-stage name
    ASSERT_TRUE(MakeDirs(m_dir / "empty"));
    FolderEvents events(m_dir.Path());
    EraseRun(1).Run({path, m_dir / "empty/"});
    EXPECT_EQ(WithoutShortLived(events.Take()),
              (std::vector<std::string>{"report.doc>baaaaaaaaa", "baaaaaaaaa>aaaaaaaa.aaa",
                                        "-aaaaaaaa.aaa", "empty>aaaaa", "aaaaa>aaaaaaaa.aaa",
                                        "-aaaaaaaa.aaa"}));
    EXPECT_EQ(ReadFile(blocker), "bbbbbbb");
    EXPECT_EQ(ListNames(m_dir.Path()), std::vector<std::string>{"aaaaaaaaaa"});
}

// Byte for byte: paths naming nothing are reported on standard output, not to the window.
TEST_F(EraseFileTest, ShortRunWritesExactLinesAndMessages) {
    const std::string missing = m_dir / "missing.txt";
    EraseRun run(1);
    EXPECT_EQ(run.Run({Make("ten", 10), missing, m_dir / "nothing*"}),
              "\rProcessed   0.0%\rProcessed 100.0%" + kBlank + missing + " - file not found\n" +
                  kBlank + m_dir / "nothing* - file not found\n");
    EXPECT_EQ(run.engine.NotFoundCount(), 2);
    using Message = RecordingTarget::Message;
    EXPECT_EQ(run.target.Messages(),
              (std::vector<Message>{{WM_ERASE_NOTIFY, ERN_PROGRESS, 0, {}},
                                    {WM_ERASE_NOTIFY, ERN_PROGRESS, 1000, {}},
                                    {WM_ERASE_NOTIFY, ERN_ITEMDONE, 1, {}},
                                    {WM_ERASE_NOTIFY, ERN_ITEMDONE, 1, {}},
                                    {WM_ERASE_NOTIFY, ERN_ITEMDONE, 1, {}},
                                    {WM_ERASE_NOTIFY, ERN_FINISHED, 1, {}}}));
}

TEST_F(EraseFileTest, TotalsCountBytesTimesPassesOrEntries) {
    // 2 passes over 4000 bytes; without passes, the folder, its subfolder and two files.
    for (const auto& [passes, total] : {std::pair{2, 8000}, std::pair{0, 4}}) {
        ASSERT_TRUE(MakeDirs(m_dir / "tree/sub"));
        Make("tree/one", 1000);
        Make("tree/sub/three", 3000);
        EraseRun run(passes);
        run.Run({m_dir / "tree"});
        EXPECT_EQ(run.engine.Total(), total);
        EXPECT_EQ(run.engine.Done(), static_cast<std::uint64_t>(total));
        EXPECT_TRUE(ListNames(m_dir.Path()).empty());
    }
}

// A stop during the count leaves the first file untouched and reports it; after the last item,
// the run is complete. (A stop in the middle of a file: EraseLargeFileStop.)
TEST_F(EraseFileTest, StopDuringTheCountListsTheFirstFileAndAfterTheLastChangesNothing) {
    for (const bool duringTheCount : {true, false}) {
        SCOPED_TRACE(duringTheCount);
        const std::string first = Make("first", 100, 'f');
        const std::string second = Make("second", 100, 's');
        EraseRun run(2);
        if (duringTheCount) {
            run.engine.RequestCancel();
        }
        int itemsDone = 0;  // only the worker touches it
        run.target.onMessage = [&](std::uintptr_t code, std::intptr_t) {
            itemsDone += code == ERN_ITEMDONE ? 1 : 0;
            if (!duringTheCount && itemsDone == 2) {
                run.engine.RequestCancel();
            }
        };
        run.Run({first, second});

        EXPECT_EQ(Exists(first), duringTheCount);
        if (duringTheCount) {
            EXPECT_EQ(ReadFile(first), std::string(100, 'f'));
            EXPECT_EQ(ReadFile(second), std::string(100, 's'));
            EXPECT_EQ(itemsDone, 0);
        }
        EXPECT_EQ(run.target.Failures(),
                  duringTheCount ? std::vector<std::string>{first + " - " + kStoppedBeforeReached}
                                 : std::vector<std::string>{});
        EXPECT_EQ(run.engine.CutShort(), duringTheCount);
        EXPECT_EQ(run.target.Count(ERN_FINISHED), 1);
    }
}

TEST(EraseTexts, FailedItemListKeepsSixteenPathsAndOneEllipsis) {
    FailedItemList list;
    std::vector<std::string> expected;
    for (int i = 0; i < 20; ++i) {
        list.Add("/f" + std::to_string(i));
        if (i < 16) {
            expected.push_back("/f" + std::to_string(i));
        }
    }
    expected.emplace_back("...");
    EXPECT_EQ(list.Lines(), expected);
    list.Reset();
    EXPECT_TRUE(list.Empty());
    list.Add("/again", "why");
    EXPECT_EQ(list.Lines(), std::vector<std::string>{"/again - why"});
}

// One line a path, kept as given; a drive spec reads as the free space of its volume.
TEST(EraseTexts, ConfirmTextNamesPathsAndFreeSpaceOfDriveSpecs) {
    EXPECT_EQ(ConfirmLine("/x/a.txt"), "/x/a.txt");
    EXPECT_EQ(ConfirmLine(""), "");
    EXPECT_EQ(ConfirmLine("notamount:"), "notamount:");
    // Any volume of this machine will do; a container may have none (its root is an overlay).
    std::vector<Volume> volumes = ListVolumes();
    if (volumes.empty()) {
        GTEST_SKIP() << "no volume of user data is mounted here to name";
    }
    std::string spec = FormatDriveSpec(volumes.front().root);
    EXPECT_EQ(ConfirmLine(spec), "Free space on drive " + spec);
}

TEST(EraseTexts, ClassifiesTraceFoldersByExactPath) {
    std::string tmp = std::getenv("TMPDIR");
    std::string cache = std::getenv("XDG_CACHE_HOME");
    while (tmp.size() > 1 && tmp.back() == '/') {
        tmp.pop_back();
    }
    EXPECT_EQ(ClassifyItem(tmp), ItemKind::Temp);
    EXPECT_EQ(ClassifyItem(tmp + "/"), ItemKind::Ordinary);  // only without the separator
    EXPECT_EQ(ClassifyItem(cache), ItemKind::InternetCache);
    std::string upper = cache;
    upper.back() = static_cast<char>(std::toupper(upper.back()));
    EXPECT_EQ(ClassifyItem(upper), ItemKind::Ordinary);
    EXPECT_EQ(ClassifyItem(std::string(std::getenv("XDG_DATA_HOME")) + "/RecentDocuments"),
              ItemKind::Recent);
}

// The system root is never erased. Checked inside a child process confined to a fresh
// folder (chroot), so that even a broken check could only reach that folder.
TEST(EraseRoot, SystemRootIsRefusedInEverySpelling) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "confining the check with chroot needs root";
    }
    TempDir jail;
    ASSERT_TRUE(WriteFile(jail / "keep.txt", "keep"));
    ASSERT_TRUE(MakeDirs(jail / "tmp"));
    const std::string confined = jail.Path();
    ChildRun run = EraseInChild(1, {"/", "/.", "//", "/tmp/.."}, false, [&confined] {
        if (chroot(confined.c_str()) != 0 || chdir("/") != 0) {
            _exit(101);  // never erase anything unconfined
        }
    });
    EXPECT_EQ(run.status, 4) << run.output;
    EXPECT_EQ(ReadFile(jail / "keep.txt"), "keep");
    EXPECT_TRUE(Exists(jail / "tmp"));
}

// On a small loop-mounted ext4 image. Filling and releasing free space and what it leaves on
// the medium is in EraseRemanenceTest.
class EraseOnImageTest : public testing::Test {
protected:
    // Wipes the volume in a child that is killed once the volume is nearly full; true when
    // it was. With `namedFillFiles`, as on a file system without unnamed files.
    bool WipeKilledWhenNearlyFull(bool namedFillFiles) {
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            FaultyFileSystem fs;
            fs.noUnnamedFiles = namedFillFiles;
            fs.beforeWrite = [&](int) {
                if (FreeBytesOf(m_root) < m_free / 4) {
                    raise(SIGKILL);
                }
            };
            EraseEngine engine(1, &fs);
            RunEraseHere(engine, {m_root + ":"});
            _exit(0);
        }
        return child > 0 && WIFSIGNALED(WaitForChild(child, std::chrono::minutes(5)));
    }

    TempDir m_dir;
    LoopImage m_image{m_dir.Path(), "ext4", 64};
    const std::string m_root = m_image.MountPoint();
    const std::uint64_t m_free = FreeBytesOf(m_root);
};

TEST_F(EraseOnImageTest, FullDiskDuringAPassStillDeletesTheFile) {
    TOLVANE_SKIP_UNLESS_MOUNTED(m_image);
    std::string victim = m_root + "/victim";
    ASSERT_TRUE(WriteFileOfSize(victim, (8u << 20) + 1));  // its last block must grow
    std::string filler = m_root + "/filler";
    WriteFileOfSize(filler, 200u << 20);  // fails part-way: the disk is full afterwards
    EraseRun run(3);
    run.Run({victim});
    EXPECT_FALSE(Exists(victim));
    EXPECT_EQ(run.engine.FailedCount(), 0);
    EXPECT_EQ(ListNames(m_root), (std::vector<std::string>{"filler", "lost+found"}));
}

TEST_F(EraseOnImageTest, FreeSpaceWithoutPassesWritesNothing) {
    TOLVANE_SKIP_UNLESS_MOUNTED(m_image);
    FolderEvents events(m_root);
    EraseEngine engine(0);
    RunEraseHere(engine, {m_root + "/:"});
    EXPECT_EQ(engine.FailedCount() + engine.NotFoundCount(), 0);
    EXPECT_LT(engine.BytesWritten(), 4096u);  // no fill file
    EXPECT_TRUE(events.Take().empty());
}

TEST_F(EraseOnImageTest, CancelWhileWipingReleasesWhatWasWritten) {
    TOLVANE_SKIP_UNLESS_MOUNTED(m_image);
    FolderEvents events(m_root);
    EraseRun run(3);
    run.target.onMessage = [&run](std::uintptr_t code, std::intptr_t value) {
        if (code == ERN_PROGRESS && value >= 100) {
            run.engine.RequestCancel();
        }
    };
    run.Run({m_root + ":"});
    // The fill files have no names: nothing ever appears in the volume's root.
    EXPECT_TRUE(events.Take().empty());
    EXPECT_EQ(ListNames(m_root), std::vector<std::string>{"lost+found"});
    EXPECT_GE(FreeBytesOf(m_root) + (1u << 20), m_free);
    EXPECT_EQ(run.target.Count(ERN_FINISHED), 1);
    EXPECT_EQ(run.target.Count(ERN_ITEMDONE), 0);
}

// A run killed in the middle of a wipe (kill -9, a crash, a power cut) cannot leave the
// volume full: the fill files have no names, so their space goes back with the process.
TEST_F(EraseOnImageTest, KilledWipeLeavesNoFillFileAndGivesTheSpaceBack) {
    TOLVANE_SKIP_UNLESS_MOUNTED(m_image);
    ASSERT_TRUE(WipeKilledWhenNearlyFull(false));
    EXPECT_EQ(ListNames(m_root), std::vector<std::string>{"lost+found"});
    EXPECT_GE(FreeBytesOf(m_root) + m_free / 100, m_free);
}

// Where a file system cannot make unnamed files, fill files have names in a marked folder;
// what a killed run leaves there is released by the next wipe of the volume, and a folder of
// the user's with a name like it is never touched.
TEST_F(EraseOnImageTest, NamedFillFilesOfAKilledWipeAreReleasedByTheNext) {
    TOLVANE_SKIP_UNLESS_MOUNTED(m_image);
    ASSERT_TRUE(MakeDirs(m_root + "/baaaaaaa.aaa"));
    ASSERT_TRUE(WriteFile(m_root + "/baaaaaaa.aaa/aaaaaaaa.aaa", "the user's"));
    ASSERT_TRUE(WipeKilledWhenNearlyFull(true));
    ASSERT_LT(FreeBytesOf(m_root), m_free / 4);  // left full
    EXPECT_EQ(ListNames(m_root),
              (std::vector<std::string>{"aaaaaaaa.aaa", "baaaaaaa.aaa", "lost+found"}));
    // One that cannot be listed cannot be told from the user's: it is left as it is.
    FaultyFileSystem unlisted;
    unlisted.failListName = "aaaaaaaa.aaa";
    EraseRun(1, &unlisted).Run({m_root + ":"});
    EXPECT_TRUE(Exists(m_root + "/aaaaaaaa.aaa/" + FillFolder::MarkName()));

    EraseRun next(1);
    next.Run({m_root + ":"});
    EXPECT_EQ(next.engine.FailedCount(), 0);
    ASSERT_EQ(next.engine.Notes().size(), 2u);
    EXPECT_NE(next.engine.Notes()[0].find("left on " + m_root + " were released"),
              std::string::npos);
    EXPECT_EQ(ListNames(m_root), (std::vector<std::string>{"baaaaaaa.aaa", "lost+found"}));
    EXPECT_EQ(ReadFile(m_root + "/baaaaaaa.aaa/aaaaaaaa.aaa"), "the user's");
    EXPECT_GE(FreeBytesOf(m_root) + m_free / 100, m_free);
}

}  // namespace
}  // namespace tolvane::test
