// Trace folders (temporary files, caches, recent documents, trash): erased and brought back
// as the programs that use them expect, and in shared ones only the user's own entries.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "EngineTestHelpers.h"
#include "LoopImage.h"
#include "TempDir.h"
#include "engine/EraseEngine.h"
#include "engine/EraseJob.h"

namespace tolvane::test {
namespace {

constexpr uid_t kOtherUser = 65534;

// A trace folder is the folder that an environment variable names; each test points one at
// a folder of its own.
class TraceFolderTest : public testing::Test {
protected:
    void SetUp() override {
        for (const auto& [variable, path] : {std::pair{"XDG_CACHE_HOME", m_cache},
                                             {"TMPDIR", m_temp},
                                             {"XDG_DATA_HOME", m_data}}) {
            m_saved.emplace_back(variable, std::getenv(variable));
            setenv(variable, path.c_str(), 1);
        }
    }
    void TearDown() override {
        for (const auto& [variable, value] : m_saved) {
            setenv(variable.c_str(), value.c_str(), 1);
        }
    }

    TempDir m_dir;
    std::string m_cache = m_dir / "cache";
    std::string m_temp = m_dir / "tmp";
    std::string m_data = m_dir / "data";
    std::vector<std::pair<std::string, std::string>> m_saved;
};

// Root erasing a user's cache brings the folder back as the user's, with its mode.
TEST_F(TraceFolderTest, IsReportedWhenMissingAndRecreatedWithItsOwnerAndModeAfterErasing) {
    EraseRun missing(1);
    EXPECT_NE(missing.Run({m_cache}).find(m_cache + " - file not found\n"), std::string::npos);
    EXPECT_TRUE(S_ISDIR(StatOf(m_cache).st_mode));  // made, as an empty folder

    ASSERT_TRUE(MakeDirs(m_cache + "/app"));
    ASSERT_TRUE(WriteFile(m_cache + "/app/data", "cached"));
    ASSERT_EQ(chmod(m_cache.c_str(), 01750), 0);
    const bool root = geteuid() == 0;  // giving a folder away needs root
    ASSERT_TRUE(!root || chown(m_cache.c_str(), kOtherUser, kOtherUser) == 0);
    EraseRun run(1);
    run.Run({m_cache});
    const struct stat st = StatOf(m_cache);
    EXPECT_EQ(st.st_mode & 07777, 01750u);
    if (root) {
        EXPECT_EQ(st.st_uid, kOtherUser);
        EXPECT_EQ(st.st_gid, kOtherUser);
    }
    EXPECT_TRUE(ListNames(m_cache).empty());
    EXPECT_EQ(run.engine.NotFoundCount(), 0);
}

// In a shared temporary folder as root: other users' entries and every socket stay; the
// folder itself stays with its sticky bit.
TEST_F(TraceFolderTest, SharedFolderLosesOnlyTheUsersOwnEntriesAndNoSocket) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "other users' files can only be made as root";
    }
    ASSERT_TRUE(MakeDirs(m_temp + "/mine"));
    ASSERT_EQ(chmod(m_temp.c_str(), 01777), 0);
    ASSERT_TRUE(WriteFile(m_temp + "/mine/draft", "mine"));
    ASSERT_TRUE(WriteFile(m_temp + "/theirs.txt", "theirs"));
    ASSERT_TRUE(MakeDirs(m_temp + "/their-folder"));
    ASSERT_TRUE(WriteFile(m_temp + "/their-folder/x", "theirs"));
    ASSERT_EQ(chown((m_temp + "/theirs.txt").c_str(), kOtherUser, kOtherUser), 0);
    ASSERT_EQ(chown((m_temp + "/their-folder").c_str(), kOtherUser, kOtherUser), 0);
    ASSERT_TRUE(MakeSocket(m_temp + "/session.sock"));
    EraseRun run(1);
    run.Run({m_temp});
    EXPECT_EQ(ListNames(m_temp),
              (std::vector<std::string>{"session.sock", "their-folder", "theirs.txt"}));
    EXPECT_EQ(ReadFile(m_temp + "/theirs.txt"), "theirs");
    EXPECT_EQ(ReadFile(m_temp + "/their-folder/x"), "theirs");
    EXPECT_EQ(StatOf(m_temp).st_mode & 07777, 01777u);
    EXPECT_EQ(run.engine.FailedCount() + run.engine.NotFoundCount(), 0);
}

