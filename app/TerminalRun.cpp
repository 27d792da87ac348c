#include "app/TerminalRun.h"

#include <algorithm>
#include <cctype>

#include "app/RunTexts.h"
#include "engine/EraseEngine.h"
#include "platform/Interrupts.h"
#include "platform/StandardStreams.h"
#include "platform/StdOut.h"
#include "platform/TerminalText.h"

namespace tolvane {
namespace {

// How often the terminal is looked at while the stop question waits: there is no
// notification when the foreground of a terminal changes.
constexpr int kTerminalCheckMs = 200;

bool IsYes(std::string line) {
    auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    line.erase(line.begin(), std::find_if_not(line.begin(), line.end(), blank));
    line.erase(std::find_if_not(line.rbegin(), line.rend(), blank).base(), line.end());
    std::transform(line.begin(), line.end(), line.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return line == "y" || line == "yes";
}

}  // namespace

TerminalChannels TerminalChannels::ForThisProcess(UniqueFd& terminal) {
    TerminalChannels channels;
    if (IsTerminal(channels.answerFd)) {
        return channels;  // the person typing at the prompt is there for the question too
    }
    // Standard input is a pipe or a file (`ls | xargs tolvane --yes`): it cannot answer for
    // the person who pressed Ctrl+C, and its end would read as "No".
    terminal = OpenControllingTerminal();
    channels.stopAnswerFd = terminal.Get();
    channels.stopTalkFd = terminal.Valid() ? terminal.Get() : channels.talkFd;
    return channels;
}

TerminalRun::TerminalRun(std::vector<std::string> paths, std::optional<int> passes, bool assumeYes)
    : TerminalRun(std::move(paths), passes, assumeYes, TerminalChannels()) {
    m_channels = TerminalChannels::ForThisProcess(m_terminal);
    m_stopInput.fd = m_channels.stopAnswerFd;
}

TerminalRun::TerminalRun(std::vector<std::string> paths, std::optional<int> passes, bool assumeYes,
                         TerminalChannels channels)
    : m_passes(passes),
      m_assumeYes(assumeYes),
      m_channels(channels),
      m_escapeNames(IsTerminal(channels.talkFd)),
      m_session(
          std::move(paths), [this](const std::string& text) { return Shown(text); }, *this) {
    m_confirmInput.fd = m_channels.answerFd;
    m_stopInput.fd = m_channels.stopAnswerFd;
}

TerminalRun::~TerminalRun() = default;

int TerminalRun::Run() {
    if (!m_assumeYes && !Confirm()) {
        return kExitErased;
    }
    RunOutcome& outcome = m_session.Outcome();
    std::string note;
    std::unique_ptr<EraseEngine> engine = MakeRunEngine(m_passes, m_engineFactory, &note);
    if (!note.empty()) {
        Say("tolvane: " + Shown(note) + "\n");
    }
    if (!engine) {
        Say(std::string("tolvane: ") + kNoRandomSource + "\n");
        outcome.notStarted = true;
        return outcome.Status();
    }
    if (!m_done.Valid()) {
        Say("tolvane: cannot create a pipe; nothing was erased\n");
        outcome.notStarted = true;
        return outcome.Status();
    }
    IgnoreBrokenPipe();

    InterruptPipe interrupts;
    // The worker never sees the signals: they reach this thread, which holds the worker and
    // asks (or stops at once).
    WithInterruptsBlocked([&] { m_session.Start(std::move(engine), this); });
    WaitForWorker(interrupts);
    m_session.Run().Join();

    WriteStdOut("\n");  // the engine's progress line ends without one
    SayClosingWords();
    return m_session.Outcome().Status();
}

bool TerminalRun::Confirm() {
    std::vector<std::string> lines = m_session.ConfirmLines();
    const std::vector<std::string> notes = m_session.MediumNoteLines();
    if (!notes.empty()) {
        lines.emplace_back();
        lines.insert(lines.end(), notes.begin(), notes.end());
    }
    Say(JoinLines(lines) + "\n[y/N] ");
    return ReadAnswer(m_confirmInput, nullptr, Answer::No, m_channels.talkFd) == Answer::Yes;
}

// The failure list, then the summary and the notes, one line each.
void TerminalRun::SayClosingWords() {
    std::vector<std::string> lines;
    const std::vector<std::string>& failures = m_session.FailureLines();
    if (!failures.empty()) {
        lines.emplace_back(kFailedHeading);
    }
    for (const std::vector<std::string>& block :
         {failures, m_session.SummaryLines(), m_session.MediumNoteLines(),
          m_session.EngineNotes()}) {
        lines.insert(lines.end(), block.begin(), block.end());
    }
    Say(JoinLines(lines) + "\n");
}

void TerminalRun::WaitForWorker(const InterruptPipe& interrupts) {
    for (;;) {
        switch (WaitForEither(m_done.ReadFd(), interrupts.ReadFd())) {
            case Readable::First:
            case Readable::Error:  // cannot wait: the join that follows still waits for the end
                return;
            case Readable::Other:
                break;
            case Readable::TimedOut:  // none was asked for
                continue;
        }
        const InterruptsSeen seen = interrupts.Drain();
        // Nothing to ask once the end is on its way or a stop is already in force.
        if (!m_session.Run().BeginAsking()) {
            continue;
        }
        const bool stop = StopsWithoutAsking(seen) || AskStop(interrupts) == Answer::Yes;
        m_session.Run().EndAsking(stop);
    }
}

bool TerminalRun::StopsWithoutAsking(const InterruptsSeen& seen) {
    if (seen.termination) {
        Say("\ntolvane: terminated: stopping\n");
    }
    return seen.termination;
}

TerminalRun::Answer TerminalRun::AskStop(const InterruptPipe& interrupts) {
    if (m_channels.stopAnswerFd < 0) {
        Say("\ntolvane: interrupted, and there is no terminal to ask whether to stop: "
            "stopping\n");
        return Answer::Yes;
    }
    if (!MayAskOn(m_channels.stopAnswerFd)) {
        // Nobody would see the question (the shell has the terminal again, say after the
        // xargs that started us was killed), and a wait for a key would keep the run, and a
        // volume it is filling, going for as long as nobody types.
        SayLostTerminal();
        return Answer::Yes;
    }
    // The engine's progress line has no line break: start the question on a line of its own.
    (void)WriteToDescriptor(m_channels.stopTalkFd,
                            std::string("\n") + kStopQuestion + " [y/N] ");  // best effort
    return ReadAnswer(StopSource(), &interrupts, Answer::Yes, m_channels.stopTalkFd);
}

TerminalRun::LineSource& TerminalRun::StopSource() {
    // One descriptor, one buffer: lines typed ahead at the prompt belong to the next question.
    return m_stopInput.fd == m_confirmInput.fd ? m_confirmInput : m_stopInput;
}

TerminalRun::Answer TerminalRun::ReadAnswer(LineSource& source, const InterruptPipe* interrupts,
                                            Answer atEnd, int echoFd) {
    for (;;) {
        std::string::size_type end = source.pending.find('\n');
        if (end != std::string::npos) {
            std::string line = source.pending.substr(0, end);
            source.pending.erase(0, end + 1);
            return IsYes(line) ? Answer::Yes : Answer::No;
        }
        // While the stop question waits, the terminal is watched: when it stops being ours,
        // nobody can answer any more, and the run stops as it does where nobody can be asked.
        const bool watch = interrupts != nullptr;
        Readable ready = WaitForEither(source.fd, watch ? interrupts->ReadFd() : -1,
                                       watch ? kTerminalCheckMs : -1);
        if (ready == Readable::Other) {
            // A second Ctrl+C while asking means No; a termination means stop.
            const bool stop = StopsWithoutAsking(interrupts->Drain());
            (void)WriteToDescriptor(echoFd, "\n");  // best effort, as all talk
            return stop ? Answer::Yes : Answer::No;
        }
        if (watch && !MayAskOn(source.fd)) {
            SayLostTerminal();  // not on the terminal: it is someone else's now
            return Answer::Yes;
        }
        if (ready == Readable::TimedOut) {
            continue;
        }
        char buffer[256];
        ssize_t n = ready == Readable::Error ? -1 : ReadSome(source.fd, buffer, sizeof buffer);
        if (n <= 0) {
            // End of input: an unfinished last line still counts as what was typed.
            std::string line;
            line.swap(source.pending);
            (void)WriteToDescriptor(echoFd, "\n");
            if (!line.empty()) {
                return IsYes(line) ? Answer::Yes : Answer::No;
            }
            if (atEnd == Answer::Yes) {
                Say("tolvane: no answer could be read: stopping\n");
            }
            return atEnd;
        }
        source.pending.append(buffer, static_cast<std::size_t>(n));
    }
}

std::intptr_t TerminalRun::Send(std::uint32_t message, std::uintptr_t code, std::intptr_t value) {
    return m_session.Run().Send(message, code, value);
}

void TerminalRun::OnEnded() {
    m_done.Notify();
}

std::string TerminalRun::Shown(const std::string& path) const {
    return m_escapeNames ? EscapeForTerminal(path) : path;
}

void TerminalRun::SayLostTerminal() const {
    Say("\ntolvane: interrupted, and the terminal is no longer this run's (it runs in the "
        "background, or the job that started it has ended): stopping\n");
}

void TerminalRun::Say(const std::string& text) const {
    (void)WriteToDescriptor(m_channels.talkFd, text);  // nobody listens: the run itself goes on
}

}  // namespace tolvane
