#include "platform/Interrupts.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace tolvane {
namespace {

int g_interruptWrite = -1;  // the write end of the live InterruptPipe

extern "C" void OnInterrupt(int) {
    int saved = errno;
    char byte = 1;
    [[maybe_unused]] ssize_t ignored = ::write(g_interruptWrite, &byte, 1);  // full pipe: seen
    errno = saved;
}

}  // namespace

InterruptPipe::InterruptPipe() : m_previous(new struct sigaction()) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    m_read = fds[0];
    g_interruptWrite = fds[1];
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, static_cast<struct sigaction*>(m_previous));
}

InterruptPipe::~InterruptPipe() {
    auto* previous = static_cast<struct sigaction*>(m_previous);
    if (m_read >= 0) {
        ::sigaction(SIGINT, previous, nullptr);
        ::close(g_interruptWrite);
        g_interruptWrite = -1;
        ::close(m_read);
    }
    delete previous;
}

void InterruptPipe::Drain() const {
    char bytes[64];
    while (m_read >= 0 && ::read(m_read, bytes, sizeof bytes) > 0) {
    }
}

void WithInterruptsBlocked(const std::function<void()>& start) {
    sigset_t blocked;
    sigset_t previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    ::pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    start();
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void IgnoreBrokenPipe() {
    ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace tolvane
