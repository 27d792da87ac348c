#include "app/TerminalRun.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <thread>

#include "app/RunTexts.h"
#include "app/SettingsStore.h"
#include "engine/EraseEngine.h"
#include "engine/EraseJob.h"
#include "platform/StdOut.h"

namespace tolvane {
namespace {

int g_signalWrite = -1;  // the self-pipe of the SIGINT handler

extern "C" void OnSigint(int) {
    // Only async-signal-safe work here: the main thread does the rest.
    int saved = errno;
    char byte = 1;
    [[maybe_unused]] ssize_t ignored = ::write(g_signalWrite, &byte, 1);
    errno = saved;
}

// Routes SIGINT into a pipe for as long as it lives, then restores the previous action.
class SigintPipe {
public:
    SigintPipe() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            return;
        }
        m_read = fds[0];
        g_signalWrite = fds[1];
        struct sigaction action = {};
        action.sa_handler = OnSigint;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, &m_previous);
    }
    ~SigintPipe() {
        if (m_read < 0) {
            return;
        }
        ::sigaction(SIGINT, &m_previous, nullptr);
        ::close(g_signalWrite);
        g_signalWrite = -1;
        ::close(m_read);
    }
    SigintPipe(const SigintPipe&) = delete;
    SigintPipe& operator=(const SigintPipe&) = delete;

    int ReadFd() const { return m_read; }

private:
    int m_read = -1;
    struct sigaction m_previous = {};
};

// Forgets the signals seen so far (the pipe is non-blocking).
void DrainPipe(int fd) {
    char bytes[64];
    while (::read(fd, bytes, sizeof bytes) > 0) {
    }
}

// Starts the worker with SIGINT blocked, so the signal always reaches the main thread and
// never interrupts the worker's system calls.
std::thread StartWithoutSigint(const std::vector<std::string>& paths, int passes,
                               NotifyTarget* target, EraseEngine* engine) {
    sigset_t blocked;
    sigset_t previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    ::pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    std::thread worker = StartEraseJob(paths, passes, target, engine);
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return worker;
}

bool IsYes(std::string line) {
    auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    line.erase(line.begin(), std::find_if_not(line.begin(), line.end(), blank));
    line.erase(std::find_if_not(line.rbegin(), line.rend(), blank).base(), line.end());
    std::transform(line.begin(), line.end(), line.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return line == "y" || line == "yes";
}

// Waits until fd is readable; also returns on signalFd (then true in *signalled).
bool WaitReadable(int fd, int signalFd, bool* signalled) {
    *signalled = false;
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {signalFd, POLLIN, 0}};
        int n = ::poll(fds, signalFd >= 0 ? 2 : 1, -1);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (signalFd >= 0 && (fds[1].revents & POLLIN)) {
            *signalled = true;
            return false;
        }
        // POLLHUP and POLLNVAL too: the read that follows reports end of input.
        return fds[0].revents != 0;
    }
}

}  // namespace

TerminalRun::TerminalRun(std::vector<std::string> paths, std::optional<int> passes, bool assumeYes,
                         int answerFd, int talkFd)
    : m_paths(std::move(paths)),
      m_passes(passes),
      m_assumeYes(assumeYes),
      m_answerFd(answerFd),
      m_talkFd(talkFd) {}

TerminalRun::~TerminalRun() {
    if (m_doneRead >= 0) {
        ::close(m_doneRead);
        ::close(m_doneWrite);
    }
}

