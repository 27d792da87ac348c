#include "app/TerminalRun.h"

#include <algorithm>
#include <cctype>
#include <thread>

#include "app/RunTexts.h"
#include "app/SettingsStore.h"
#include "engine/EraseEngine.h"
#include "engine/EraseJob.h"
#include "platform/Descriptors.h"
#include "platform/Interrupts.h"
#include "platform/StdOut.h"

namespace tolvane {
namespace {

bool IsYes(std::string line) {
    auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    line.erase(line.begin(), std::find_if_not(line.begin(), line.end(), blank));
    line.erase(std::find_if_not(line.rbegin(), line.rend(), blank).base(), line.end());
    std::transform(line.begin(), line.end(), line.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return line == "y" || line == "yes";
}

}  // namespace

TerminalRun::TerminalRun(std::vector<std::string> paths, std::optional<int> passes, bool assumeYes,
                         int answerFd, int talkFd)
    : m_paths(std::move(paths)),
      m_passes(passes),
      m_assumeYes(assumeYes),
      m_answerFd(answerFd),
      m_talkFd(talkFd) {}

TerminalRun::~TerminalRun() = default;

int TerminalRun::Run() {
    if (!m_assumeYes && !Confirm()) {
        return kExitErased;
    }
    std::string note;
    int passes = PassesForRun(m_passes, &note);
    if (!note.empty()) {
        Say("tolvane: " + note + "\n");
    }
    m_engine = std::make_unique<EraseEngine>(passes);
    if (!m_engine->Ready()) {
        Say(std::string("tolvane: ") + kNoRandomSource + "\n");
        m_outcome.notStarted = true;
        return m_outcome.Status();
    }
    if (!m_done.Valid()) {
        Say("tolvane: cannot create a pipe; nothing was erased\n");
        m_outcome.notStarted = true;
        return m_outcome.Status();
    }
    IgnoreBrokenPipe();

    InterruptPipe interrupts;
    // The worker never sees Ctrl+C: it reaches this thread, which holds the worker and asks.
    std::thread worker;
    WithInterruptsBlocked([&] { worker = StartEraseJob(m_paths, passes, this, m_engine.get()); });
    WaitForWorker(interrupts);
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
    return ReadAnswer(nullptr) == Answer::Yes;
}

void TerminalRun::WaitForWorker(const InterruptPipe& interrupts) {
    for (;;) {
        switch (WaitForEither(m_done.ReadFd(), interrupts.ReadFd())) {
            case Readable::First:
            case Readable::Error:  // cannot wait: the join that follows still waits for the end
                return;
            case Readable::Other:
                break;
        }
        interrupts.Drain();
        if (m_finished.load()) {
            continue;  // too late to stop: the end is on its way
        }
        m_engine->Gate().Hold();
        bool stop = AskStop(interrupts) == Answer::Yes;
        if (stop && !m_finished.load()) {
            m_engine->RequestCancel();
            m_outcome.stoppedByUser = true;
        }
        m_engine->Gate().Release();
    }
}

TerminalRun::Answer TerminalRun::AskStop(const InterruptPipe& interrupts) {
    // The engine's progress line has no line break: start the question on a line of its own.
    Say(std::string("\n") + kStopQuestion + " [y/N] ");
    return ReadAnswer(&interrupts);
}

TerminalRun::Answer TerminalRun::ReadAnswer(const InterruptPipe* interrupts) {
    for (;;) {
        std::string::size_type end = m_pendingInput.find('\n');
        if (end != std::string::npos) {
            std::string line = m_pendingInput.substr(0, end);
            m_pendingInput.erase(0, end + 1);
            return IsYes(line) ? Answer::Yes : Answer::No;
        }
        Readable ready = WaitForEither(m_answerFd, interrupts ? interrupts->ReadFd() : -1);
        if (ready == Readable::Other) {
            interrupts->Drain();  // a second Ctrl+C while asking means No
            Say("\n");
            return Answer::No;
        }
        if (ready == Readable::Error) {
            return Answer::No;
        }
        char buffer[256];
        ssize_t n = ReadSome(m_answerFd, buffer, sizeof buffer);
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
            m_done.Notify();
            break;
        }
        default:
            break;
    }
    return 0;
}

void TerminalRun::Say(const std::string& text) const {
    (void)WriteToDescriptor(m_talkFd, text);  // nobody listens: the run itself goes on
}

}  // namespace tolvane
