#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <string>

namespace tolvane {

// The settings file: $XDG_CONFIG_HOME/Miravelt/Tolvane.conf (~/.config/... when unset), in
// the INI syntax of QSettings ([General], key=value, its escapes and quoting), limited to
// the kinds of value the program stores: text (numbers are stored as text) and byte blocks
// (@ByteArray(...)).
//
// Why not QSettings' own INI reader: it turns a value written @Variant(...) into an object
// with QDataStream, and a crafted one, in a file any program of the user can write, makes
// it allocate without bound and abort. This reader never deserialises anything. A value of
// another kind (@Variant, @Rect, @DateTime...), a list (an unquoted comma), a key outside
// [General] or a key that is not a plain name (letters, digits, '_', '-', '.') reads as
// absent, and is not written back the next time a value is saved.
//
// Files that earlier versions wrote through QSettings' INI format read the same here, and
// what is written here reads the same through QSettings' INI format.

QString SettingsFileName();

// True when the settings file is a regular file or absent (judged without following a link):
// QSettings would block for good reading a FIFO, and would write through whatever else stands
// there. `fileName`, when given, receives its path.
bool SettingsFileUsable(std::string* fileName);

// The syntax above as a QSettings format: QSettings(SettingsFileName(), SettingsFormat())
// keeps QSettings' locking and atomic saving. Registered on first use.
QSettings::Format SettingsFormat();

// The two halves of the format.
QSettings::SettingsMap ParseSettingsText(const QByteArray& text);
QByteArray SettingsText(const QSettings::SettingsMap& values);

}  // namespace tolvane
