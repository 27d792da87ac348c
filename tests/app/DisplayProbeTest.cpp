#include "platform/DisplayProbe.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>

#include "TempDir.h"

namespace tolvane {
namespace {

using Access = DisplayServer::Access;

// Unsets the display variables for one case and puts the old values back afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment() {
        for (const char* name :
             {"DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "QT_QPA_PLATFORM"}) {
            const char* value = std::getenv(name);
            m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            ::unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        for (const auto& [name, value] : m_saved) {
            value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
        }
    }

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> m_saved;
};

// A listening socket, closed with the object; -1 when it could not be made.
class Listener {
public:
    ~Listener() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    // A Unix socket at `path`, or with that abstract name.
    bool ListenUnix(const std::string& path, bool abstractName) {
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + (abstractName ? 1 : 0), path.data(), path.size());
        return Listen(AF_UNIX, reinterpret_cast<sockaddr*>(&address),
                      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1));
    }
    bool ListenTcp(int port) {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return Listen(AF_INET, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }

private:
    bool Listen(int family, const sockaddr* address, socklen_t length) {
        m_fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        return m_fd >= 0 && ::bind(m_fd, address, length) == 0 && ::listen(m_fd, 4) == 0;
    }
    int m_fd = -1;
};

// An X display number nobody serves here: no socket file, no abstract name, no TCP port.
int FreeDisplayNumber() {
    for (int n = 97;; ++n) {
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(n);
        Listener abstractName;
        Listener tcp;
        if (!test::Exists(path) && abstractName.ListenUnix(path, true) && tcp.ListenTcp(6000 + n)) {
            return n;
        }
    }
}

TEST(DisplayProbeTest, ConnectsToWhatTheEnvironmentNames) {
    test::TempDir dir;
    const std::string served = std::to_string(FreeDisplayNumber());
    Listener local;
    ASSERT_TRUE(local.ListenUnix("/tmp/.X11-unix/X" + served, true));
    Listener tcp;
    ASSERT_TRUE(tcp.ListenTcp(6000 + std::stoi(served)));
    const std::string x11 = ":" + std::to_string(FreeDisplayNumber());  // another number
    Listener wayland;
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
        ScopedEnvironment environment;
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
