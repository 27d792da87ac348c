#pragma once

#include <QString>
#include <QStringList>

namespace tolvane::kvc {

// Text for the files the desktop reads: Desktop Entry values (launchers, Dolphin service menus,
// Nemo actions, which GLib reads with the same escapes) and POSIX shell words (scripts).
// Pure functions, safe on any thread.

// A string value as the Desktop Entry rules store it: backslash, newline, tab and carriage
// return escaped, and a leading space kept with "\s".
QString EscapeEntryValue(const QString& value);

// An Exec value that starts `arguments` exactly as given, followed by `fieldCodes` verbatim
// (for example "%F"). Every argument is quoted ("..." with \", \`, \$ and \\ inside), every
// literal '%' doubled, and the whole line escaped as a string value.
QString DesktopExecValue(const QStringList& arguments, const QString& fieldCodes);

// One word for sh: the text in single quotes, each ' written as '\''.
QString ShellWord(const QString& text);

// The same quoting as a value for a GLib command line (g_shell_parse_argv), escaped as a key
// file string: how a Nemo action's Exec names a program.
QString GLibExecWord(const QString& text);

}  // namespace tolvane::kvc
