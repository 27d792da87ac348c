#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace tolvane::kvc {

// The "Erase with Brevorn" entries of the Linux file managers, written into the user's data
// folder ($XDG_DATA_HOME, else ~/.local/share):
//   kio/servicemenus/tolvane-erase.desktop   Dolphin: a service menu for all files and folders
//   nautilus/scripts/Erase with Brevorn       GNOME Files: a script, given the selection
//   nemo/actions/tolvane-erase.nemo_action    Nemo: an action for any selection
// Each starts the program as `<program> -- <every selected path>` in one process, so a
// selected file named like an option (--yes) stays a path. Nemo can only hand over selected
// paths reliably as URIs, so its action runs `kvc --erase <program> <URIs>`, which decodes them
// and then starts the program the same way.
//
// Every file carries kActionMark; removal deletes only files that carry it, so a user's own
// file of the same name is never touched (and is never overwritten: installing then fails).
// Thunar keeps all custom actions in one shared file, which is not rewritten here.
//
// Threads: any; the functions touch only the files named above.

inline constexpr char kActionMark[] = "X-Miravelt-Tolvane-Action";

struct ActionFile {
    QString relativePath;  // below the data folder
    QByteArray content;
};

// The three files for `program` (the tolvane to start) and `kvc` (this helper, for Nemo).
QByteArray DolphinServiceMenu(const QString& program);
QByteArray NautilusScript(const QString& program);
QByteArray NemoAction(const QString& kvc, const QString& program);
std::vector<ActionFile> BuildActionFiles(const QString& program, const QString& kvc);

// $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share.
QString UserDataFolder();

// Writes every file (mode 0755: Dolphin and GNOME Files run only executable ones), each
// replaced atomically. False, with the reasons in `error`, when one could not be written;
// the others are still written.
bool InstallActions(const QString& dataFolder, const QString& program, const QString& kvc,
                    QString* error);
// Removes the files that carry the mark. False, with the reasons, when one could not go.
bool RemoveActions(const QString& dataFolder, QString* error);
// True when every file is present and carries the mark: the entry is offered for files and
// for folders in every supported file manager.
bool ActionsInstalled(const QString& dataFolder);

// True when `path` is a regular file (not through a link) whose text has a line starting
// with `mark`.
bool FileCarriesMark(const QString& path, const QByteArray& mark);
// The same for text read from such a file: a line starts with `mark` or "# " and `mark`.
bool TextCarriesMark(const QByteArray& text, const QByteArray& mark);

}  // namespace tolvane::kvc
