#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "platform/DesktopOpener.h"

class QWidget;

namespace tolvane {

// Runs a helper program and waits for it; returns its exit status, or -1 when it could not
// start, crashed or outlived the time limit (it is then killed). What it wrote to standard
// error goes to `errorText` when given.
using RunHelperFunction =
    std::function<int(const QString& program, const QStringList& arguments, QString* errorText)>;
int RunHelperAndWait(const QString& program, const QStringList& arguments, QString* errorText);

// What the shell integration needs from its surroundings; tests give a program path in a
// temporary folder and a runner that records instead of starting `gio`.
struct ShellHooks {
    QString programPath;  // this program's file: "FilePath", the launcher's target, kvc's folder
    RunHelperFunction run = RunHelperAndWait;
};
// The running program's own file and the real runner.
ShellHooks DefaultShellHooks();

// Writes a Desktop Entry launcher at `linkPath` that starts `target` with `arguments` in
// `workingFolder`, commented `description`, executable (KDE runs only executable launchers)
// and marked trusted with `gio` where that exists (GNOME asks before running one otherwise).
// It carries kLauncherMark, so it can later be told from a user's own file. Returns false
// when the file could not be written.
bool CreateShellLink(const QString& target, const QString& workingFolder,
                     const QStringList& arguments, const QString& linkPath,
                     const QString& description, const RunHelperFunction& run);
inline constexpr char kLauncherMark[] = "X-Miravelt-Tolvane-Launcher";

// The View menu's two desktop switches: a launcher on the desktop and "Erase with Brevorn" in
// the file managers' context menus. The frame calls ApplyDesktopShortcut and then
// ApplyContextMenu(silent = true) at every start, and the Toggle functions for its commands.
// GUI thread only; the context-menu calls wait for kvc (at most a few seconds).
class ShellIntegration {
public:
    explicit ShellIntegration(ShellHooks hooks = DefaultShellHooks());

    // Stores "FilePath" (every call). On: writes the launcher "Brevorn.desktop" into the XDG
    // Desktop folder unless a file "Brevorn" is there or a file of the launcher's name that we
    // did not write. Off: removes the launcher only if we wrote it.
    void ApplyDesktopShortcut(bool on) const;
    // The launcher's path, in the XDG Desktop folder.
    static QString LauncherPath();

    // Stores "ContextMenu" = enable and runs `kvc /s`, waiting for it. Returns true when the
    // entries are then present (enable) or absent (off). Turning on fails with an "Error" box
    // (unless `silent`) and puts "ContextMenu" back to 0, removing what was written; turning
    // off never shows a box.
    bool ApplyContextMenu(bool enable, bool silent, QWidget* parent) const;
    // True when every file manager's entry is present and ours.
    static bool IsContextMenuRegistered();
    // kvc: in an installation in ../libexec/tolvane/ from this program, in a build folder
    // next to it.
    QString ContextMenuDllPath() const;

    // The commands: each returns the switch's new state. Turning the context-menu entry on
    // with kvc missing shows the download warning (parent: `frame`) and changes nothing.
    bool ToggleDesktopShortcut(bool current) const;
    bool ToggleContextMenu(bool current, QWidget* frame, const OpenUrlFunction& open) const;

private:
    void StoreProgramPath() const;

    ShellHooks m_hooks;
};

}  // namespace tolvane
