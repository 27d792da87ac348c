#include "kvc/ContextActions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "kvc/DesktopEntryText.h"

namespace tolvane::kvc {
namespace {

constexpr char kDolphinFile[] = "kio/servicemenus/tolvane-erase.desktop";
constexpr char kNautilusFile[] = "nautilus/scripts/Erase with Brevorn";
constexpr char kNemoFile[] = "nemo/actions/tolvane-erase.nemo_action";
constexpr char kActionName[] = "Erase with Brevorn";

constexpr QFile::Permissions kExecutable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                           QFile::ExeOther;

QByteArray MarkLine() {
    return QByteArray(kActionMark) + "=true\n";
}

bool WriteFile(const QString& path, const QByteArray& content, QString* error) {
    const QFileInfo info(path);
    if ((info.exists() || info.isSymLink()) && !FileCarriesMark(path, kActionMark)) {
        *error += path + ": a file of that name that kvc did not write is in the way\n";
        return false;
    }
    if (!QDir().mkpath(info.path())) {
        *error += path + ": cannot create the folder\n";
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() ||
        !file.setPermissions(kExecutable) || !file.commit()) {
        *error += path + ": " + file.errorString() + "\n";
        return false;
    }
    return true;
}

}  // namespace

QByteArray DolphinServiceMenu(const QString& program) {
    // all/all covers files and folders. ServiceTypes is what KDE Frameworks 5 looks for; 6
    // goes by the folder and the MIME type.
    return "[Desktop Entry]\n"
           "Type=Service\n"
           "MimeType=all/all;\n"
           "Actions=EraseWithBrevorn;\n"
           "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n" +
           MarkLine() +
           "\n"
           "[Desktop Action EraseWithBrevorn]\n"
           "Name=" +
           QByteArray(kActionName) +
           "\n"
           "Icon=tolvane\n"
           "Exec=" +
           DesktopExecValue({program, QStringLiteral("--")}, QStringLiteral("%F")).toUtf8() + "\n";
}

QByteArray NautilusScript(const QString& program) {
    // GNOME Files passes the selection as names relative to the folder shown, which is the
    // working folder; they are made absolute so the confirmation shows where each one lies.
    return "#!/bin/sh\n"
           "# Erase with Brevorn: hands the files selected in GNOME Files to Brevorn.\n"
           "# " +
           MarkLine() +
           "n=$#\n"
           "while [ \"$n\" -gt 0 ]; do\n"
           "    case $1 in\n"
           "        /*) set -- \"$@\" \"$1\" ;;\n"
           "        *) set -- \"$@\" \"${PWD%/}/$1\" ;;\n"
           "    esac\n"
           "    shift\n"
           "    n=$((n - 1))\n"
           "done\n"
           "exec " +
           ShellWord(program).toUtf8() + " -- \"$@\"\n";
}

QByteArray NemoAction(const QString& kvc, const QString& program) {
    // Nemo pastes %F into the line unquoted or inside quotes it does not escape, then splits
    // it like a shell: a name with a quote or a backslash would come out wrong. URIs carry
    // none of those and, in double quotes, come out whole; kvc turns them back into paths.
    return "[Nemo Action]\n"
           "Name=" +
           QByteArray(kActionName) +
           "\n"
           "Comment=Erase the selected files and folders with Brevorn\n"
           "Exec=" +
           GLibExecWord(kvc).toUtf8() + " --erase " + GLibExecWord(program).toUtf8() +
           " %U\n"
           "Icon-Name=tolvane\n"
           "Selection=notnone\n"
           "Extensions=any;\n"
           "Quote=double\n" +
           MarkLine();
}

std::vector<ActionFile> BuildActionFiles(const QString& program, const QString& kvc) {
    return {{QString::fromLatin1(kDolphinFile), DolphinServiceMenu(program)},
            {QString::fromUtf8(kNautilusFile), NautilusScript(program)},
            {QString::fromLatin1(kNemoFile), NemoAction(kvc, program)}};
}

QString UserDataFolder() {
    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (QDir::isAbsolutePath(data)) {
        return data;
    }
    return QDir::homePath() + "/.local/share";
}

bool InstallActions(const QString& dataFolder, const QString& program, const QString& kvc,
                    QString* error) {
    bool ok = true;
    for (const ActionFile& file : BuildActionFiles(program, kvc)) {
        if (file.relativePath.startsWith("nemo/") && (program + kvc).contains(u'%')) {
            // Nemo stops looking for %U at the first '%' that is no field code of its own.
            *error += file.relativePath + ": a program path with '%' cannot be named to Nemo\n";
            ok = false;
            continue;
        }
        ok = WriteFile(dataFolder + "/" + file.relativePath, file.content, error) && ok;
    }
    return ok;
}

bool RemoveActions(const QString& dataFolder, QString* error) {
    bool ok = true;
    for (const ActionFile& file : BuildActionFiles(QString(), QString())) {
        const QString path = dataFolder + "/" + file.relativePath;
        if (FileCarriesMark(path, kActionMark) && !QFile::remove(path)) {
            *error += path + ": cannot remove it\n";
            ok = false;
        }
    }
    return ok;
}

bool ActionsInstalled(const QString& dataFolder) {
    for (const ActionFile& file : BuildActionFiles(QString(), QString())) {
        if (!FileCarriesMark(dataFolder + "/" + file.relativePath, kActionMark)) {
            return false;
        }
    }
    return true;
}

bool FileCarriesMark(const QString& path, const QByteArray& mark) {
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isFile()) {
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    // Our files are small; a large one is not ours and need not be read through.
    return TextCarriesMark(file.read(64 * 1024), mark);
}

bool TextCarriesMark(const QByteArray& text, const QByteArray& mark) {
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith(mark) || line.startsWith("# " + mark)) {
            return true;
        }
    }
    return false;
}

}  // namespace tolvane::kvc
