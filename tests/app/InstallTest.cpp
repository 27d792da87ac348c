// `cmake --install` of this build into a temporary prefix, and the installed files at work:
// the program answers --version, the desktop entry and the AppStream file validate, the man
// pages render without warnings and name every option, the bash completion completes, and the
// installed kvc writes and removes the context-menu entries.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

#include "TempDir.h"

namespace tolvane::test {
namespace {

// Output and exit status of a bash snippet run with `arguments` in `folder`.
struct Shell {
    int status = -1;
    QString output;
    QString errors;
};
Shell RunShell(const QString& script, const QStringList& arguments = {},
               const QString& folder = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", "C.UTF-8");
    environment.insert("MANWIDTH", "80");
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder);
    process.start("bash", QStringList{"-c", script, "bash"} + arguments);
    Shell result;
    if (process.waitForFinished(120000)) {
        result.status = process.exitCode();
    }
    result.output = QString::fromUtf8(process.readAllStandardOutput());
    result.errors = QString::fromUtf8(process.readAllStandardError());
    return result;
}

class InstallTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        s_prefix = *s_dir / "prefix with space";
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(CMAKE_COMMAND),
                      {"--install", QStringLiteral(BUILD_FOLDER), "--prefix",
                       QString::fromStdString(s_prefix)});
        s_installed = install.waitForFinished(300000) && install.exitCode() == 0;
        s_log = install.readAll().toStdString();
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(s_installed) << s_log; }

    static std::string Installed(const std::string& relative) { return s_prefix + "/" + relative; }

    // The test's own environment with HOME and the XDG folders in `home`, and no display.
    static QProcessEnvironment Environment(const TempDir& home) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        environment.insert("HOME", QString::fromStdString(home.Path()));
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString(home / ".config"));
        environment.insert("XDG_DATA_HOME", QString::fromStdString(home / "data"));
        return environment;
    }

    // What an installed program prints to standard output, with HOME in a fresh folder.
    static QByteArray Output(const std::string& relative, const QStringList& arguments) {
        TempDir home;
        QProcess program;
        program.setProcessEnvironment(Environment(home));
        program.start(QString::fromStdString(Installed(relative)), arguments);
        EXPECT_TRUE(program.waitForFinished(60000) && program.exitCode() == 0)
            << program.readAllStandardError().constData();
        return program.readAllStandardOutput();
    }

    // Runs a validator; skips when it is not installed here.
    static void Validate(const QString& tool, const QStringList& arguments) {
        const QString path = QStandardPaths::findExecutable(tool);
        if (path.isEmpty()) {
            GTEST_SKIP() << qPrintable(tool) << " is not installed";
        }
        const Shell run = RunShell("\"$@\" 2>&1", QStringList{path} + arguments);
        EXPECT_EQ(run.status, 0) << qPrintable(run.output);
    }

    static TempDir* s_dir;
    static std::string s_prefix;
    static bool s_installed;
    static std::string s_log;
};

TempDir* InstallTest::s_dir = nullptr;
std::string InstallTest::s_prefix;
bool InstallTest::s_installed = false;
std::string InstallTest::s_log;

TEST_F(InstallTest, PutsEveryFileInItsGnuFolderAndTheProgramRuns) {
    for (const char* relative :
         {"bin/tolvane", "libexec/tolvane/kvc", "share/applications/tolvane.desktop",
          "share/metainfo/example.miravelt.tolvane.metainfo.xml",
          "share/icons/hicolor/scalable/apps/tolvane.svg",
          "share/icons/hicolor/48x48/apps/tolvane.png",
          "share/icons/hicolor/256x256/apps/tolvane.png", "share/doc/tolvane/bn.html",
          "share/doc/tolvane/copyright", "share/doc/tolvane/changelog.gz",
          "share/man/man1/tolvane.1.gz", "share/man/man1/kvc.1.gz",
          "share/bash-completion/completions/tolvane"}) {
        EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(Installed(relative)))) << relative;
    }
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(Installed("bin/kvc"))));
    EXPECT_TRUE(QFileInfo(QString::fromStdString(Installed("libexec/tolvane/kvc"))).isExecutable());
    EXPECT_TRUE(Output("bin/tolvane", {"--version"}).startsWith("tolvane "));
}

// The desktop entry never makes the program a default opener.
TEST_F(InstallTest, TheDesktopEntryAndTheAppStreamFileValidate) {
    const std::string entry = Installed("share/applications/tolvane.desktop");
    const std::string text = ReadFile(entry);
    EXPECT_NE(text.find("\nExec=tolvane %F\n"), std::string::npos);
    EXPECT_EQ(text.find("MimeType"), std::string::npos);
    Validate("appstreamcli", {"validate", "--no-net",
                              QString::fromStdString(Installed(
                                  "share/metainfo/example.miravelt.tolvane.metainfo.xml"))});
    Validate("desktop-file-validate", {QString::fromStdString(entry)});
}

