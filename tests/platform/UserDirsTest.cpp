// The XDG user folders, the special folders built from them, and volume labels.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "TempDir.h"
#include "platform/UserDirs.h"

namespace tolvane {
namespace {

using test::MakeDirs;
using test::TempDir;
using test::WriteFile;

TEST(ParseUserDir, ReadsTheFormsTheFileMayHold) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n", "/h/me/Documents/"},
        {"  XDG_DOCUMENTS_DIR = \"$HOME/Docs/\"", "/h/me/Docs/"},
        {"XDG_DOCUMENTS_DIR=\"/srv/papers\"", "/srv/papers/"},
        {"XDG_DOCUMENTS_DIR=\"$HOME\"", "/h/me/"},  // unset in effect: the caller skips it
        {"XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Files\\\"\"", "/h/me/My \"Files\"/"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\nXDG_DOCUMENTS_DIR=\"$HOME/Later\"",
         "/h/me/Later/"},
        {"# XDG_DOCUMENTS_DIR=\"$HOME/Commented\"", ""},
        {"XDG_DOCUMENTS_DIR=\"Documents\"", ""},    // relative: not a valid value
        {"XDG_DOCUMENTS_DIR=\"$HOMEWORK/x\"", ""},  // another variable
        {"XDG_DOCUMENTS_DIR=\"$HOME/cut", ""},      // no closing quote
        {"XDG_DOCUMENTS_DIR=$HOME/unquoted", ""},
        {"XDG_DOCUMENTS_DIRX=\"/x\"", ""},
        {"XDG_DESKTOP_DIR=\"$HOME/Desktop\"", ""},  // another name
        {"XDG_DOCUMENTS_DIR=\"/ok\"\nXDG_DOCUMENTS_DIR=\"bad\"", "/ok/"},
        // Values that would name another folder than they spell: above home, or cut short.
        {"XDG_DOCUMENTS_DIR=\"$HOME/../../etc\"", ""},
        {"XDG_DOCUMENTS_DIR=\"/srv/./x\"", ""},
        {"XDG_DOCUMENTS_DIR=\"$HOME/..\"", ""},
        {"XDG_DOCUMENTS_DIR=\"$HOME/..x/.y\"", "/h/me/..x/.y/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseUserDir(c.text, "DOCUMENTS", "/h/me"), c.expected) << c.text;
    }
    const std::string zero = "XDG_DOCUMENTS_DIR=\"/ok\"\nXDG_DOCUMENTS_DIR=\"/srv\0/etc\"";
    EXPECT_EQ(ParseUserDir(zero, "DOCUMENTS", "/h/me"), "/ok/");
}

// No file system stores a zero byte in a label: "\x00" in a link's name is no udev escape,
// and decoding it would cut the label short wherever it is passed on as a C string.
TEST(VolumeLabel, DecodesUdevEscapesButMakesNoZeroByte) {
    EXPECT_EQ(DecodeUdevLabel("My\\x20Stick\\x2f\\x5C"), "My Stick/\\");
    EXPECT_EQ(DecodeUdevLabel("a\\x00b\\x0"), "a\\x00b\\x0");
    EXPECT_EQ(DecodeUdevLabel("\\\\x41\\y"), "\\A\\y");
}

TEST(VolumeLabel, FindsTheLinkThatResolvesToTheSource) {
    TempDir dir;
    ASSERT_TRUE(MakeDirs(dir / "dev/disk/by-label") && MakeDirs(dir / "dev/mapper"));
    ASSERT_TRUE(WriteFile(dir / "dev/sdz1", "") && WriteFile(dir / "dev/sdz2", "") &&
                WriteFile(dir / "dev/dm-3", ""));
    ASSERT_EQ(::symlink("../../sdz1", (dir / "dev/disk/by-label/My\\x20Stick\\x2").c_str()), 0);
    ASSERT_EQ(::symlink("../../dm-3", (dir / "dev/disk/by-label/crypt").c_str()), 0);
    ASSERT_EQ(::symlink("../dm-3", (dir / "dev/mapper/vg-home").c_str()), 0);
    const std::string byLabel = dir / "dev/disk/by-label/";
    EXPECT_EQ(VolumeLabel(dir / "dev/sdz1", byLabel), "My Stick\\x2");  // udev's escapes
    EXPECT_EQ(VolumeLabel(dir / "dev/mapper/vg-home", byLabel), "crypt");
    EXPECT_EQ(VolumeLabel(dir / "dev/sdz2", byLabel), "");        // no label
    EXPECT_EQ(VolumeLabel(dir / "dev/gone", byLabel), "");        // no device
    EXPECT_EQ(VolumeLabel("server:/export", byLabel), "");        // network source
    EXPECT_EQ(VolumeLabel(dir / "dev/sdz1", dir / "none/"), "");  // no label folder
}

// Points HOME and the XDG folders at a fresh folder for one test and puts them back after.
class SpecialFoldersTest : public testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kVariables) {
            const char* value = std::getenv(name);
            m_saved.emplace_back(name, value != nullptr ? value : "");
        }
        ::setenv("HOME", (m_dir / "home").c_str(), 1);
        ::setenv("TMPDIR", (m_dir / "tmp").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (m_dir / "home/.local/share").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (m_dir / "home/.cache").c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");  // the default under HOME must be found
        for (const char* folder : {"home/.config", "home/.cache", "tmp"}) {
            ASSERT_TRUE(MakeDirs(m_dir / folder));
        }
    }
    void TearDown() override {
        for (const auto& [name, value] : m_saved) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
    }
    std::string Listed() {
        std::string text;
        for (const SpecialFolder& folder : ListSpecialFolders()) {
            text += std::to_string(static_cast<int>(folder.kind)) + ":" +
                    folder.path.substr(m_dir.Path().size()) + " ";
        }
        return text;
    }

    static constexpr const char* kVariables[] = {"HOME", "TMPDIR", "XDG_DATA_HOME",
                                                 "XDG_CACHE_HOME", "XDG_CONFIG_HOME"};
    TempDir m_dir;
    std::vector<std::pair<std::string, std::string>> m_saved;
};

