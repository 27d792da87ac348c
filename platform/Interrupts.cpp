#include "platform/Interrupts.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <array>

namespace tolvane {
namespace {

// The signals routed into the pipe, and the byte each one writes.
struct Routed {
    int signal;
    char byte;
};
constexpr char kInterruptByte = 'i';
constexpr char kTerminationByte = 't';
constexpr std::array<Routed, 3> kRouted = {{
    {SIGINT, kInterruptByte},
    {SIGTERM, kTerminationByte},
    {SIGHUP, kTerminationByte},
}};

int g_interruptWrite = -1;  // the write end of the live InterruptPipe

extern "C" void OnSignal(int signal) {
    int saved = errno;
    char byte = signal == SIGINT ? kInterruptByte : kTerminationByte;
    [[maybe_unused]] ssize_t ignored = ::write(g_interruptWrite, &byte, 1);  // full pipe: seen
    errno = saved;
}

}  // namespace

struct InterruptPipe::Previous {
    std::array<struct sigaction, kRouted.size()> actions{};
    std::array<bool, kRouted.size()> replaced{};
};

InterruptPipe::InterruptPipe() : m_previous(std::make_unique<Previous>()) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;  // no pipe: the signals keep their default effect, as documented
    }
    m_read = fds[0];
    g_interruptWrite = fds[1];
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kRouted.size(); ++i) {
        struct sigaction& previous = m_previous->actions[i];
        if (::sigaction(kRouted[i].signal, nullptr, &previous) != 0 ||
            previous.sa_handler == SIG_IGN) {
            continue;  // ignored on purpose by whoever started us (nohup), or unknown: leave it
        }
        m_previous->replaced[i] = ::sigaction(kRouted[i].signal, &action, nullptr) == 0;
    }
}

InterruptPipe::~InterruptPipe() {
    if (m_read < 0) {
        return;
    }
    for (std::size_t i = 0; i < kRouted.size(); ++i) {
        if (m_previous->replaced[i]) {
            ::sigaction(kRouted[i].signal, &m_previous->actions[i], nullptr);
        }
    }
    ::close(g_interruptWrite);
    g_interruptWrite = -1;
    ::close(m_read);
}

InterruptsSeen InterruptPipe::Drain() const {
    InterruptsSeen seen;
    char bytes[64];
    ssize_t n = 0;
    while (m_read >= 0 && (n = ::read(m_read, bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            (bytes[i] == kTerminationByte ? seen.termination : seen.interrupt) = true;
        }
    }
    return seen;
}

void WithInterruptsBlocked(const std::function<void()>& start) {
    sigset_t blocked;
    sigset_t previous;
    sigemptyset(&blocked);
    for (const Routed& routed : kRouted) {
        sigaddset(&blocked, routed.signal);
    }
    ::pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    start();
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void IgnoreBrokenPipe() {
    ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace tolvane
