// kvc: puts "Erase with Brevorn" into the context menus of the Linux file managers, or takes
// it out again, as the setting "ContextMenu" says.
//
//   kvc /s                      installs the entries when "ContextMenu" is 1 (starting the
//                               program stored in "FilePath"), else removes them; silent
//   kvc --erase PROGRAM URI...  what Nemo's entry runs: starts PROGRAM -- <the URIs' paths>
//
// Exit status: 0 done, 1 failed (the reasons on standard error), 2 usage error.
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "kvc/ContextActions.h"
#include "kvc/FileUris.h"
#include "settings/SettingsFile.h"

namespace {

int Fail(const QString& text) {
    std::fputs(qPrintable("kvc: " + text + (text.endsWith(u'\n') ? "" : "\n")), stderr);
    return 1;
}

int ApplySetting(const QString& self) {
    // A FIFO there would block the reader for good.
    if (!tolvane::SettingsFileUsable(nullptr)) {
        return Fail(QStringLiteral("the settings file ") + tolvane::SettingsFileName() +
                    QStringLiteral(" is not a regular file or cannot be examined"));
    }
    // The program's own settings file, in its strict syntax: QSettings' native reader would
    // deserialise whatever object a crafted value names.
    const QSettings settings(tolvane::SettingsFileName(), tolvane::SettingsFormat());
    const QString folder = tolvane::kvc::UserDataFolder();
    QString error;
    if (settings.value(QStringLiteral("ContextMenu")).toInt() != 1) {
        return tolvane::kvc::RemoveActions(folder, &error) ? 0 : Fail(error);
    }
    const QString program = settings.value(QStringLiteral("FilePath")).toString();
    if (!QDir::isAbsolutePath(program)) {
        return Fail(QStringLiteral("the setting FilePath names no program"));
    }
    return tolvane::kvc::InstallActions(folder, program, self, &error) ? 0 : Fail(error);
}

int Erase(int argc, char** argv) {
    std::vector<QByteArray> arguments = {QByteArray(argv[2]), QByteArray("--")};
    for (int i = 3; i < argc; ++i) {
        const auto path = tolvane::kvc::LocalPathOfUri(argv[i]);
        if (!path) {
            return Fail(QStringLiteral("not a local file: ") + QString::fromLocal8Bit(argv[i]));
        }
        arguments.push_back(*path);
    }
    std::vector<char*> pointers;
    for (QByteArray& argument : arguments) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);
    // exec keeps the bytes of every path as they are; a QProcess would convert them to text.
    ::execv(argv[2], pointers.data());
    return Fail(QStringLiteral("cannot start ") + QString::fromLocal8Bit(argv[2]) + ": " +
                QString::fromLocal8Bit(std::strerror(errno)));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && QByteArray(argv[1]) == "--erase") {
        return Erase(argc, argv);
    }
    QCoreApplication app(argc, argv);
    if (argc == 2 && QByteArray(argv[1]) == "/s") {
        return ApplySetting(QCoreApplication::applicationFilePath());
    }
    std::fputs("usage: kvc /s\n       kvc --erase PROGRAM URI...\n", stderr);
    return 2;
}
