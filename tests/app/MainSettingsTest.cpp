#include "app/MainSettings.h"

#include <gtest/gtest.h>

#include "MainFrameTestSupport.h"
#include "app/SettingsStore.h"
#include "app/WindowPlacement.h"
#include "items/DataMemoryWriter.h"

namespace tolvane {
namespace {

using MainSettingsTest = test::WithoutSettingsFile;

TEST_F(MainSettingsTest, EverythingStoredComesBackAndFlagsAreZeroOrOne) {
    MainSettings s;
    s.passes = 7;
    s.leftType = LeftPaneKind::BigIcons;
    s.useRightWindow = false;
    s.leftWidth = 301;
    s.showAdvertisement = false;
    s.desktopShortcut = false;
    s.contextMenu = true;
    s.zoomed = true;
    s.windowRect = {10, 20, 810, 620};
    s.autoTargets = {false, false, true, true, true, true};
    Data::MemoryWriter state;
    state.Write("record", 1, 6);
    SaveSettings(s, state);

    Data::MemoryWriter read;
    MainSettings back = LoadSettings(read);
    EXPECT_EQ(back.passes, 7);
    EXPECT_EQ(back.leftType, LeftPaneKind::BigIcons);
    EXPECT_FALSE(back.useRightWindow);
    EXPECT_EQ(back.leftWidth, 301);
    EXPECT_FALSE(back.showAdvertisement);
    EXPECT_FALSE(back.desktopShortcut);
    EXPECT_TRUE(back.contextMenu);
    EXPECT_TRUE(back.zoomed);
    EXPECT_EQ(ToQRect(back.windowRect), QRect(10, 20, 800, 600));
    EXPECT_EQ(back.autoTargets, s.autoTargets);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(read.Data()), read.Length()), "record");
    EXPECT_EQ(GetSettingDword("ContextMenu", -1), 1);
}

TEST_F(MainSettingsTest, StoredValuesAreNormalisedOnReading) {
    const struct {
        const char* name;
        int stored;
        int (*read)(const MainSettings&);
        int expected;
    } cases[] = {
        {"LeftType", -1, [](const MainSettings& s) { return int(s.leftType); }, 2},
        {"LeftType", 3, [](const MainSettings& s) { return int(s.leftType); }, 2},
        {"LeftType", 1, [](const MainSettings& s) { return int(s.leftType); }, 1},
        {"RightType", 5, [](const MainSettings& s) { return int(s.useRightWindow); }, 1},
        {"ARecent", -7, [](const MainSettings& s) { return int(s.autoTargets[5]); }, 1},
        {"Passes", 101, [](const MainSettings& s) { return s.passes; }, 3},
    };
    for (const auto& c : cases) {
        SetSettingDword(c.name, c.stored);
        Data::MemoryWriter state;
        EXPECT_EQ(c.read(LoadSettings(state)), c.expected) << c.name << "=" << c.stored;
    }
}

TEST(WindowPlacementTest, FitsTheRectangleOntoTheScreenItOverlapsMost) {
    const QList<QRect> screens = {QRect(0, 0, 1920, 1040), QRect(1920, 0, 1280, 1024)};
    const struct {
        QRect stored;
        QRect fitted;
    } cases[] = {
        {{100, 100, 800, 600}, {100, 100, 800, 600}},      // visible: unchanged
        {{40000, -30000, 800, 600}, {1120, 0, 800, 600}},  // nowhere: onto the first
        {{3000, 500, 800, 600}, {2400, 424, 800, 600}},    // half off the second
        {{-50, -20, 3000, 2000}, {0, 0, 1920, 1040}},      // larger than the screen
        {{1800, 10, 400, 300}, {1920, 10, 400, 300}},      // mostly on the second
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FitToScreens(c.stored, screens), c.fitted) << c.stored.x() << "," << c.stored.y();
    }
    EXPECT_EQ(FitToScreens(QRect(5, 5, 10, 10), {}), QRect(5, 5, 10, 10));

    // The title bar above the inside stays on the screen: a window stored above the top (or
    // stored at twice the scale, larger than the screen) comes back below it, whole.
    const int title = 30;
    EXPECT_EQ(FitToScreens({100, -500, 800, 600}, screens, title), QRect(100, 30, 800, 600));
    EXPECT_EQ(FitToScreens({0, 0, 3840, 2080}, screens, title), QRect(0, 30, 1920, 1010));
    EXPECT_EQ(FitToScreens({2000, 5, 400, 300}, screens, title), QRect(2000, 30, 400, 300));
    EXPECT_EQ(FitToScreens({100, 200, 800, 600}, screens, title), QRect(100, 200, 800, 600));
}

}  // namespace
}  // namespace tolvane
