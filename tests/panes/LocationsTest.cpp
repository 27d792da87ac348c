// The location list, path abbreviation and the placing of a path in the folder tree.
#include <gtest/gtest.h>

#include "panes/Locations.h"

namespace tolvane {
namespace {

LabeledVolume Vol(std::string root, std::string label = "", bool slow = false) {
    LabeledVolume entry;
    entry.volume.root = std::move(root);
    entry.volume.slow = slow;
    entry.label = std::move(label);
    return entry;
}

// One line per entry: kind, shown text, path, free-space item and slow flag.
std::vector<std::string> Describe(const std::vector<Location>& list) {
    static const char* const kKinds[] = {"vol", "special", "trash", "root", "sep", "recent"};
    std::vector<std::string> lines;
    for (const Location& l : list) {
        lines.push_back(std::string(kKinds[static_cast<int>(l.kind)]) + "|" + l.displayName + "|" +
                        l.path + "|" + l.freeSpaceItem + (l.slow ? "|slow" : ""));
    }
    return lines;
}

LocationInputs SampleInputs() {
    LocationInputs in;
    // The home folder is a volume of its own: its volume row and its Home row differ.
    in.volumes = {Vol("/"), Vol("/home/me/", "HOME DISK"), Vol("/media/me/STICK/", "", true)};
    using K = SpecialFolderKind;
    in.specialFolders = {{K::Documents, "/home/me/Dokumente/"},
                         {K::Favorites, "/home/me/"},
                         {K::Temp, "/tmp/"},
                         {K::InternetCache, "/home/me/.cache/"}};
    in.trashFolders = {{"/home/me/.local/share/Trash/", "/home/me/"},
                       {"/media/me/STICK/.Trash-1000/", "/media/me/STICK/"}};
    in.recentFolders = {"/home/me/projects/tolvane/build/", "/srv/"};
    return in;
}

TEST(BuildLocationList, BoxAndTreeInTheirOrder) {
    const std::vector<std::string> head = {
        "vol|/|/|/:", "vol|HOME DISK|/home/me/|/home/me:",
        "vol|/media/me/STICK|/media/me/STICK/|/media/me/STICK:|slow",
        "special|Dokumente|/home/me/Dokumente/|", "special|Home|/home/me/|"};
    std::vector<std::string> box = head;
    box.insert(box.end(), {"root|Root folder||", "sep|------------------------||",
                           "recent|...projects/tolvane/build/|/home/me/projects/tolvane/build/|",
                           "recent|/srv/|/srv/|"});
    EXPECT_EQ(Describe(BuildLocationList(LocationListKind::Box, SampleInputs())), box);

    std::vector<std::string> tree = head;
    tree.insert(tree.end(),
                {"special|tmp|/tmp/|", "special|.cache|/home/me/.cache/|",
                 "trash|Trash (/home/me)|/home/me/.local/share/Trash/|",
                 "trash|Trash (/media/me/STICK)|/media/me/STICK/.Trash-1000/|",
                 "sep|------------------------||", "recent|build|/home/me/projects/tolvane/build/|",
                 "recent|srv|/srv/|"});
    EXPECT_EQ(Describe(BuildLocationList(LocationListKind::Tree, SampleInputs())), tree);

    LocationInputs plain = SampleInputs();
    plain.showSpecialFolders = false;
    plain.recentFolders.clear();
    tree.erase(tree.begin() + 5, tree.begin() + 7);  // the extra special folders
    tree.resize(tree.size() - 3);                    // no separator without recent folders
    EXPECT_EQ(Describe(BuildLocationList(LocationListKind::Tree, plain)), tree);
}

TEST(AbbreviatePath, KeepsTheEndWithinNCharacters) {
    const struct {
        const char* text;
        std::size_t n;
        const char* expected;
    } cases[] = {
        {"/home/me/", 26, "/home/me/"},
        {"/abcdefgh/", 10, "/abcdefgh/"},  // exactly n
        {"/abcdefghi/", 10, "...defghi/"},
        {"/abcdef/", 3, "..."},
        {"/abcdef/", 2, "/abcdef/"},                                // too small to abbreviate
        {"/\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9/", 5, "...\xc3\xa9/"},  // never cut inside é
        {"", 0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AbbreviatePath(c.text, c.n), c.expected) << c.text << " " << c.n;
    }
}

TEST(MatchTreePath, TakesTheDeepestVolumeThenExactChildren) {
    LocationInputs in;
    in.volumes = {Vol("/"), Vol("/home/"), Vol("/home/me/usb/")};
    in.specialFolders = {{SpecialFolderKind::Documents, "/home/me/usb/Docs/"}};
    in.recentFolders = {"/home/me/"};
    const std::vector<Location> list = BuildLocationList(LocationListKind::Tree, in);
    const struct {
        const char* path;
        const char* expected;  // root index, then children
    } cases[] = {
        {"/", "0:"},
        {"/etc/ssh/", "0:etc,ssh,"},
        {"/homework/x/", "0:homework,x,"},  // a prefix of text, not of components
        {"/home/", "1:"},
        {"/home/me/Usb/", "1:me,Usb,"},         // names are case-sensitive
        {"/home/me/usb/Docs/a/", "2:Docs,a,"},  // special folders are no candidates
        {"/home/me/usb/file.txt", "2:"},        // text after the last '/' is no component
        {"/home//me/", "1:me,"},
        {"relative/path/", "none"},
        {"", "none"},
    };
    for (const auto& c : cases) {
        const std::optional<TreePathMatch> match = MatchTreePath(list, c.path);
        std::string text = "none";
        if (match) {
            text = std::to_string(match->rootIndex) + ":";
            for (const std::string& child : match->children) {
                text += child + ",";
            }
        }
        EXPECT_EQ(text, c.expected) << c.path;
    }
    EXPECT_EQ(FindLocation(list, "/home/me/"), list.size() - 1);  // the recent folder
    EXPECT_EQ(FindLocation(list, ""), std::nullopt);              // the separator names nothing
}

}  // namespace
}  // namespace tolvane
