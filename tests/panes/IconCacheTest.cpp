#include "panes/IconCache.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

#include "QtTestEnvironment.h"

namespace tolvane {
namespace {

struct EntryCase {
    const char* name;
    bool isFolder;
    const char* iconName;
};

// The name alone decides: "notes.txt" is plain text even if it held a picture, and a folder
// named like a file is still a folder.
TEST(IconCacheTest, EntryIconNamesComeFromTheNameOnly) {
    const EntryCase cases[] = {
        {"..", true, ""},
        {"photos.jpg", true, "folder"},
        {"notes.txt", false, "text-plain"},
        {"HOLIDAY.JPG", false, "image-jpeg"},
        {"report.pdf", false, "application-pdf"},
        {"no extension at all", false, "application-octet-stream"},
    };
    for (const EntryCase& c : cases) {
        EXPECT_EQ(IconNameForEntry(c.name, c.isFolder), c.iconName) << c.name;
    }
}

TEST(IconCacheTest, LocationIconsTellVolumesFoldersAndTrashApart) {
    Location hard;
    hard.kind = LocationKind::Volume;
    Location stick = hard;
    stick.slow = true;
    Location share = stick;
    share.network = true;
    Location home;
    home.kind = LocationKind::SpecialFolder;
    home.specialKind = SpecialFolderKind::Favorites;
    Location trash;
    trash.kind = LocationKind::Trash;
    Location separator;
    separator.kind = LocationKind::Separator;
    EXPECT_EQ(IconNameForLocation(hard), "drive-harddisk");
    EXPECT_EQ(IconNameForLocation(stick), "drive-removable-media");
    EXPECT_EQ(IconNameForLocation(share), "folder-remote");
    EXPECT_EQ(IconNameForLocation(home), "user-home");
    EXPECT_EQ(IconNameForLocation(trash), "user-trash");
    EXPECT_EQ(IconNameForLocation(separator), "");
}

QImage Drawn(const QIcon& icon) {
    return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
}

// On a desktop without any icon theme the program's own icons stand in: every name draws
// something, each is made once, names of one kind share one icon, and the kinds (folder, file,
// volume, trash) and links can be told apart.
TEST(IconCacheTest, WithoutAnIconThemeTheProgramsOwnIconsShowEveryKind) {
    test::NoIconTheme noTheme;
    IconCache cache;
    for (const char* name :
         {"drive-harddisk", "drive-removable-media", "folder-remote", "user-home", "user-desktop",
          "user-trash", "folder", "folder-documents", "document-open-recent", "text-plain",
          "application-pdf", "application-x-no-such-type"}) {
        EXPECT_TRUE(test::DrawsSomething(cache.Icon(name))) << name;
        EXPECT_EQ(cache.Icon(name).cacheKey(), cache.Icon(name).cacheKey()) << name;
    }
    EXPECT_TRUE(cache.Icon("").isNull());
    const std::size_t made = cache.Size();
    cache.LinkIcon("text-plain");
    cache.LinkIcon("text-plain");
    EXPECT_EQ(cache.Size(), made + 1);
    const auto same = [&](const char* a, const char* b) {
        return cache.Icon(a).cacheKey() == cache.Icon(b).cacheKey();
    };
    EXPECT_TRUE(same("folder", "user-home"));
    EXPECT_TRUE(same("folder", "folder-documents"));
    EXPECT_TRUE(same("drive-harddisk", "folder-remote"));
    EXPECT_TRUE(same("text-plain", "application-x-no-such-type"));
    const std::vector<QImage> kinds = {Drawn(cache.Icon("folder")), Drawn(cache.Icon("text-plain")),
                                       Drawn(cache.Icon("drive-harddisk")),
                                       Drawn(cache.Icon("user-trash")),
                                       Drawn(cache.LinkIcon("text-plain"))};
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        for (std::size_t j = i + 1; j < kinds.size(); ++j) {
            EXPECT_NE(kinds[i], kinds[j]) << i << " and " << j << " look alike";
        }
    }
}

}  // namespace
}  // namespace tolvane
