#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "TempDir.h"

namespace tolvane::test {

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
inline int FreeDisplayNumber() {
    for (int n = 97;; ++n) {
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(n);
        Listener abstractName;
        Listener tcp;
        if (!Exists(path) && abstractName.ListenUnix(path, true) && tcp.ListenTcp(6000 + n)) {
            return n;
        }
    }
}

}  // namespace tolvane::test
