// The desktop launcher and the file managers' "Erase with Brevorn" entries, with HOME and the
// XDG folders in the test's private folder. kvc is the built helper, copied next to a stand-in
// program that records its arguments; `gio` is recorded, never run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include "ExecLine.h"
#include "QtTestEnvironment.h"
#include "TempDir.h"
#include "app/CDownloadWarningDlg.h"
#include "app/ShellIntegration.h"
#include "kvc/ContextActions.h"

namespace tolvane::test {
namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool Write(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QVariant Setting(const char* name) {
    return QSettings(QStringLiteral("Miravelt"), QStringLiteral("Tolvane")).value(name);
}

QString SettingsFile() {
    return QSettings(QStringLiteral("Miravelt"), QStringLiteral("Tolvane")).fileName();
}

// Names that a careless quoting would split, expand or take for an option.
const QStringList kAwkwardNames = {"a space.txt", "it's",        "say \"hi\"", "$HOME",
                                   "100%F",       "back\\slash", "-leading",   "--yes"};

class ShellTest : public testing::Test {
protected:
    void SetUp() override {
        m_bin = QString::fromStdString(m_dir / "bin dir $x 'q'");
        QDir().mkpath(m_bin);
        m_record = QString::fromStdString(m_dir / "record");
        // The stand-in program: one argument per line, so a test sees how the entry split them.
        m_program = m_bin + "/tolvane";
        Write(m_program,
              "#!/bin/sh\nfor a do printf '%s\\n' \"$a\"; done > '" + m_record.toUtf8() + "'\n");
        QFile::setPermissions(m_program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_hooks.programPath = m_program;
        m_hooks.run = [this](const QString& program, const QStringList& arguments, QString* error) {
            if (program.endsWith("/kvc")) {
                return RunHelperAndWait(program, arguments, error);
            }
            m_recorded.push_back(QStringList{program} + arguments);
            return 0;
        };
        QDir(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation)).removeRecursively();
        QDir(kvc::UserDataFolder()).removeRecursively();
        QFile::remove(SettingsFile());
    }

    void InstallKvc() { ASSERT_TRUE(QFile::copy(QStringLiteral(KVC_BINARY), m_bin + "/kvc")); }

    QStringList Recorded() {
        QStringList lines = QString::fromUtf8(ReadAll(m_record)).split(u'\n');
        lines.removeLast();  // after the last line's end
        QFile::remove(m_record);
        return lines;
    }

    TempDir m_dir;
    QString m_bin;
    QString m_program;
    QString m_record;
    ShellHooks m_hooks;
    std::vector<QStringList> m_recorded;
};

using LauncherTest = ShellTest;

TEST_F(LauncherTest, AppearsAsATrustedExecutableEntryThatStartsTheProgram) {
    ShellIntegration(m_hooks).ApplyDesktopShortcut(true);
    const QString launcher = ShellIntegration::LauncherPath();
    EXPECT_TRUE(launcher.endsWith("/Desktop/Brevorn.desktop")) << qPrintable(launcher);
    const QByteArray entry = ReadAll(launcher);
    ASSERT_FALSE(entry.isEmpty());
    const QString group = QStringLiteral("Desktop Entry");
    EXPECT_EQ(KeyFileValue(entry, group, "Name"), "Brevorn");
    EXPECT_EQ(KeyFileValue(entry, group, "Comment"), "Run Brevorn");
    EXPECT_EQ(DesktopExecArguments(KeyFileValue(entry, group, "Exec"), {}), QStringList{m_program});
    EXPECT_EQ(UnescapeValue(KeyFileValue(entry, group, "Path")), m_bin);
    struct stat info {};
    ASSERT_EQ(::stat(launcher.toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);
    if (!QStandardPaths::findExecutable("gio").isEmpty()) {
        ASSERT_EQ(m_recorded.size(), 1u);
        EXPECT_EQ(m_recorded[0].mid(1),
                  (QStringList{"set", launcher, "metadata::trusted", "true"}));
    }
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (validator.isEmpty()) {
        GTEST_SKIP() << "desktop-file-validate is not installed (scripts/setup.sh installs it)";
    }
    QProcess validate;
    validate.start(validator, {launcher});
    ASSERT_TRUE(validate.waitForFinished());
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().constData();
}

// Each call stores the program's path, whatever the switch, and rewrites our launcher.
TEST_F(LauncherTest, OursIsRewrittenAndRemovedWhenSwitchedOff) {
    ShellHooks old = m_hooks;
    old.programPath = "/opt/old/tolvane";
    ShellIntegration(old).ApplyDesktopShortcut(true);
    EXPECT_EQ(Setting("FilePath").toString(), "/opt/old/tolvane");
    ShellIntegration(m_hooks).ApplyDesktopShortcut(true);
    EXPECT_EQ(Setting("FilePath").toString(), m_program);
    const QString launcher = ShellIntegration::LauncherPath();
    EXPECT_EQ(DesktopExecArguments(KeyFileValue(ReadAll(launcher), "Desktop Entry", "Exec"), {}),
              QStringList{m_program});
    EXPECT_FALSE(ShellIntegration(m_hooks).ToggleDesktopShortcut(true));
    EXPECT_FALSE(QFileInfo::exists(launcher));
    ShellIntegration(old).ApplyDesktopShortcut(false);
    EXPECT_EQ(Setting("FilePath").toString(), "/opt/old/tolvane");
}

// A user's own launcher of that name, or a program file called like the launcher, is left
// alone: nothing is written or removed.
TEST_F(LauncherTest, AUsersOwnFileInTheWayIsLeftAlone) {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const QString launcher = ShellIntegration::LauncherPath();
    const QByteArray own = "[Desktop Entry]\nType=Link\nName=Brevorn notes\nURL=file:///x\n";
    for (const QString& theirs : {launcher, desktop + "/Brevorn"}) {
        SCOPED_TRACE(qPrintable(theirs));
        QDir(desktop).removeRecursively();
        ASSERT_TRUE(Write(theirs, own));
        ShellIntegration(m_hooks).ApplyDesktopShortcut(true);
        EXPECT_EQ(ReadAll(theirs), own);
        EXPECT_EQ(QFileInfo::exists(launcher), theirs == launcher);
        ShellIntegration(m_hooks).ApplyDesktopShortcut(false);
        EXPECT_EQ(ReadAll(theirs), own);
    }
}

using ContextMenuTest = ShellTest;

TEST_F(ContextMenuTest, WithKvcMissingTheWarningOpensAndNoSettingChanges) {
    ShellIntegration(m_hooks).ApplyDesktopShortcut(false);  // as at the window's start
    const QByteArray before = ReadAll(SettingsFile());
    QWidget frame;
    for (const QString& button : {QStringLiteral("Cancel"), QStringLiteral("Download now")}) {
        UrlRecorder urls;
        bool seen = false;
        QTimer::singleShot(50, [&] {  // once the modal dialog is up
            auto* dialog = qobject_cast<CDownloadWarningDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            seen = true;
            EXPECT_EQ(dialog->windowTitle(), "Warning");
            const QString text = dialog->findChild<QLabel*>()->text();
            EXPECT_TRUE(text.contains("\"kvc\"")) << qPrintable(text);
            EXPECT_EQ(dialog->parentWidget(), &frame);
            for (QPushButton* candidate : dialog->findChildren<QPushButton*>()) {
                if (candidate->text() == button) {
                    candidate->click();
                }
            }
        });
        EXPECT_FALSE(ShellIntegration(m_hooks).ToggleContextMenu(false, &frame, urls.Function()));
        EXPECT_TRUE(seen);
        EXPECT_EQ(ReadAll(SettingsFile()), before);
        if (button == "Cancel") {
            EXPECT_TRUE(urls.opened.empty());
        } else {
            ASSERT_EQ(urls.opened.size(), 1u);
            EXPECT_EQ(urls.opened[0].toString(), "https://miravelt.example/DEMO/kv-dll.htm");
        }
    }
}

TEST_F(ContextMenuTest, EachEntryHandsTheSelectionOverExactly) {
    InstallKvc();
    ShellIntegration shell(m_hooks);
    shell.ApplyDesktopShortcut(false);
    ASSERT_TRUE(shell.ToggleContextMenu(false, nullptr, nullptr));
    EXPECT_EQ(Setting("ContextMenu").toInt(), 1);
    ASSERT_TRUE(ShellIntegration::IsContextMenuRegistered());

    const QString folder = QString::fromStdString(m_dir / "chosen");
    QStringList paths;
    for (const QString& name : kAwkwardNames) {
        paths << folder + "/" + name;
        ASSERT_TRUE(Write(paths.back(), "x"));
    }
    const QStringList expected = QStringList{"--"} + paths;
    const QString data = kvc::UserDataFolder();

    const QByteArray dolphin = ReadAll(data + "/kio/servicemenus/tolvane-erase.desktop");
    EXPECT_EQ(KeyFileValue(dolphin, "Desktop Entry", "MimeType"), "all/all;");
    QStringList argv = DesktopExecArguments(
        KeyFileValue(dolphin, "Desktop Action EraseWithBrevorn", "Exec"), paths);
    ASSERT_FALSE(argv.isEmpty());
    EXPECT_EQ(argv.takeFirst(), m_program);
    EXPECT_EQ(QProcess::execute(m_program, argv), 0);
    EXPECT_EQ(Recorded(), expected) << "Dolphin";

    // GNOME Files: names relative to the folder shown, which is the working folder.
    QProcess script;
    script.setWorkingDirectory(folder);
    script.start(data + "/nautilus/scripts/Erase with Brevorn", kAwkwardNames);
    ASSERT_TRUE(script.waitForFinished());
    EXPECT_EQ(script.exitCode(), 0) << script.readAllStandardError().constData();
    EXPECT_EQ(Recorded(), expected) << "GNOME Files";

    const QByteArray nemo = ReadAll(data + "/nemo/actions/tolvane-erase.nemo_action");
    EXPECT_EQ(KeyFileValue(nemo, "Nemo Action", "Quote"), "double");
    QStringList uris;
    for (const QString& path : paths) {
        uris << FileUri(path);
    }
    argv = GLibCommandLineWords(
        ExpandNemoUris(UnescapeValue(KeyFileValue(nemo, "Nemo Action", "Exec")), uris));
    ASSERT_FALSE(argv.isEmpty());
    EXPECT_EQ(argv.takeFirst(), m_bin + "/kvc");
    EXPECT_EQ(QProcess::execute(m_bin + "/kvc", argv), 0);
    EXPECT_EQ(Recorded(), expected) << "Nemo";
}

// An installed program runs the helper from its libexec folder, never an unrelated "kvc"
// beside it on the command path; a build folder has it next to the program.
TEST_F(ContextMenuTest, TheHelperIsTheInstalledOneBeforeOneBesideTheProgram) {
    InstallKvc();
    const ShellIntegration shell(m_hooks);
    EXPECT_EQ(shell.ContextMenuDllPath(), m_bin + "/kvc");

    const QString installed = QString::fromStdString(m_dir / "libexec/tolvane/kvc");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(installed).path()));
    ASSERT_TRUE(QFile::copy(QStringLiteral(KVC_BINARY), installed));
    EXPECT_EQ(shell.ContextMenuDllPath(), installed);
    ASSERT_TRUE(shell.ApplyContextMenu(true, false, nullptr));
    EXPECT_TRUE(ShellIntegration::IsContextMenuRegistered());
}

TEST_F(ContextMenuTest, SwitchingOffRemovesOnlyOurFilesAndWritesNothing) {
    InstallKvc();
    ShellIntegration shell(m_hooks);
    const QString data = kvc::UserDataFolder();
    // Off with nothing there: nothing is written (kvc only removes).
    EXPECT_TRUE(shell.ApplyContextMenu(false, false, nullptr));
    EXPECT_FALSE(QFileInfo::exists(data + "/kio"));
    EXPECT_FALSE(QFileInfo::exists(data + "/nemo"));

    ASSERT_TRUE(shell.ApplyContextMenu(true, false, nullptr));
    const QString usersScript = data + "/nautilus/scripts/Tidy up";
    ASSERT_TRUE(Write(usersScript, "#!/bin/sh\n"));
    BoxAnswerer boxes;
    EXPECT_FALSE(shell.ToggleContextMenu(true, nullptr, nullptr));
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_EQ(Setting("ContextMenu").toInt(), 0);
    EXPECT_FALSE(ShellIntegration::IsContextMenuRegistered());
    EXPECT_EQ(QDir(data + "/nautilus/scripts").entryList(QDir::Files), QStringList{"Tidy up"});
    EXPECT_TRUE(QDir(data + "/kio/servicemenus").isEmpty());
    EXPECT_TRUE(QDir(data + "/nemo/actions").isEmpty());
}

TEST_F(ContextMenuTest, AUsersFileInTheWayIsKeptAndTheFailureShown) {
    InstallKvc();
    const QString theirs = kvc::UserDataFolder() + "/nemo/actions/tolvane-erase.nemo_action";
    ASSERT_TRUE(Write(theirs, "[Nemo Action]\nName=mine\n"));
    BoxAnswerer boxes;
    boxes.ThenClick(QMessageBox::Ok);
    ShellIntegration shell(m_hooks);
    EXPECT_FALSE(shell.ToggleContextMenu(false, nullptr, nullptr));
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].title, "Error");
    EXPECT_TRUE(boxes.Seen()[0].text.contains(theirs)) << qPrintable(boxes.Seen()[0].text);
    EXPECT_EQ(ReadAll(theirs), "[Nemo Action]\nName=mine\n");
    EXPECT_EQ(Setting("ContextMenu").toInt(), 0);
    // What could be written was taken out again with the switch left off.
    EXPECT_FALSE(
        QFileInfo::exists(kvc::UserDataFolder() + "/kio/servicemenus/tolvane-erase.desktop"));
}

