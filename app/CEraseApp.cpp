#include "app/CEraseApp.h"

#include <QIcon>

#include <cstdio>

#include "app/CEraseProgressDlg.h"
#include "app/CMainFrame.h"
#include "app/PlatformChoice.h"
#include "app/RunTexts.h"
#include "app/StderrNote.h"
#include "app/TerminalRun.h"
#include "engine/RunOutcome.h"
#include "platform/AppNames.h"
#include "platform/ProcessLimits.h"

namespace tolvane {
namespace {

void PrintTo(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

// Qt aborts the whole process when no platform it tries can start (no display server, or no
// plugin for it), so that is settled before any QApplication exists. A display that is set
// but cannot be used is said on standard error with `otherwise`, what happens instead.
PlatformChoice ChooseWindowPlatform(const char* otherwise) {
    PlatformChoice choice = ChoosePlatform(CurrentPlatformFacts());
    if (!choice.reason.empty()) {
        PrintNote(choice.reason +
                  (choice.outcome == PlatformChoice::Outcome::kUnavailable ? otherwise : ""));
    }
    return choice;
}

}  // namespace

CEraseApp::CEraseApp(int& argc, char** argv, CommandLine commandLine)
    : QApplication(argc, argv), m_commandLine(std::move(commandLine)) {
    // No application display name: Qt would append it to every caption, and the boxes keep
    // their exact captions ("Question", "Warning"); the windows name AppDisplayName
    // themselves.
    setQuitOnLastWindowClosed(false);  // the dialog hides before its failure box
    // From the program's own resources, so that its windows have their icon also where the
    // icon theme does not know it (a build folder, a copy outside the installation).
    QIcon icon;
    for (const char* file : {":/icons/tolvane-48.png", ":/icons/tolvane-256.png"}) {
        icon.addFile(QString::fromLatin1(file));
    }
    setWindowIcon(icon);
    setDesktopFileName(QStringLiteral("tolvane"));  // the Wayland app id: our desktop entry
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
    const bool havePaths = !commandLine.paths.empty();
    const auto runInTerminal = [&commandLine] {
        TerminalRun run(commandLine.paths, commandLine.passes, commandLine.assumeYes);
        return run.Run();
    };
    if (havePaths && commandLine.assumeYes) {
        return runInTerminal();
    }
    const PlatformChoice platform =
        ChooseWindowPlatform(havePaths ? "; running in the terminal" : "");
    if (platform.outcome != PlatformChoice::Outcome::kWindow) {
        if (havePaths) {
            return runInTerminal();
        }
        PrintNote(platform.outcome == PlatformChoice::Outcome::kNoDisplay ? kWindowNotAvailable
                                                                          : kWindowCannotOpen);
        return kExitSomeFailed;  // nothing was done: scripts must not read it as success
    }
    // Qt's own option, which wins over QT_QPA_PLATFORM without changing the environment
    // that programs started from the window inherit.
    std::string platformOption = "-platform";
    std::string platformName = platform.platform;
    int qtArgc = platformName.empty() ? 1 : 3;
    char* qtArgv[] = {argv[0], platformOption.data(), platformName.data(), nullptr};
    CEraseApp app(qtArgc, qtArgv, std::move(commandLine));
    if (app.InitInstance()) {
        return QApplication::exec();
    }
    return app.ExitCode();
}

}  // namespace tolvane
