#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tolvane::test {

// How the desktop reads what kvc and the launcher write, done independently of the writers so
// a test can check the round trip: the Desktop Entry rules (launchers, Dolphin), GLib's key
// files and command lines (Nemo), and a file manager's URIs.

// The raw value of `key` in `[group]` of a key file; empty when absent.
QString KeyFileValue(const QByteArray& file, const QString& group, const QString& key);
// The string escapes undone: \s \n \t \r \\.
QString UnescapeValue(const QString& raw);
// The arguments of an Exec value (escaped as stored) with %F given `files` and %% a '%'.
QStringList DesktopExecArguments(const QString& rawExec, const QStringList& files);
// The words of a GLib command line (g_shell_parse_argv): quotes and backslashes as in sh,
// with no expansion of any kind.
QStringList GLibCommandLineWords(const QString& line);
// Nemo's expansion of %U with Quote=double: each URI in double quotes, separated by spaces.
QString ExpandNemoUris(const QString& exec, const QStringList& uris);
// The URI a GLib file manager gives a local path: percent escapes except for unreserved
// characters and "!$&'()*+,;=:@/".
QString FileUri(const QString& path);

}  // namespace tolvane::test
