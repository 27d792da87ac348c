#include "platform/DisplayProbe.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/Descriptors.h"
#include "platform/UniqueFd.h"

namespace tolvane {
namespace {

constexpr int kTcpWaitMs = 3000;  // a remote display that takes longer is as good as gone
constexpr int kX11BasePort = 6000;

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// Connects to a Unix socket; `abstractName` puts it in the abstract namespace (a leading
// NUL), where X servers listen too.
bool ConnectUnix(const std::string& path, bool abstractName) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstractName ? 1 : 0;
    if (path.empty() || path.size() + offset >= sizeof address.sun_path) {
        return false;  // libraries cannot use such a path either
    }
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    // An abstract name is exactly its bytes; a path ends with its NUL.
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    // A local connect completes or fails at once; an interrupted one counts as failed (it
    // cannot simply be repeated).
    return fd.Valid() && ::connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), length) == 0;
}

// Connects to one TCP address without waiting longer than kTcpWaitMs.
bool ConnectTcp(const addrinfo& info) {
    UniqueFd fd(::socket(info.ai_family, info.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                         info.ai_protocol));
    if (!fd.Valid()) {
        return false;
    }
    if (::connect(fd.Get(), info.ai_addr, info.ai_addrlen) == 0) {
        return true;
    }
    if (errno != EINPROGRESS) {
        return false;
    }
    pollfd wait = {fd.Get(), POLLOUT, 0};
    const int ready = RetryOnInterrupt([&] { return ::poll(&wait, 1, kTcpWaitMs); });
    int error = 0;
    socklen_t size = sizeof error;
    return ready == 1 && ::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &error, &size) == 0 &&
           error == 0;
}

bool ConnectTcp(const std::string& host, int port) {
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        return false;
    }
    bool connected = false;
    for (const addrinfo* info = found; info != nullptr && !connected; info = info->ai_next) {
        connected = ConnectTcp(*info);
    }
    ::freeaddrinfo(found);
    return connected;
}

// DISPLAY is [protocol/][host]:number[.screen]. An empty host, "unix" or the protocol "unix"
// mean the local socket; any other host is reached over TCP.
bool X11Reachable(const std::string& value) {
    std::string_view display = value;
    std::string_view protocol;
    if (std::string_view::size_type slash = display.find('/'); slash != std::string_view::npos) {
        protocol = display.substr(0, slash);
        display.remove_prefix(slash + 1);
    }
    const std::string_view::size_type colon = display.rfind(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    std::string host(display.substr(0, colon));
    std::string_view rest = display.substr(colon + 1);
    int number = 0;
    std::size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9' && number < 100000) {
        number = number * 10 + (rest[digits] - '0');
        ++digits;
    }
    if (digits == 0 || (digits < rest.size() && rest[digits] != '.')) {
        return false;
    }
    if (protocol == "unix" || (protocol.empty() && (host.empty() || host == "unix"))) {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        return ConnectUnix(socket, true) || ConnectUnix(socket, false);
    }
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);  // an IPv6 address in brackets
    }
    return !host.empty() && ConnectTcp(host, kX11BasePort + number);
}

bool WaylandReachable(const std::string& display) {
    if (!display.empty() && display.front() == '/') {
        return ConnectUnix(display, false);
    }
    const std::string runtime = Variable("XDG_RUNTIME_DIR");
    return !runtime.empty() && runtime.front() == '/' &&
           ConnectUnix(runtime + "/" + display, false);
}

DisplayServer Probe(const char* variable, bool (*reachable)(const std::string&)) {
    DisplayServer server;
    server.value = Variable(variable);
    if (!server.value.empty()) {
        server.access = reachable(server.value) ? DisplayServer::Access::kReachable
                                                : DisplayServer::Access::kUnreachable;
    }
    return server;
}

}  // namespace

DisplayStatus ProbeDisplay() {
    return {Probe("DISPLAY", X11Reachable), Probe("WAYLAND_DISPLAY", WaylandReachable)};
}

}  // namespace tolvane