TEST_F(ContextMenuTest, TheResultIsWhatTheHelperLeftNotWhatItHadDoneSoFar) {
    // A kvc that takes its time: a check made as soon as it was started would find nothing.
    ASSERT_TRUE(QFile::copy(QStringLiteral(KVC_BINARY), m_bin + "/kvc-real"));
    ASSERT_TRUE(Write(m_bin + "/kvc", "#!/bin/sh\nsleep 1\nexec \"$0-real\" \"$@\"\n"));
    QFile::setPermissions(m_bin + "/kvc", QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_TRUE(ShellIntegration(m_hooks).ApplyContextMenu(true, true, nullptr));
    EXPECT_TRUE(ShellIntegration::IsContextMenuRegistered());
}

// A settings file that is no regular file makes kvc fail at once, naming it: reading a FIFO
// would block it for good.
TEST_F(ContextMenuTest, KvcRefusesASettingsFileThatIsNoRegularFile) {
    InstallKvc();
    const QString settings = SettingsFile();  // QSettings would block on the FIFO too
    QDir().mkpath(QFileInfo(settings).path());
    ASSERT_EQ(::mkfifo(QFile::encodeName(settings).constData(), 0600), 0);
    QProcess kvc;
    kvc.start(m_bin + "/kvc", {"/s"});
    const bool finished = kvc.waitForFinished(20000);
    kvc.kill();  // nothing to kill when it finished
    QFile::remove(settings);
    ASSERT_TRUE(finished);
    EXPECT_EQ(kvc.exitCode(), 1);
    EXPECT_TRUE(kvc.readAllStandardError().contains(QFile::encodeName(settings) +
                                                    " is not a regular file"));
    EXPECT_FALSE(QFileInfo::exists(kvc::UserDataFolder() + "/kio"));
}

}  // namespace
}  // namespace tolvane::test