TEST_F(SpecialFoldersTest, SkipsMissingFoldersAndThoseThatAreTheHomeFolder) {
    // Documents unset (falls back to home), Templates set to home through a link, Desktop
    // falls back to ~/Desktop, the recent folder is missing.
    ASSERT_TRUE(MakeDirs(m_dir / "home/Desktop") && MakeDirs(m_dir / "home/Vorlagen"));
    ASSERT_EQ(::symlink(".", (m_dir / "home/same").c_str()), 0);
    ASSERT_TRUE(WriteFile(m_dir / "home/.config/user-dirs.dirs",
                          "# written by xdg-user-dirs-update\nXDG_TEMPLATES_DIR=\"$HOME/same\"\n"));
    EXPECT_EQ(Listed(), "1:/home/Desktop/ 2:/home/ 3:/tmp/ 6:/home/.config/ 7:/home/.cache/ ");
    EXPECT_FALSE(test::Exists(m_dir / "home/Documents"));  // nothing created by asking

    ASSERT_TRUE(MakeDirs(m_dir / "home/Dokumente") &&
                MakeDirs(m_dir / "home/.local/share/RecentDocuments"));
    ASSERT_TRUE(WriteFile(m_dir / "home/.config/user-dirs.dirs",
                          "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\nXDG_DESKTOP_DIR=\"$HOME/gone\"\n"
                          "XDG_TEMPLATES_DIR=\"$HOME/Vorlagen\"\n"));
    EXPECT_EQ(Listed(),
              "0:/home/Dokumente/ 2:/home/ 3:/tmp/ 4:/home/.local/share/RecentDocuments/ "
              "5:/home/Vorlagen/ 6:/home/.config/ 7:/home/.cache/ ");
}

TEST_F(SpecialFoldersTest, TrashFoldersOfTheUserOnly) {
    const std::string id = std::to_string(::getuid());
    // Volumes nest: the home trash is served by the deepest that holds it.
    std::vector<Volume> volumes;
    for (const char* root : {"", "home/", "a/", "b/", "c/", "stick/"}) {
        volumes.push_back({m_dir / root, "", "", root == std::string("stick/")});
    }
    ASSERT_TRUE(MakeDirs(m_dir / "home/.local/share/Trash/files"));
    ASSERT_TRUE(MakeDirs(m_dir / "a/.Trash/" + id) && MakeDirs(m_dir / "a/.Trash-" + id));
    ASSERT_EQ(::chmod((m_dir / "a/.Trash").c_str(), 01777), 0);
    ASSERT_TRUE(MakeDirs(m_dir / "b/.Trash/" + id));  // not sticky: not a shared trash
    ASSERT_TRUE(MakeDirs(m_dir / "b/elsewhere"));
    ASSERT_EQ(::symlink("elsewhere", (m_dir / "b/.Trash-" + id).c_str()), 0);
    if (::getuid() == 0) {  // only root can give a folder away
        ASSERT_TRUE(MakeDirs(m_dir / "c/.Trash-" + id));
        ASSERT_EQ(::chown((m_dir / "c/.Trash-" + id).c_str(), 65534, 65534), 0);
    }
    ASSERT_TRUE(MakeDirs(m_dir / "stick/.Trash-" + id));  // slow: never probed

    std::string text;
    for (const TrashFolder& trash : ListTrashFolders(volumes, ::getuid())) {
        text += trash.path.substr(m_dir.Path().size()) + " on " +
                trash.volumeRoot.substr(m_dir.Path().size()) + "; ";
    }
    EXPECT_EQ(text, "/home/.local/share/Trash/ on /home/; /a/.Trash/" + id +
                        "/ on /a/; /a/.Trash-" + id + "/ on /a/; ");
}

}  // namespace
}  // namespace tolvane
