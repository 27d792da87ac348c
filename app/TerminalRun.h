#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/RunEngine.h"
#include "engine/RunSession.h"
#include "platform/Descriptors.h"
#include "platform/UniqueFd.h"

namespace tolvane {

class InterruptPipe;
struct InterruptsSeen;

// Where a terminal run talks and reads its answers. Not owned.
struct TerminalChannels {
    int answerFd = 0;  // the confirmation's answer: scripts pipe "y" into standard input
    int talkFd = 2;    // the confirmation, notes and the failure list
    // The stop question after Ctrl+C: it must reach a person, also when standard input is a
    // pipe or /dev/null. -1: nobody can be asked, and Ctrl+C stops at once.
    int stopAnswerFd = 0;
    int stopTalkFd = 2;

    // The channels of this process: everything on the standard descriptors, except that the
    // stop question goes to the controlling terminal when standard input is not a terminal
    // (opened into `terminal`, which must outlive the run), and to nobody when there is none.
    static TerminalChannels ForThisProcess(UniqueFd& terminal);
};

// A command-line run without a window (no display, or --yes): the confirmation as a y/N
// prompt (with the medium notes: where overwriting in place cannot be relied on), the
// engine's own progress line on standard output, Ctrl+C as the stop request, and at the end
// the list of failed paths, then a closing summary: counts, what was written, the time
// taken, the medium notes and the engine's notes.
//
// SIGTERM and SIGHUP (the terminal closed) stop the run without a question, as a confirmed
// stop does: the file being overwritten stays as a stop leaves it, fill files are released,
// and the status is 130.
//
// Threads: Run() on the main thread, which owns the run, answers the signals and reads the
// answers; the worker calls Send() directly (there is no GUI thread to hop to), which hands
// the notifications to the run, whose calls come back here on the worker. The signals are
// kept away from the worker; their handler only writes a byte to a pipe that the main thread
// polls together with the run's end. A stop is set while the worker is held at its gate, and
// only then is the worker let go.
//
// The conversation goes to `talkFd`, so standard output carries only the engine's lines.
// Answers are lines: "y" or "yes" (any case) agree; anything else means No. End of input
// means No to the confirmation (nothing is erased without a Yes) but Yes to the stop
// question (a Ctrl+C nobody can confirm or withdraw is still a stop), and a second Ctrl+C
// while the stop question waits means No. Paths are written byte for byte, or escaped with
// EscapeForTerminal when `talkFd` is a terminal.
class TerminalRun : public NotifyTarget, private RunSession::Observer {
public:
    // On this process's channels (TerminalChannels::ForThisProcess).
    TerminalRun(std::vector<std::string> paths, std::optional<int> passes, bool assumeYes);
    TerminalRun(std::vector<std::string> paths, std::optional<int> passes, bool assumeYes,
                TerminalChannels channels);
    ~TerminalRun() override;
    TerminalRun(const TerminalRun&) = delete;
    TerminalRun& operator=(const TerminalRun&) = delete;

    // Replaces how the run's engine is made (before Run()).
    void SetEngineFactory(EngineFactory factory) { m_engineFactory = std::move(factory); }

    // Confirms and erases; returns the exit status (RunOutcome::Status).
    int Run();

    // Worker thread: the notifications, handed to the run.
    std::intptr_t Send(std::uint32_t message, std::uintptr_t code, std::intptr_t value) override;

private:
    enum class Answer { Yes, No };
    // Answer lines from one descriptor, with what was read past the last line.
    struct LineSource {
        int fd = -1;
        std::string pending;
    };

    // The run's notifications (worker thread, or the main thread for an end that came while
    // the stop question was open): at the end the main thread is woken.
    void OnEnded() override;

    bool Confirm();
    void WaitForWorker(const InterruptPipe& interrupts);
    // The signals seen make a stop without a question: says so and puts it in force.
    bool StopsWithoutAsking(const InterruptsSeen& seen);
    void SayClosingWords();
    Answer AskStop(const InterruptPipe& interrupts);
    // One answer line; `atEnd` when the input ends (or fails) before one; with `interrupts`,
    // a Ctrl+C while waiting means No, SIGTERM or SIGHUP Yes.
    Answer ReadAnswer(LineSource& source, const InterruptPipe* interrupts, Answer atEnd,
                      int echoFd);
    LineSource& StopSource();
    // A path as shown to the user on talkFd.
    std::string Shown(const std::string& path) const;
    void Say(const std::string& text) const;
    void SayLostTerminal() const;

    std::optional<int> m_passes;
    bool m_assumeYes;
    UniqueFd m_terminal;  // the controlling terminal, when the stop question needs it
    TerminalChannels m_channels;
    bool m_escapeNames;  // talkFd is a terminal
    LineSource m_confirmInput;
    LineSource m_stopInput;
    EngineFactory m_engineFactory;

    EventPipe m_done;  // notified at the run's end
    // Written by the worker, read by the main thread after it joined the worker.
    RunSession m_session;
};

}  // namespace tolvane