// A cache moved to another disk and linked back: the link stays, what it names is erased.
TEST_F(TraceFolderTest, LinkedFolderKeepsItsLinkAndLosesItsContents) {
    const std::string real = m_dir / "other-disk/cache";
    ASSERT_TRUE(MakeDirs(real + "/app"));
    ASSERT_TRUE(WriteFile(real + "/app/data", "cached"));
    ASSERT_TRUE(WriteFile(real + "/top", "cached"));
    ASSERT_EQ(symlink(real.c_str(), m_cache.c_str()), 0);
    EraseRun run(1);
    run.Run({m_cache});
    EXPECT_TRUE(S_ISLNK(StatOf(m_cache).st_mode));
    EXPECT_TRUE(S_ISDIR(StatOf(real).st_mode));
    EXPECT_TRUE(ListNames(real).empty());
    EXPECT_EQ(run.engine.FailedCount() + run.engine.NotFoundCount(), 0);
}

// A trash as file managers build it: two trashed entries, their records, the size cache.
void FillTrash(const std::string& trash) {
    ASSERT_TRUE(MakeDirs(trash + "/files/folder") && MakeDirs(trash + "/info"));
    ASSERT_EQ(chmod(trash.c_str(), 0700), 0);
    for (const char* name :
         {"files/letter.txt", "files/folder/photo.jpg", "info/letter.txt.trashinfo",
          "info/folder.trashinfo", "directorysizes"}) {
        ASSERT_TRUE(WriteFile(trash + "/" + name, "[Trash Info]\nPath=/home/me/letter.txt\n"));
    }
}

void ExpectEmptyValidTrash(const std::string& trash) {
    EXPECT_EQ(ListNames(trash), (std::vector<std::string>{"files", "info"})) << trash;
    EXPECT_TRUE(ListNames(trash + "/files").empty());
    EXPECT_TRUE(ListNames(trash + "/info").empty());
    EXPECT_EQ(StatOf(trash + "/files").st_mode & 07777, 0700u);
    EXPECT_EQ(StatOf(trash + "/info").st_mode & 07777, 0700u);
}

// The home trash; on a volume, the user's .Trash-<uid> and the shared .Trash, which stays
// with other users' folders in it while the user's own comes back empty.
TEST_F(TraceFolderTest, TrashesComeBackEmptyAndValidAndTheSharedOneStays) {
    const std::string home = m_data + "/Trash";
    FillTrash(home);
    EXPECT_EQ(ClassifyItem(home), ItemKind::Trash);
    EraseRun homeRun(1);
    homeRun.Run({home});
    ExpectEmptyValidTrash(home);
    EXPECT_EQ(StatOf(home).st_mode & 07777, 0700u);
    EXPECT_EQ(homeRun.engine.FailedCount() + homeRun.engine.NotFoundCount(), 0);

    LoopImage image(m_dir.Path(), "ext4", 64);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    const std::string uid = std::to_string(geteuid());
    const std::string own = image.MountPoint() + "/.Trash-" + uid;
    const std::string shared = image.MountPoint() + "/.Trash";
    const std::string theirs = shared + "/" + std::to_string(kOtherUser);
    FillTrash(own);
    FillTrash(shared + "/" + uid);
    ASSERT_TRUE(MakeDirs(theirs + "/files") && WriteFile(theirs + "/files/x", "theirs"));
    ASSERT_EQ(chown(theirs.c_str(), kOtherUser, kOtherUser), 0);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    EXPECT_EQ(ClassifyItem(own), ItemKind::Trash);
    EXPECT_EQ(ClassifyItem(shared), ItemKind::Trash);
    EraseRun run(1);
    run.Run({own, shared});
    ExpectEmptyValidTrash(own);
    ExpectEmptyValidTrash(shared + "/" + uid);
    EXPECT_EQ(StatOf(shared).st_mode & 07777, 01777u);
    EXPECT_EQ(ReadFile(theirs + "/files/x"), "theirs");
    EXPECT_EQ(run.engine.FailedCount() + run.engine.NotFoundCount(), 0);
}

