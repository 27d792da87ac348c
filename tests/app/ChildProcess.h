#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tolvane::test {

// The program under test run as a user would start it from a terminal without a display:
// DISPLAY and WAYLAND_DISPLAY unset, HOME, XDG_CONFIG_HOME and TMPDIR inside `home`, and
// standard input, output and error connected to pipes held by the test.
class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& home);
    ~ChildProcess();  // kills a child that is still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    void WriteInput(const std::string& text);
    void CloseInput();
    void Signal(int signal);

    // Reads until `needle` appears in standard output (or error); false on timeout or end.
    bool WaitForOutput(const std::string& needle, int timeoutMs = 30000);
    bool WaitForError(const std::string& needle, int timeoutMs = 30000);
    // Reads everything to the end and returns the exit status, or -1 after a timeout (the
    // child is then killed) or when it died by a signal.
    int Wait(int timeoutMs = 120000);

    const std::string& Output() const { return m_out; }
    const std::string& Error() const { return m_err; }

private:
    // One poll round over both pipes; false when both have ended.
    bool Pump(int timeoutMs);

    pid_t m_pid = -1;
    int m_in = -1;
    int m_outFd = -1;
    int m_errFd = -1;
    std::string m_out;
    std::string m_err;
};

}  // namespace tolvane::test
