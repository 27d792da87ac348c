#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "HostNotes.h"
#include "TempDir.h"
#include "Waiting.h"

namespace tolvane::test {

inline constexpr char kTerminalTaken[] = "[the terminal is another job's now]";

// How a ChildProcess is started, beyond the defaults described there.
struct ChildOptions {
    enum class Input { kPipe, kNull, kClosed };
    Input input = Input::kPipe;  // a pipe held by the test, /dev/null, or no descriptor 0
    bool closeOutput = false;    // no descriptor 1
    // A pseudo-terminal held by the test becomes the child's controlling terminal (/dev/tty);
    // `errorOnTerminal` also makes it standard error. It passes bytes unchanged (no "\r\n"
    // for "\n") and does not echo what the test types.
    bool terminal = false;
    bool errorOnTerminal = false;
    // With `terminal`: a process of another group in the child's session that makes its own
    // group the terminal's foreground each time the test calls GiveTerminalAway(), as a shell
    // takes the terminal back from a job, and then writes kTerminalTaken on it.
    bool terminalHolder = false;
    std::vector<std::string> setEnvironment{};    // "NAME=value", replacing what is there
    std::vector<std::string> unsetEnvironment{};  // names
};

// The built program as a user would start it without a display: its own session (no
// controlling terminal unless `options.terminal`), no DISPLAY or WAYLAND_DISPLAY, HOME and
// XDG_CONFIG_HOME inside `home` (other XDG folders and TMPDIR the test main's), standard input
// a pipe held by the test, output and error files in `home`; the test's environment unchanged.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& arguments, const std::string& home,
                 const ChildOptions& options = {});
    ~ChildProcess();  // kills a child that is still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    void WriteInput(const std::string& text);
    void CloseInput();
    void Signal(int signal);
    // Types on the pseudo-terminal (options.terminal).
    void Type(const std::string& text);
    // Has the holder (options.terminalHolder) take the terminal's foreground.
    void GiveTerminalAway();

    // Waits until `needle` appears in standard output or on the terminal; false when the
    // child ended without it (or after a minute).
    bool WaitForOutput(const std::string& needle) {
        return WaitFor([this] { return Output(); }, needle);
    }
    bool WaitForTerminal(const std::string& needle) {
        return WaitFor([this] { return Terminal(); }, needle);
    }
    // Waits for the end and returns the exit status, or -1 when it died by a signal or did
    // not end within `limit` (it is then killed): a guard against hangs, not a measurement.
    int Wait(std::chrono::seconds limit = std::chrono::seconds(120));

    // What the child wrote so far, read as on a machine whose temporary folder needs no
    // medium note (HostNotes.h).
    std::string Output() const { return WithoutHostNotes(ReadFile(m_outPath)); }
    std::string Error() const { return WithoutHostNotes(ReadFile(m_errPath)); }
    std::string Terminal();

private:
    bool WaitFor(const std::function<std::string()>& read, const std::string& needle);
    bool Ended(bool block = false);  // reaps the child; true once it has ended

    std::string m_outPath;
    std::string m_errPath;
    pid_t m_pid = -1;
    int m_in = -1;
    int m_terminal = -1;  // the pseudo-terminal's master side
    int m_holder = -1;    // the holder's command pipe
    std::string m_terminalText;
    int m_status = -1;
};

}  // namespace tolvane::test