int TerminalRun::Run() {
    if (!m_assumeYes && !Confirm()) {
        return kExitErased;
    }
    int passes = 0;
    if (m_passes) {
        passes = *m_passes;
    } else {
        std::string note;
        passes = ReadPassesSetting(&note);
        if (!note.empty()) {
            Say("tolvane: " + note + "\n");
        }
    }
    m_engine = std::make_unique<EraseEngine>(passes);
    if (!m_engine->Ready()) {
        Say(std::string("tolvane: ") + kNoRandomSource + "\n");
        m_outcome.notStarted = true;
        return m_outcome.Status();
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        Say("tolvane: cannot create a pipe; nothing was erased\n");
        m_outcome.notStarted = true;
        return m_outcome.Status();
    }
    m_doneRead = fds[0];
    m_doneWrite = fds[1];
    // A reader of our output that goes away (| head) must not kill the run in the middle of
    // a file: the engine ignores failed writes instead.
    ::signal(SIGPIPE, SIG_IGN);

    SigintPipe sigint;
    std::thread worker = StartWithoutSigint(m_paths, passes, this, m_engine.get());
    WaitForWorker(sigint.ReadFd());
    worker.join();
    m_engine.reset();

    WriteStdOut("\n");  // the engine's progress line ends without one
    if (!m_failedItems.Empty()) {
        Say(std::string(kFailedHeading) + WithUnixLineBreaks(m_failedItems.Text()) + "\n");
    }
    return m_outcome.Status();
}

bool TerminalRun::Confirm() {
    Say(std::string(kConfirmHeading) + WithUnixLineBreaks(BuildConfirmText(m_paths)) + "\n[y/N] ");
    return ReadAnswer(-1) == Answer::Yes;
}

void TerminalRun::WaitForWorker(int signalFd) {
    for (;;) {
        pollfd fds[2] = {{m_doneRead, POLLIN, 0}, {signalFd, POLLIN, 0}};
        if (::poll(fds, signalFd >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;  // cannot wait: the join that follows still waits for the end
        }
        if (fds[0].revents != 0) {
            return;
        }
        if (signalFd >= 0 && (fds[1].revents & POLLIN)) {
            DrainPipe(signalFd);
            if (m_finished.load()) {
                continue;  // too late to stop: the done byte is on its way
            }
            m_engine->Gate().Hold();
            bool stop = AskStop(signalFd) == Answer::Yes;
            if (stop && !m_finished.load()) {
                m_engine->RequestCancel();
                m_outcome.stoppedByUser = true;
            }
            m_engine->Gate().Release();
        }
    }
}

TerminalRun::Answer TerminalRun::AskStop(int signalFd) {
    // The engine's progress line has no line break: start the question on a line of its own.
    Say(std::string("\n") + kStopQuestion + " [y/N] ");
    return ReadAnswer(signalFd);
}

TerminalRun::Answer TerminalRun::ReadAnswer(int signalFd) {
    for (;;) {
        std::string::size_type end = m_pendingInput.find('\n');
        if (end != std::string::npos) {
            std::string line = m_pendingInput.substr(0, end);
            m_pendingInput.erase(0, end + 1);
            return IsYes(line) ? Answer::Yes : Answer::No;
        }
        bool signalled = false;
        if (!WaitReadable(m_answerFd, signalFd, &signalled)) {
            if (signalled) {
                DrainPipe(signalFd);
                Say("\n");
            }
            return Answer::No;
        }
        char buffer[256];
        ssize_t n = ::read(m_answerFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // End of input: an unfinished last line still counts as what was typed.
            std::string line;
            line.swap(m_pendingInput);
            Say("\n");
            return !line.empty() && IsYes(line) ? Answer::Yes : Answer::No;
        }
        m_pendingInput.append(buffer, static_cast<std::size_t>(n));
    }
}

std::intptr_t TerminalRun::Send(std::uint32_t message, std::uintptr_t code, std::intptr_t value) {
    if (message != WM_ERASE_NOTIFY) {
        return 0;
    }
    switch (code) {
        case ERN_FAILED:
            // The text is the worker's and reused after we return: copy it.
            m_failedItems.Add(std::string(reinterpret_cast<const char*>(value)));
            ++m_failedNotified;
            break;
        case ERN_FINISHED: {
            m_outcome.failed = std::max(m_failedNotified, m_engine->FailedCount());
            m_outcome.notFound = m_engine->NotFoundCount();
            m_finished.store(true);
            char byte = 1;
            while (::write(m_doneWrite, &byte, 1) < 0 && errno == EINTR) {
            }
            break;
        }
        default:
            break;
    }
    return 0;
}

void TerminalRun::Say(const std::string& text) const {
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(m_talkFd, p, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;  // nobody listens: the run itself goes on
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

}  // namespace tolvane