// Every option the program's --help names is in the page, and so is every exit status; the
// pages render without a single warning.
TEST_F(InstallTest, TheManPagesRenderWithoutWarningsAndNameEveryOption) {
    if (QStandardPaths::findExecutable("man").isEmpty()) {
        GTEST_SKIP() << "man is not installed";
    }
    Shell page;
    for (const char* name : {"kvc.1.gz", "tolvane.1.gz"}) {
        SCOPED_TRACE(name);
        page = RunShell("man --warnings -E UTF-8 -l \"$1\"",
                        {QString::fromStdString(Installed("share/man/man1/") + name)});
        EXPECT_EQ(page.status, 0);
        EXPECT_EQ(page.errors, "");
        EXPECT_TRUE(page.output.contains("EXIT STATUS"));
    }
    const QString options = QString::fromUtf8(Output("bin/tolvane", {"--help"}));
    static const QRegularExpression option(R"((?:^|\s)(--[a-z]*))");
    int found = 0;
    for (auto match = option.globalMatch(options); match.hasNext(); ++found) {
        const QString name = match.next().captured(1);
        EXPECT_TRUE(page.output.contains(name)) << qPrintable(name);
    }
    EXPECT_GE(found, 5);
    for (const char* section : {"OPTIONS", "WHAT IS AND IS NOT GUARANTEED", "EXAMPLES", "FILES"}) {
        EXPECT_TRUE(page.output.contains(section)) << section;
    }
    static const QRegularExpression exitCodes(R"(EXIT STATUS\s+0\s.*\s1\s.*\s2\s.*\s130\s)",
                                              QRegularExpression::DotMatchesEverythingOption);
    EXPECT_TRUE(exitCodes.match(page.output).hasMatch()) << qPrintable(page.output);
}

// What bash offers as the user presses Tab, printed so the log shows it.
TEST_F(InstallTest, TheBashCompletionOffersOptionsPassCountsPathsAndFreeSpace) {
    const QString framework = "/usr/share/bash-completion/bash_completion";
    if (!QFileInfo::exists(framework)) {
        GTEST_SKIP() << "bash-completion is not installed";
    }
    TempDir folder;
    for (const char* name : {"-notes.txt", "a b.txt", "alpha"}) {
        ASSERT_TRUE(WriteFile(folder / name, "x"));
    }
    const QString script = R"(
        source "$1"; source "$2"
        complete_line() {
            COMP_LINE=$1; COMP_POINT=${#1}
            read -ra COMP_WORDS <<<"$1"
            [[ $1 == *' ' ]] && COMP_WORDS+=('')
            COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMPREPLY=()
            _tolvane
            printf '%s\n' "$1" >&2; printf '  %s\n' "${COMPREPLY[@]}" >&2
            printf '%s|' "${COMPREPLY[@]}"; echo
        }
        complete_line 'tolvane --'
        complete_line 'tolvane --passes '
        complete_line 'tolvane --passes=1'
        complete_line 'tolvane --yes a'
        complete_line 'tolvane -- -'
        complete_line 'tolvane /'
    )";
    const Shell shell = RunShell(
        script,
        {framework, QString::fromStdString(Installed("share/bash-completion/completions/tolvane"))},
        QString::fromStdString(folder.Path()));
    std::printf("%s", qPrintable(shell.errors));  // what was offered, for the log
    ASSERT_EQ(shell.status, 0);
    const QStringList lines = shell.output.split(u'\n');
    ASSERT_GE(lines.size(), 6);
    EXPECT_EQ(lines[0], "--yes|--passes|--help|--version|--|");
    EXPECT_EQ(lines[1], "0|1|2|3|4|5|6|7|8|9|");
    EXPECT_EQ(lines[2], "1|");  // after "--passes=", as bash inserts it
    // Names come in the order the folder lists them, which the file system decides.
    QStringList names = lines[3].split(u'|', Qt::SkipEmptyParts);
    names.sort();
    EXPECT_EQ(names, QStringList({"a b.txt", "alpha"}));
    EXPECT_EQ(lines[4], "-notes.txt|");  // a path after "--", not an option
    EXPECT_TRUE(lines[5].split(u'|').contains("/:")) << qPrintable(lines[5]);
}

TEST_F(InstallTest, TheInstalledKvcWritesAndRemovesTheEntries) {
    TempDir home;
    const std::string config = home / ".config";
    const std::string data = home / "data";
    const QString settings = QString::fromStdString(config + "/Miravelt/Tolvane.conf");
    const auto runKvc = [&](int contextMenu) {
        {
            QSettings store(settings, QSettings::IniFormat);
            store.setValue("ContextMenu", contextMenu);
            store.setValue("FilePath", QString::fromStdString(Installed("bin/tolvane")));
        }
        QProcess kvc;
        kvc.setProcessEnvironment(Environment(home));
        kvc.setStandardInputFile(QProcess::nullDevice());
        kvc.start(QString::fromStdString(Installed("libexec/tolvane/kvc")), {"/s"});
        return kvc.waitForFinished(60000) ? kvc.exitCode() : -1;
    };
    const std::vector<std::string> entries = {data + "/kio/servicemenus/tolvane-erase.desktop",
                                              data + "/nautilus/scripts/Erase with Brevorn",
                                              data + "/nemo/actions/tolvane-erase.nemo_action"};
    ASSERT_EQ(runKvc(1), 0);
    for (const std::string& entry : entries) {
        EXPECT_TRUE(Exists(entry)) << entry;
    }
    EXPECT_NE(ReadFile(entries[0]).find(Installed("bin/tolvane")), std::string::npos);
    ASSERT_EQ(runKvc(0), 0);
    for (const std::string& entry : entries) {
        EXPECT_FALSE(Exists(entry)) << entry;
    }
}

}  // namespace
}  // namespace tolvane::test
