#include "platform/DisplayProbe.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "FreeDisplay.h"
#include "QtTestEnvironment.h"
#include "TempDir.h"

namespace tolvane {
namespace {

using Access = DisplayServer::Access;

TEST(DisplayProbeTest, ConnectsToWhatTheEnvironmentNames) {
    test::TempDir dir;
    const std::string served = std::to_string(test::FreeDisplayNumber());
    test::Listener local;
    ASSERT_TRUE(local.ListenUnix("/tmp/.X11-unix/X" + served, true));
    test::Listener tcp;
    ASSERT_TRUE(tcp.ListenTcp(6000 + std::stoi(served)));
    const std::string x11 = ":" + std::to_string(test::FreeDisplayNumber());  // another number
    test::Listener wayland;
    ASSERT_TRUE(wayland.ListenUnix(dir / "wayland-test", false));

    struct Case {
        const char* what;
        std::vector<std::pair<const char*, std::string>> variables;
        Access x11 = Access::kUnset;
        Access wayland = Access::kUnset;
    } const cases[] = {
        {"nothing set", {}},
        {"empty values", {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}},
        {"stale X display", {{"DISPLAY", x11}}, Access::kUnreachable},
        {"stale X display with a screen", {{"DISPLAY", x11 + ".0"}}, Access::kUnreachable},
        {"stale TCP display", {{"DISPLAY", "127.0.0.1" + x11}}, Access::kUnreachable},
        {"not a display", {{"DISPLAY", "nonsense"}}, Access::kUnreachable},
        {"wayland by path",
         {{"WAYLAND_DISPLAY", dir / "wayland-test"}},
         Access::kUnset,
         Access::kReachable},
        {"wayland in the runtime folder",
         {{"WAYLAND_DISPLAY", "wayland-test"}, {"XDG_RUNTIME_DIR", dir.Path()}},
         Access::kUnset,
         Access::kReachable},
        {"wayland without a runtime folder",
         {{"WAYLAND_DISPLAY", "wayland-test"}},
         Access::kUnset,
         Access::kUnreachable},
        {"wayland reachable, a stale X display beside it",
         {{"WAYLAND_DISPLAY", dir / "wayland-test"}, {"DISPLAY", x11}},
         Access::kUnreachable,
         Access::kReachable},
        {"local X server", {{"DISPLAY", ":" + served}}, Access::kReachable},
        {"local X server by unix:", {{"DISPLAY", "unix:" + served}}, Access::kReachable},
        {"TCP X server", {{"DISPLAY", "127.0.0.1:" + served + ".0"}}, Access::kReachable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScopedEnvironment environment(
            {"DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "QT_QPA_PLATFORM"});
        for (const auto& [name, value] : c.variables) {
            ::setenv(name, value.c_str(), 1);
        }
        const DisplayStatus status = ProbeDisplay();
        EXPECT_EQ(status.x11.access, c.x11);
        EXPECT_EQ(status.wayland.access, c.wayland);
        for (const auto& [name, value] : c.variables) {
            const std::string& reported =
                std::string_view(name) == "DISPLAY" ? status.x11.value : status.wayland.value;
            EXPECT_TRUE(std::string_view(name) == "XDG_RUNTIME_DIR" || reported == value) << name;
        }
    }
}

}  // namespace
}  // namespace tolvane
