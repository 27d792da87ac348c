// The names of erased entries are gone from the medium: not in blocks a removed folder freed,
// a staying folder's slack, a freed inode, the journal or log. Each case plants names no disk
// holds by chance on a loop image and scans the raw image, inside and outside the journal. The
// fillers must be gone too, also after a stop and after a killed run was run again.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "EngineTestHelpers.h"
#include "FaultyFileSystem.h"
#include "LoopImage.h"
#include "RawScan.h"
#include "TempDir.h"
#include "platform/Ext4FolderBlocks.h"
#include "platform/RandomSource.h"

namespace tolvane::test {
namespace {

// A tag no disk holds by chance: every planted name of a case starts with it.
std::string RandomTag() {
    unsigned char bytes[8];
    EXPECT_TRUE(SystemRandom(bytes, sizeof bytes));
    std::string tag = "zq";
    for (unsigned char b : bytes) {
        tag += static_cast<char>('a' + b % 26);
    }
    return tag;
}

// One row of the table: a folder of files, some of which the run erases.
struct NameCase {
    std::string label;
    std::string tag = RandomTag();      // the erased entries' names
    std::string keptTag = RandomTag();  // the names of the files that stay
    std::string folder;                 // where the files are
    std::vector<std::string> erased;    // the selection: the folder, or some of its files
    std::vector<std::string> staying;   // names that must still be there
    bool folderItem = false;
    bool hashed = false;  // an ext4 folder of more than one block
};

std::string FileName(const std::string& tag, int i) {
    char index[16];
    std::snprintf(index, sizeof index, "%05d", i);
    return tag + "-report-" + index + ".ods";
}

// `files` files in a new folder; the first `erased` of them are selected, or the whole folder.
NameCase Plant(const std::string& root, const std::string& label, int files, int erased,
               bool folderItem) {
    NameCase c;
    c.label = label;
    c.folderItem = folderItem;
    c.folder = root + "/" + (folderItem ? c.tag + "-folder" : label);
    EXPECT_TRUE(MakeDirs(c.folder));
    for (int i = 0; i < files; ++i) {
        const bool stays = !folderItem && i >= erased;
        const std::string name = FileName(stays ? c.keptTag : c.tag, i);
        const std::string path = c.folder + "/" + name;
        EXPECT_TRUE(WriteFile(path, "x"));
        ::chmod(path.c_str(), 0666);
        if (stays) {
            c.staying.push_back(name);
        } else if (!folderItem) {
            c.erased.push_back(path);
        }
    }
    std::sort(c.staying.begin(), c.staying.end());
    ::chmod(c.folder.c_str(), 0777);
    const int fd = ::open(c.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    c.hashed = fd >= 0 && IsHashedFolder(fd);
    ::close(fd);
    if (folderItem) {
        c.erased.push_back(c.folder);
    }
    return c;
}

// The four rows of the table, scaled down where the property shows as well: a folder of many
// files, half of a small folder, a few of a large one (its slack holds names moved by splits),
// and a small folder (on xfs kept inside its inode). And most of a folder: on ext4 nearly every
// leaf then has old names behind the entries that stay; and some of a folder of one block.
std::vector<NameCase> PlantCases(const std::string& root) {
    return {Plant(root, "many", 600, 0, true),    Plant(root, "half", 100, 50, false),
            Plant(root, "few", 2050, 50, false),  Plant(root, "small", 5, 0, true),
            Plant(root, "most", 400, 350, false), Plant(root, "some", 20, 10, false)};
}

std::vector<std::string> Selection(const std::vector<NameCase>& cases) {
    std::vector<std::string> paths;
    for (const NameCase& c : cases) {
        paths.insert(paths.end(), c.erased.begin(), c.erased.end());
    }
    return paths;
}

// What the root and the staying folders must list after a complete run: nothing of the
// erased entries, nothing the run made.
void ExpectOnlyWhatStays(const std::string& root, const std::vector<NameCase>& cases,
                         const std::vector<std::string>& rootBefore) {
    std::vector<std::string> rootNames = rootBefore;
    for (const NameCase& c : cases) {
        if (c.folderItem) {
            rootNames.erase(
                std::remove(rootNames.begin(), rootNames.end(), c.folder.substr(root.size() + 1)),
                rootNames.end());
        } else {
            EXPECT_EQ(ListNames(c.folder), c.staying) << c.label << ": entries added or lost";
        }
    }
    EXPECT_EQ(ListNames(root), rootNames) << "the volume root changed";
}

struct Counts {
    std::size_t inJournal = 0;
    std::size_t outside = 0;
};

// Unmounts the image and counts each case's names inside and outside the journal.
std::vector<Counts> CountNames(LoopImage& image, const std::string& fsType,
                               const std::vector<NameCase>& cases) {
    EXPECT_TRUE(image.Unmount());
    const std::vector<ByteSpan> journal = JournalSpans(image.ImagePath(), fsType);
    EXPECT_FALSE(journal.empty()) << "the journal cannot be located";
    const std::string data = image.ReadImage();
    std::vector<Counts> counts;
    for (const NameCase& c : cases) {
        Counts n;
        for (std::uint64_t offset : FindAll(data, c.tag)) {
            const bool inside = std::any_of(journal.begin(), journal.end(),
                                            [&](const ByteSpan& s) { return s.Holds(offset); });
            ++(inside ? n.inJournal : n.outside);
        }
        counts.push_back(n);
    }
    return counts;
}

// "<label> <outside>+<in journal>j " per case, for the findings.
std::string CountTable(const std::vector<NameCase>& cases, const std::vector<Counts>& counts) {
    std::string table;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        table += cases[i].label + " " + std::to_string(counts[i].outside) + "+" +
                 std::to_string(counts[i].inJournal) + "j ";
    }
    return table;
}

void ExpectNoNames(const std::string& what, const std::vector<NameCase>& cases,
                   const std::vector<Counts>& counts, double seconds) {
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(counts[i].outside, 0u)
            << what << ", " << cases[i].label << ": names outside the journal";
        EXPECT_EQ(counts[i].inJournal, 0u)
            << what << ", " << cases[i].label << ": names in the journal";
    }
    ReportFinding(what, CountTable(cases, counts) + std::to_string(seconds) + " s");
}

struct Param {
    const char* fsType;
    int megabytes;
};

class NameRemanenceTest : public testing::TestWithParam<Param> {
protected:
    void SetUp() override {
        m_image =
            std::make_unique<LoopImage>(m_tmp.Path(), GetParam().fsType, GetParam().megabytes);
        if (!m_image->Mounted()) {
            GTEST_SKIP() << "mount not available: " << m_image->SkipReason();
        }
        m_root = m_image->MountPoint();
        ASSERT_EQ(::chmod(m_root.c_str(), 0777), 0);
        m_rootBefore = ListNames(m_root);
        m_cases = PlantCases(m_root);
        m_rootAfter = ListNames(m_root);
        ::sync();
        // Every name must be on the image before the erase, or its absence proves nothing.
        const std::vector<Counts> before = CountNames(*m_image, GetParam().fsType, m_cases);
        for (std::size_t i = 0; i < m_cases.size(); ++i) {
            ASSERT_GT(before[i].outside, 0u) << m_cases[i].label << " names are not on the image";
        }
        ASSERT_TRUE(m_image->Remount());
    }

