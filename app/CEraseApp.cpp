#include "app/CEraseApp.h"

#include <cstdio>

#include "app/AppNames.h"
#include "app/CEraseProgressDlg.h"
#include "app/CMainFrame.h"
#include "engine/RunOutcome.h"
#include "app/RunTexts.h"
#include "app/StderrNote.h"
#include "app/TerminalRun.h"
#include "platform/DisplayProbe.h"
#include "platform/ProcessLimits.h"

namespace tolvane {
namespace {

void PrintTo(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

void ReportWindowNotAvailable() {
    PrintNote(kWindowNotAvailable);
}

// Whether a window can be shown. Qt aborts the whole process when it cannot reach its
// display, so this is settled before any QApplication exists; a display that is set but
// gone is said on standard error, with what happens instead.
bool WindowPossible(const char* otherwise) {
    DisplayStatus display = ProbeDisplay();
    if (display.access == DisplayStatus::Access::kUnreachable) {
        PrintNote("cannot reach the display (" + display.description + ")" + otherwise);
    }
    return display.access == DisplayStatus::Access::kReachable;
}

}  // namespace

CEraseApp::CEraseApp(int& argc, char** argv, CommandLine commandLine)
    : QApplication(argc, argv), m_commandLine(std::move(commandLine)) {
    // No application display name: Qt would append it to every caption, and the boxes keep
    // their exact captions ("Question", "Warning"); the windows name AppDisplayName
    // themselves.
    setQuitOnLastWindowClosed(false);  // the dialog hides before its failure box
}

CEraseApp::~CEraseApp() = default;

bool CEraseApp::InitInstance() {
    // An empty entry counts: the user gave a (blank) path, so this is no window start.
    if (!m_commandLine.paths.empty()) {
        CEraseProgressDlg dialog(m_commandLine.paths, m_commandLine.passes);
        m_exitCode = dialog.DoModal();
        return false;
    }
    CMainFrame::OpenMainWindow();  // the event loop ends when the window has closed
    return true;
}

int CEraseApp::Main(int argc, char** argv) {
    CommandLine commandLine = ParseCommandLine(argc, argv);
    switch (commandLine.action) {
        case CommandLine::Action::Help:
            PrintTo(stdout, HelpText());
            return kExitErased;
        case CommandLine::Action::Version:
            PrintTo(stdout, VersionText());
            return kExitErased;
        case CommandLine::Action::UsageError:
            // The error quotes the argument: user data.
            PrintTo(stderr, UsageErrorText(ForStderr(commandLine.error)));
            return kExitUsage;
        case CommandLine::Action::Run:
            break;
    }
    RaiseOpenFileLimit();
    bool havePaths = !commandLine.paths.empty();
    if (havePaths && (commandLine.assumeYes || !WindowPossible("; running in the terminal"))) {
        TerminalRun run(commandLine.paths, commandLine.passes, commandLine.assumeYes);
        return run.Run();
    }
    if (!havePaths && !WindowPossible("")) {
        ReportWindowNotAvailable();
        return kExitErased;
    }
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    CEraseApp app(qtArgc, qtArgv, std::move(commandLine));
    if (app.InitInstance()) {
        return QApplication::exec();
    }
    return app.ExitCode();
}

}  // namespace tolvane
