// `cmake --install` of this build into a temporary prefix, and the installed files at work:
// the program answers --version, the desktop entry and the AppStream file validate, and the
// installed kvc writes and removes the context-menu entries.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>

#include "TempDir.h"

namespace tolvane::test {
namespace {

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

    // Runs a validator; skips when it is not installed here.
    static void Validate(const QString& tool, const QStringList& arguments) {
        const QString path = QStandardPaths::findExecutable(tool);
        if (path.isEmpty()) {
            GTEST_SKIP() << qPrintable(tool) << " is not installed";
        }
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(path, arguments);
        ASSERT_TRUE(process.waitForFinished(120000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAll().constData();
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
         {"bin/tolvane", "bin/kvc", "share/applications/tolvane.desktop",
          "share/metainfo/example.miravelt.tolvane.metainfo.xml",
          "share/icons/hicolor/scalable/apps/tolvane.svg",
          "share/icons/hicolor/48x48/apps/tolvane.png",
          "share/icons/hicolor/256x256/apps/tolvane.png", "share/doc/tolvane/bn.html"}) {
        EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(Installed(relative)))) << relative;
    }
    EXPECT_TRUE(QFileInfo(QString::fromStdString(Installed("bin/kvc"))).isExecutable());
    TempDir home;
    QProcess program;
    program.setProcessEnvironment(Environment(home));
    program.start(QString::fromStdString(Installed("bin/tolvane")), {"--version"});
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(program.readAllStandardOutput().startsWith("tolvane "))
        << program.readAllStandardError().constData();
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
        kvc.start(QString::fromStdString(Installed("bin/kvc")), {"/s"});
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
