#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "TempDir.h"

namespace tolvane::test {

// The built program run as a user would start it from a terminal without a display:
// DISPLAY and WAYLAND_DISPLAY unset, HOME and XDG_CONFIG_HOME inside `home` (the other XDG
// folders and TMPDIR stay in the test main's private folder), standard input a pipe held
// by the test, standard output and error files in `home`.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& arguments, const std::string& home);
    ~ChildProcess();  // kills a child that is still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    void WriteInput(const std::string& text);
    void CloseInput();
    void Signal(int signal);

    // Waits until `needle` appears in standard output (or error); false on timeout or end.
    bool WaitForOutput(const std::string& needle) { return WaitFor(m_outPath, needle); }
    bool WaitForError(const std::string& needle) { return WaitFor(m_errPath, needle); }
    // Waits for the end and returns the exit status, or -1 after a timeout (the child is
    // then killed) or when it died by a signal.
    int Wait();

    std::string Output() const { return ReadFile(m_outPath); }
    std::string Error() const { return ReadFile(m_errPath); }

private:
    bool WaitFor(const std::string& path, const std::string& needle);
    bool Ended(bool block = false);  // reaps the child; true once it has ended

    std::string m_outPath;
    std::string m_errPath;
    pid_t m_pid = -1;
    int m_in = -1;
    int m_status = -1;
};

}  // namespace tolvane::test
