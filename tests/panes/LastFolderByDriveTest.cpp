// The last folder per volume: lookups that never add, and a table that keeps the saved pane
// state under its size limit.
#include <gtest/gtest.h>

#include "items/DataMemoryReader.h"
#include "items/DataMemoryWriter.h"
#include "items/PaneState.h"
#include "panes/LastFolderByDrive.h"

namespace tolvane {
namespace {

constexpr std::size_t kRecordLimit = 32768;  // what the settings store keeps of a binary value

std::string Stick(int i) {
    return "/media/me/STICK" + std::to_string(i) + "/";
}

TEST(LastFolderByDrive, RecallsWithoutAddingAndReplacesPerVolume) {
    LastFolderByDrive table;
    table.Remember("/home/", "/home/me/a/");
    table.Remember("/home", "/home/me/b/");  // the same volume, with or without the '/'
    table.Remember("/", "");                 // nothing to return to
    table.Remember("/srv/", std::string(kPaneStateStringUnits, 'x'));  // cannot be saved
    EXPECT_EQ(table.Recall("/home/"), "/home/me/b/");
    EXPECT_EQ(table.Recall("/"), "/");
    EXPECT_EQ(table.Recall("/srv/"), "/srv/");
    EXPECT_EQ(table.Recall(""), "");
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(table.Recall(Stick(i)), Stick(i));
    }
    EXPECT_EQ(table.Size(), 1u);
    EXPECT_EQ(table.ToMap(),
              (std::map<std::uint32_t, std::string>{{DriveKeyOf("/home/"), "/home/me/b/"}}));
}

TEST(LastFolderByDrive, AThousandSticksKeepThePaneStateUnderItsLimit) {
    // Every other field of the record as large as it can be.
    PaneState state;
    const std::string longest = "/" + std::string(kPaneStateStringUnits - 3, 'f') + "/";
    state.folder = {longest, longest};
    state.recentFolders.assign(7, longest);

    // Folders of 20 to 1,000 characters: the longest the record can hold with a stick's path.
    for (std::size_t folderLength : {std::size_t{20}, std::size_t{300}, std::size_t{1000}}) {
        LastFolderByDrive table;
        for (int i = 0; i < 1000; ++i) {
            table.Remember(Stick(i), Stick(i) + std::string(folderLength, 'd') + "/");
        }
        EXPECT_LE(table.Size(), LastFolderByDrive::kMaxEntries);
        EXPECT_LE(table.RecordBytes(), LastFolderByDrive::kMaxRecordBytes);
        // The newest volumes are the ones kept.
        EXPECT_NE(table.Recall(Stick(999)), Stick(999)) << folderLength;
        EXPECT_EQ(table.Recall(Stick(0)), Stick(0)) << folderLength;

        state.lastFolderByDrive = table.ToMap();
        Data::MemoryWriter writer;
        SavePaneState(writer, state);
        EXPECT_LE(writer.Length(), kRecordLimit) << folderLength;

        PaneState loaded;
        Data::MemoryReader reader(writer);
        LoadPaneState(reader, loaded);
        EXPECT_EQ(loaded.lastFolderByDrive, state.lastFolderByDrive) << folderLength;
        EXPECT_EQ(loaded.recentFolders.size(), 7u);
    }
}

TEST(LastFolderByDrive, LoadingAnOversizedTableCapsIt) {
    std::map<std::uint32_t, std::string> saved;
    for (int i = 0; i < 1000; ++i) {
        saved[DriveKeyOf(Stick(i))] = Stick(i) + std::string(200, 'd') + "/";
    }
    LastFolderByDrive table;
    table.Load(saved);
    EXPECT_GT(table.Size(), 0u);
    EXPECT_LE(table.RecordBytes(), LastFolderByDrive::kMaxRecordBytes);
    for (const auto& [key, folder] : table.ToMap()) {
        EXPECT_EQ(saved.at(key), folder);
    }
}

}  // namespace
}  // namespace tolvane
