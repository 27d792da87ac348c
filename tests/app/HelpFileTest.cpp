// Where F1 finds the manual, and what it says when there is none.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>

#include "QtTestEnvironment.h"
#include "TempDir.h"
#include "app/HelpFile.h"

namespace tolvane::test {
namespace {

// F1 opens the manual found as a file URL.
TEST(HelpFileTest, LooksNextToTheProgramThenInTheInstalledDocumentation) {
    TempDir dir;
    const QString prefix = QString::fromStdString(dir.Path());
    const QString program = prefix + "/bin/tolvane";
    ASSERT_TRUE(MakeDirs(dir / "bin"));
    EXPECT_EQ(FindHelpFile(program), "");
    ASSERT_TRUE(MakeDirs(dir / "share/doc/tolvane"));
    ASSERT_TRUE(WriteFile(dir / "share/doc/tolvane/bn.html", "<html>"));
    EXPECT_EQ(FindHelpFile(program), prefix + "/share/doc/tolvane/bn.html");
    ASSERT_TRUE(WriteFile(dir / "bin/bn.html", "<html>"));
    EXPECT_EQ(FindHelpFile(program), prefix + "/bin/bn.html");
    UrlRecorder urls;
    EXPECT_TRUE(OpenHelp(nullptr, program, urls.Function()));
    EXPECT_EQ(urls.opened, std::vector<QUrl>{QUrl::fromLocalFile(prefix + "/bin/bn.html")});
}

TEST(HelpFileTest, ABnHtmlInTheCurrentFolderIsNeverOpened) {
    TempDir dir;
    ASSERT_TRUE(MakeDirs(dir / "cwd"));
    ASSERT_TRUE(WriteFile(dir / "cwd/bn.html", "planted"));
    ASSERT_TRUE(MakeDirs(dir / "bin"));
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir / "cwd")));
    UrlRecorder urls;
    BoxAnswerer boxes;
    boxes.ThenClick(QMessageBox::Ok);
    const bool shown =
        OpenHelp(nullptr, QString::fromStdString(dir / "bin/tolvane"), urls.Function());
    EXPECT_EQ(FindHelpFile("tolvane"), "");  // a bare name: no folder to look in
    QDir::setCurrent(before);
    EXPECT_FALSE(shown);
    EXPECT_TRUE(urls.opened.empty());
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_TRUE(boxes.Seen()[0].text.startsWith("The manual bn.html is missing."));
}

}  // namespace
}  // namespace tolvane::test
