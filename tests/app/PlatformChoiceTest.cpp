// The choice of the Qt platform before Qt starts: which platform, and what is said when none
// Qt would try can start (Qt would abort the whole process).
#include "app/PlatformChoice.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tolvane {
namespace {

using Access = DisplayServer::Access;
using Outcome = PlatformChoice::Outcome;

struct Situation {
    const char* what;
    std::string requested;
    bool waylandSession = false;
    Access x11 = Access::kUnset;
    Access wayland = Access::kUnset;
    std::set<std::string> plugins = {"xcb", "wayland", "offscreen"};
};

PlatformChoice Choose(const Situation& situation) {
    PlatformFacts facts;
    facts.requested = situation.requested;
    facts.waylandSession = situation.waylandSession;
    facts.display.x11 = {situation.x11, situation.x11 == Access::kUnset ? "" : ":5"};
    facts.display.wayland = {situation.wayland,
                             situation.wayland == Access::kUnset ? "" : "wayland-1"};
    facts.hasPlugin = [&situation](std::string_view key) {
        return situation.plugins.count(std::string(key)) > 0;
    };
    return ChoosePlatform(facts);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(PlatformChoiceTest, AWindowOpensWhereQtWouldPickAPlatformThatStarts) {
    constexpr Access kUp = Access::kReachable;
    constexpr Access kGone = Access::kUnreachable;
    const std::set<std::string> noWayland = {"xcb", "offscreen"};
    struct Case {
        Situation situation;
        std::string platform;  // what Qt is told, empty: its own choice
        bool noted = false;    // a line on standard error
    } const cases[] = {
        {{"X11 session", "", false, kUp}, ""},
        {{"Wayland session", "", false, Access::kUnset, kUp}, ""},
        {{"Wayland with XWayland", "", false, kUp, kUp}, ""},
        {{"dead compositor, X answers", "", false, kUp, kGone}, "xcb"},
        {{"no Wayland plugin, X answers", "", false, kUp, kUp, noWayland}, "xcb", true},
        {{"Wayland session type without WAYLAND_DISPLAY", "", true, kUp}, "xcb"},
        {{"offscreen asked for", "offscreen", false, kGone}, ""},
        {{"the list's second entry", "wayland;xcb", false, kUp, kGone}, "xcb"},
        {{"options and case kept", "Wayland:option;XCB", false, kUp, kUp}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.situation.what);
        const PlatformChoice choice = Choose(c.situation);
        EXPECT_EQ(choice.outcome, Outcome::kWindow);
        EXPECT_EQ(choice.platform, c.platform);
        EXPECT_EQ(!choice.reason.empty(), c.noted) << choice.reason;
        if (c.noted) {
            EXPECT_TRUE(Contains(choice.reason, "qt6-wayland")) << choice.reason;
        }
    }
}

// Each of these made Qt abort with status 134, or named the wrong display.
TEST(PlatformChoiceTest, NoPlatformThatStartsIsSaidWithItsCause) {
    const std::set<std::string> noWayland = {"xcb", "offscreen"};
    struct Case {
        Situation situation;
        std::vector<std::string> said;
        std::string notSaid = {};
    } const cases[] = {
        {{"Wayland without its plugin", "", false, Access::kUnset, Access::kReachable, noWayland},
         {"qt6-wayland", "QT_QPA_PLATFORM=xcb"}},
        {{"Wayland without its plugin, X gone", "", false, Access::kUnreachable, Access::kReachable,
          noWayland},
         {"qt6-wayland"}},
        {{"Wayland asked for, only X there", "wayland", false, Access::kReachable},
         {"QT_QPA_PLATFORM=wayland", "WAYLAND_DISPLAY is not set"},
         "DISPLAY="},
        {{"stale X display", "", false, Access::kUnreachable},
         {"cannot reach the display (DISPLAY=:5)"}},
        {{"stale compositor", "", false, Access::kUnset, Access::kUnreachable},
         {"cannot reach the display (WAYLAND_DISPLAY=wayland-1)"}},
        {{"xcb asked for, only Wayland there", "xcb", false, Access::kUnset, Access::kReachable},
         {"QT_QPA_PLATFORM=xcb", "DISPLAY is not set"}},
        {{"no X plugin", "", false, Access::kReachable, Access::kUnset, {"wayland"}},
         {"\"xcb\"", "libqt6gui6"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.situation.what);
        const PlatformChoice choice = Choose(c.situation);
        EXPECT_EQ(choice.outcome, Outcome::kUnavailable);
        for (const std::string& part : c.said) {
            EXPECT_TRUE(Contains(choice.reason, part)) << choice.reason;
        }
        EXPECT_TRUE(c.notSaid.empty() || !Contains(choice.reason, c.notSaid)) << choice.reason;
    }
    EXPECT_EQ(Choose({"nothing set", "xcb"}).outcome, Outcome::kNoDisplay);
}

}  // namespace
}  // namespace tolvane