// A volume's trash folder that is a link (anyone who may write the top folder can plant one)
// goes as an ordinary link: what it names keeps everything and gains no files/ or info/, also
// when it was a trash folder when chosen and became a link before the walk reached it.
TEST_F(TraceFolderTest, VolumeTrashThatIsALinkGoesAsALink) {
    LoopImage image(m_dir.Path(), "ext4", 64);
    TOLVANE_SKIP_UNLESS_MOUNTED(image);
    const std::string uid = std::to_string(geteuid());
    const std::string documents = m_dir / "Documents";
    ASSERT_TRUE(MakeDirs(documents + "/" + uid) && WriteFile(documents + "/letter", "mine"));
    ASSERT_TRUE(WriteFile(documents + "/" + uid + "/photo", "mine too"));
    const TreeState before = Snapshot(documents);
    const std::string shared = image.MountPoint() + "/.Trash";
    const std::string links[] = {image.MountPoint() + "/.Trash-" + uid, shared, shared + "/" + uid};
    for (const std::string& link : links) {
        for (const bool chosenAsTrash : {false, true}) {
            SCOPED_TRACE(link + (chosenAsTrash ? " chosen as a trash" : ""));
            if (link != shared) {
                ASSERT_TRUE(MakeDirs(shared));  // a real shared .Trash holds the <uid> link
                ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
            }
            ASSERT_EQ(symlink(documents.c_str(), link.c_str()), 0);
            EXPECT_EQ(ClassifyItem(link), ItemKind::Ordinary);
            EraseEngine engine(1);
            if (chosenAsTrash) {
                const EraseItemList items{{ItemKind::Trash, link}};
                engine.SetItems(&items);
                engine.Walk();
            } else {
                RunEraseHere(engine, {link});
            }
            struct stat st;
            EXPECT_NE(lstat(link.c_str(), &st), 0) << "the link stays";
            EXPECT_EQ(Snapshot(documents), before);
            EXPECT_EQ(engine.FailedCount() + engine.NotFoundCount(), 0);
            std::filesystem::remove_all(shared);
        }
    }
    // What lies inside a volume's trash folder that is a link is never reached through it,
    // whether the run classifies the path itself or it was chosen as a trash folder that
    // became a link by the time the walk came: refused, and what the link names stays.
    const std::string own = image.MountPoint() + "/.Trash-" + uid;
    ASSERT_EQ(symlink(m_dir.Path().c_str(), shared.c_str()), 0);  // m_dir/<uid> is the target
    ASSERT_EQ(symlink(documents.c_str(), own.c_str()), 0);
    ASSERT_TRUE(MakeDirs(m_dir / uid) && WriteFile(m_dir / uid + "/kept", "kept"));
    for (const std::string& through : {shared + "/" + uid, own + "/" + uid}) {
        for (const bool chosenAsTrash : {false, true}) {
            SCOPED_TRACE(through + (chosenAsTrash ? " chosen as a trash" : ""));
            EraseEngine engine(1);
            const EraseItemList items{
                {chosenAsTrash ? ItemKind::Trash : ClassifyItem(through), through}};
            engine.SetItems(&items);
            engine.Walk();
            EXPECT_EQ(engine.FailedCount(), 1);
            EXPECT_EQ(ReadFile(m_dir / uid + "/kept"), "kept");
            EXPECT_EQ(Snapshot(documents), before);
        }
    }
}

}  // namespace
}  // namespace tolvane::test