    std::string Label(const std::string& what) const {
        return std::string(GetParam().fsType) + "_" + what;
    }

    TempDir m_tmp;
    std::unique_ptr<LoopImage> m_image;
    std::string m_root;
    std::vector<std::string> m_rootBefore;
    std::vector<std::string> m_rootAfter;
    std::vector<NameCase> m_cases;
};

// Two runs: files picked one by one in folders that stay (the run reaches those folders only
// through the files' own paths), then the folder items.
TEST_P(NameRemanenceTest, NoErasedNameStaysOnTheMediumOrInTheJournal) {
    const auto start = std::chrono::steady_clock::now();
    for (bool folderItems : {false, true}) {
        std::vector<NameCase> picked;
        std::copy_if(m_cases.begin(), m_cases.end(), std::back_inserter(picked),
                     [&](const NameCase& c) { return c.folderItem == folderItems; });
        EraseRun run(1);
        const std::string output = run.Run(Selection(picked), std::chrono::seconds(300));
        ASSERT_TRUE(run.Finished());
        EXPECT_EQ(run.engine.FailedCount() + run.engine.NotFoundCount(), 0) << output;
        EXPECT_TRUE(run.engine.Notes().empty()) << run.engine.Notes().front();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ExpectOnlyWhatStays(m_root, m_cases, m_rootAfter);
    ExpectNoNames(Label("names"), m_cases, CountNames(*m_image, GetParam().fsType, m_cases),
                  seconds);
}

// Without root: ext4's journal cannot be zeroed by its own command, so it is written over; and
// the leaves of a hashed ext4 folder that stays cannot be read, so that folder is named in a
// note.
TEST_P(NameRemanenceTest, AUserWithoutPrivilegesClearsThemToo) {
    const std::string state = m_tmp / "userstate";
    ASSERT_TRUE(MakeDirs(state));
    ASSERT_EQ(::chmod(state.c_str(), 0777), 0);
    OpenUpTo(m_root);
    const auto start = std::chrono::steady_clock::now();
    ChildRun run = EraseInChild(1, Selection(m_cases), true,
                                [&] { ::setenv("XDG_STATE_HOME", state.c_str(), 1); });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(run.status, 0) << run.output;
    std::vector<NameCase> checked;
    std::string notes;
    for (const NameCase& c : m_cases) {
        if (c.hashed && !c.folderItem) {
            notes += (notes.empty() ? "" : "\n") +
                     ("note: names of erased files may remain in the folder " + c.folder + "\n");
        } else {
            checked.push_back(c);
        }
    }
    EXPECT_EQ(run.output.substr(std::min(run.output.size(), run.output.find("note: "))), notes);
    ExpectOnlyWhatStays(m_root, m_cases, m_rootAfter);
    ExpectNoNames(Label("names_unprivileged"), checked,
                  CountNames(*m_image, GetParam().fsType, checked), seconds);
}

// A stop while the folders are being filled: the fillers go, and the user is told that the
// names may remain.
TEST_P(NameRemanenceTest, AStopDuringTheNameStepLeavesNothingAndSaysSo) {
    FaultyFileSystem fs;
    EraseRun run(1, &fs);
    fs.beforeLink = [&](int number) {
        if (number == 10) {
            run.engine.RequestCancel();
        }
    };
    run.Run(Selection(m_cases), std::chrono::seconds(300));
    ASSERT_TRUE(run.Finished());
    const std::vector<std::string>& notes = run.engine.Notes();
    EXPECT_TRUE(std::any_of(notes.begin(), notes.end(), [&](const std::string& note) {
        return note == "names of erased files may remain in the journal of " + m_root;
    })) << "no note about the names";
    // Whatever the stop left of the selection, nothing the run made stays.
    for (const std::string& name : ListNames(m_root)) {
        EXPECT_TRUE(std::find(m_rootAfter.begin(), m_rootAfter.end(), name) != m_rootAfter.end())
            << name << " was made in the volume root";
    }
    for (const NameCase& c : m_cases) {
        for (const std::string& name :
             c.folderItem ? std::vector<std::string>() : ListNames(c.folder)) {
            EXPECT_TRUE(name.rfind(c.tag, 0) == 0 || name.rfind(c.keptTag, 0) == 0)
                << name << " was made in " << c.label;
        }
    }
    ReportFinding(Label("names_after_stop"),
                  CountTable(m_cases, CountNames(*m_image, GetParam().fsType, m_cases)));
}

// Killed while fillers exist: they stay until the next run, which removes every one of them
// and clears the names the killed run left.
TEST_P(NameRemanenceTest, TheRunAfterAKilledOneRemovesItsFillersAndTheNames) {
    FaultyFileSystem killing;
    killing.beforeLink = [](int number) {
        if (number == 10) {
            ::raise(SIGKILL);
        }
    };
    ChildRun killed = EraseInChild(1, Selection(m_cases), false, {}, &killing);
    ASSERT_EQ(killed.status, -1) << "the run was not killed: " << killed.output;

    EraseRun next(1);
    next.Run(Selection(m_cases), std::chrono::seconds(300));
    ASSERT_TRUE(next.Finished());
    const std::vector<std::string>& notes = next.engine.Notes();
    EXPECT_TRUE(std::any_of(notes.begin(), notes.end(), [](const std::string& note) {
        return note.find("filler entries that an interrupted run left") != std::string::npos;
    })) << "the leftovers were not found";
    ExpectOnlyWhatStays(m_root, m_cases, m_rootAfter);
    ExpectNoNames(Label("names_after_kill"), m_cases,
                  CountNames(*m_image, GetParam().fsType, m_cases), 0);
}

// A folder that stays is erased from again and again. The fillers take only the room its leaves
// have, so no run grows it beyond what the run's own two renames may split (each run used to
// split a leaf for every filler length, and a fuller filling made it grow several times over).
TEST(HashedFolderRuns, AFolderErasedFromAgainAndAgainOnlyGrowsByTheRunsOwnRenames) {
    TempDir tmp;
    LoopImage image(tmp.Path(), "ext4", 64);
    if (!image.Mounted()) {
        GTEST_SKIP() << "mount not available: " << image.SkipReason();
    }
    const std::string folder = image.MountPoint() + "/kept";
    ASSERT_TRUE(MakeDirs(folder));
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(WriteFile(folder + "/" + FileName("kept", i), "x"));
    }
    const off_t block = 1024;  // what mkfs gives so small a volume
    for (int i = 0; i < 6; ++i) {
        const std::string chosen = folder + "/" + FileName("chosen", i);
        ASSERT_TRUE(WriteFile(chosen, "x"));
        const off_t before = StatOf(folder).st_size;
        EraseRun run(0);
        run.Run({chosen});
        ASSERT_TRUE(run.Finished());
        EXPECT_TRUE(run.engine.Notes().empty()) << run.engine.Notes().front();
        EXPECT_LE(StatOf(folder).st_size, before + 2 * block) << "run " << i;
    }
}

// A killed run's record names its anchor by inode number and size. By the next run the
// anchor may be gone and its number given to a user's file: only an entry of the recorded
// size is taken for a filler, and only from a folder that could be listed.
TEST(NameLeftovers, AnEntryWithTheAnchorsNumberButAnotherSizeIsTheUsers) {
    for (const auto& [sameSize, listed] :
         {std::pair{false, true}, std::pair{true, true}, std::pair{true, false}}) {
        TempDir dir;
        ASSERT_TRUE(WriteFile(dir / "report.ods", "the user's"));
        struct stat file {};
        struct stat folder {};
        ASSERT_EQ(::stat((dir / "report.ods").c_str(), &file), 0);
        ASSERT_EQ(::stat(dir.Path().c_str(), &folder), 0);
        if (file.st_dev != folder.st_dev) {
            // An overlay's files show their layer's device: no run makes fillers there.
            GTEST_SKIP() << "the temporary folder's files and folders differ in device";
        }
        const std::string records = std::string(std::getenv("XDG_STATE_HOME")) + "/tolvane";
        ASSERT_EQ(::system(("mkdir -p '" + records + "'").c_str()), 0);
        std::string hex;
        for (unsigned char c : dir.Path()) {
            static const char kDigits[] = "0123456789abcdef";
            hex += {kDigits[c >> 4], kDigits[c & 15]};
        }
        const auto size = static_cast<std::uint64_t>(file.st_size) + (sameSize ? 0 : 1);
        ASSERT_TRUE(WriteFile(
            records + "/name-fillers-999999999",
            std::to_string(std::uint64_t{major(file.st_dev)} << 32 | minor(file.st_dev)) + " " +
                std::to_string(file.st_ino) + " " + std::to_string(size) + " keep " + hex + "\n"));
        ASSERT_TRUE(WriteFile(dir / "chosen.txt", "erase me"));

        FaultyFileSystem fs;
        fs.failListName = listed ? "" : dir.Path().substr(dir.Path().rfind('/') + 1);
        EraseEngine engine(1, &fs);
        RunEraseHere(engine, {dir / "chosen.txt"});
        EXPECT_NE(::access((dir / "report.ods").c_str(), F_OK) == 0, sameSize && listed)
            << (sameSize && listed ? "a filler of the recorded size stayed"
                                   : "the user's file went");
    }
}

INSTANTIATE_TEST_SUITE_P(RealFileSystems, NameRemanenceTest,
                         testing::Values(Param{"ext4", 64}, Param{"xfs", 320}),
                         [](const testing::TestParamInfo<Param>& info) {
                             return std::string(info.param.fsType);
                         });

}  // namespace
}  // namespace tolvane::test
