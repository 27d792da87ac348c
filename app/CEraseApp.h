#pragma once

#include <QApplication>

#include "app/CommandLine.h"

namespace tolvane {

// The program. Main() reads the arguments and picks how to run:
//   --help, --version, usage errors: print and exit (no display needed);
//   paths with --yes, without a display or with one that cannot be reached (said on
//   standard error): the terminal run;
//   otherwise a CEraseApp, whose InitInstance() picks the command-line erase dialog (paths)
//   or the main window (none).
// Qt sees only the program name: its own options (-style, -platform, ...) must not eat
// paths that happen to look like them.
class CEraseApp : public QApplication {
    Q_OBJECT

public:
    CEraseApp(int& argc, char** argv, CommandLine commandLine);
    ~CEraseApp() override;

    // True when the main window runs and the event loop must follow; false when the
    // command-line dialog has ended (ExitCode() then holds the status) or nothing runs.
    bool InitInstance();
    int ExitCode() const { return m_exitCode; }

    // Call only with descriptors 0, 1 and 2 open (see OpenMissingStandardDescriptors).
    static int Main(int argc, char** argv);

private:
    CommandLine m_commandLine;
    int m_exitCode = 0;
};

}  // namespace tolvane
