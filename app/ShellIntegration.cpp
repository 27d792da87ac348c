#include "app/ShellIntegration.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#include "app/CDownloadWarningDlg.h"
#include "app/SettingsStore.h"
#include "kvc/ContextActions.h"
#include "kvc/DesktopEntryText.h"
#include "platform/AppNames.h"

namespace tolvane {
namespace {

// kvc writes three small files; a helper that takes longer than this is stuck.
constexpr int kHelperLimitMs = 10000;

QString DisplayName() {
    return QString::fromUtf8(AppDisplayName);
}

QString DesktopFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

bool IsOurLauncher(const QString& path) {
    return kvc::FileCarriesMark(path, kLauncherMark);
}

}  // namespace

int RunHelperAndWait(const QString& program, const QStringList& arguments, QString* errorText) {
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted(kHelperLimitMs)) {
        if (errorText) {
            *errorText = program + ": " + process.errorString();
        }
        return -1;
    }
    const bool finished = process.waitForFinished(kHelperLimitMs);
    if (errorText) {
        *errorText = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    }
    if (!finished) {
        process.kill();
        process.waitForFinished(kHelperLimitMs);
        if (errorText) {
            *errorText = program + " did not finish";
        }
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

ShellHooks DefaultShellHooks() {
    return ShellHooks{QCoreApplication::applicationFilePath(), RunHelperAndWait};
}

bool CreateShellLink(const QString& target, const QString& workingFolder,
                     const QStringList& arguments, const QString& linkPath,
                     const QString& description, const RunHelperFunction& run) {
    const QByteArray entry =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=" +
        kvc::EscapeEntryValue(DisplayName()).toUtf8() +
        "\n"
        "Comment=" +
        kvc::EscapeEntryValue(description).toUtf8() +
        "\n"
        "Exec=" +
        kvc::DesktopExecValue(QStringList{target} + arguments, {}).toUtf8() +
        "\n"
        "Path=" +
        kvc::EscapeEntryValue(workingFolder).toUtf8() +
        "\n"
        "Icon=tolvane\n"
        "Terminal=false\n" +
        QByteArray(kLauncherMark) + "=true\n";
    QSaveFile file(linkPath);
    const QFile::Permissions executable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                          QFile::ExeOther;
    if (!file.open(QIODevice::WriteOnly) || file.write(entry) != entry.size() ||
        !file.setPermissions(executable) || !file.commit()) {
        return false;
    }
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (!gio.isEmpty()) {
        // Without the attribute GNOME shows the launcher as an untrusted file; failing to set
        // it leaves a working launcher, so the result is not consulted.
        run(gio,
            {QStringLiteral("set"), linkPath, QStringLiteral("metadata::trusted"),
             QStringLiteral("true")},
            nullptr);
    }
    return true;
}

ShellIntegration::ShellIntegration(ShellHooks hooks) : m_hooks(std::move(hooks)) {}

QString ShellIntegration::LauncherPath() {
    return DesktopFolder() + "/" + DisplayName() + ".desktop";
}

void ShellIntegration::StoreProgramPath() const {
    SetSettingString("FilePath", m_hooks.programPath.toStdString());
}

void ShellIntegration::ApplyDesktopShortcut(bool on) const {
    StoreProgramPath();
    const QString launcher = LauncherPath();
    const QFileInfo existing(launcher);
    const bool oursOrAbsent =
        !(existing.exists() || existing.isSymLink()) || IsOurLauncher(launcher);
    if (!on) {
        if (existing.exists() && IsOurLauncher(launcher)) {
            QFile::remove(launcher);  // nothing reports a failure here, as on switching on
        }
        return;
    }
    // A program file "Brevorn" on the desktop already is the way to start it.
    if (QFileInfo::exists(DesktopFolder() + "/" + DisplayName()) || !oursOrAbsent) {
        return;
    }
    if (!QDir().mkpath(DesktopFolder())) {
        return;
    }
    CreateShellLink(m_hooks.programPath, QFileInfo(m_hooks.programPath).path(), {}, launcher,
                    "Run " + DisplayName(), m_hooks.run);
}

// An installation keeps the helper in the program's own libexec folder: no one runs it by
// hand, and its short name does not belong on everyone's command path. A build folder has it
// next to the program. The installed place comes first, so that an unrelated "kvc" next to an
// installed program is never run.
QString ShellIntegration::ContextMenuDllPath() const {
    const QString folder = QFileInfo(m_hooks.programPath).path();
    const QString installed = QDir::cleanPath(folder + "/../libexec/tolvane/kvc");
    return QFileInfo(installed).isExecutable() ? installed : folder + "/kvc";
}

bool ShellIntegration::IsContextMenuRegistered() {
    return kvc::ActionsInstalled(kvc::UserDataFolder());
}

bool ShellIntegration::ApplyContextMenu(bool enable, bool silent, QWidget* parent) const {
    StoreProgramPath();  // kvc names the program stored there
    SetSettingDword("ContextMenu", enable ? 1 : 0);
    QString reason;
    // Waited for: the result is what kvc left behind, not what it had done so far.
    const int status = m_hooks.run(ContextMenuDllPath(), {QStringLiteral("/s")}, &reason);
    const bool registered = IsContextMenuRegistered();
    if (!enable) {
        return status == 0 && !registered;
    }
    if (status == 0 && registered) {
        return true;
    }
    // The switch stays off: the setting says so too, and half-written entries go again.
    SetSettingDword("ContextMenu", 0);
    m_hooks.run(ContextMenuDllPath(), {QStringLiteral("/s")}, nullptr);
    if (!silent) {
        QMessageBox::warning(parent, QStringLiteral("Error"),
                             "Could not add " + DisplayName() +
                                 " to the file managers' context menus.\n\n" +
                                 (reason.isEmpty() ? QStringLiteral("kvc failed.") : reason));
    }
    return false;
}

bool ShellIntegration::ToggleDesktopShortcut(bool current) const {
    ApplyDesktopShortcut(!current);
    return !current;
}

bool ShellIntegration::ToggleContextMenu(bool current, QWidget* frame,
                                         const OpenUrlFunction& open) const {
    if (!current && !QFileInfo(ContextMenuDllPath()).isExecutable()) {
        CDownloadWarningDlg warning(open, frame);
        warning.exec();
        return current;
    }
    return ApplyContextMenu(!current, false, frame) ? !current : current;
}

}  // namespace tolvane
