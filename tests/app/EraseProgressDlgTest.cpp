// The command-line erase dialog on the offscreen platform, with real message boxes answered
// by the test and real files erased (or made to fail) in a temporary folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "ImmutableFiles.h"
#include "QtTestEnvironment.h"
#include "TempDir.h"
#include "app/AppNames.h"
#include "app/CEraseProgressDlg.h"
#include "app/SettingsStore.h"

namespace tolvane::test {
namespace {

constexpr std::uint64_t kLongFileSize = 200ull << 20;  // keeps a 3-pass run going for a while
constexpr char kSkipImmutable[] =
    "cannot make files immutable here (needs root and ext4/xfs/btrfs)";

QString Lines(const std::vector<std::string>& paths) {
    QString text;
    for (const std::string& path : paths) {
        text += "\n" + QString::fromStdString(path);
    }
    return text;
}

// The failure list with the reasons cut off (" - <why>" after each path; the engine words
// them), after checking every line has one.
QString WithoutReasons(const QString& text) {
    QStringList lines = text.split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        int reason = lines[i].indexOf(" - ");
        if (lines[i] != "...") {
            EXPECT_GT(reason, 0) << lines[i].toStdString();
            lines[i].truncate(reason);
        }
    }
    return lines.join('\n');
}

// Calls `action` from the event loop once the run has visibly started.
void OnFirstProgress(CEraseProgressDlg& dialog, std::function<void()> action) {
    auto fired = std::make_shared<bool>(false);
    QObject::connect(dialog.ProgressBar(), &QProgressBar::valueChanged, &dialog,
                     [fired, action](int value) {
                         if (value > 0 && !*fired) {
                             *fired = true;
                             QTimer::singleShot(0, action);
                         }
                     });
}

class EraseProgressDlgTest : public testing::Test {
protected:
    void SetUp() override { SetSettingDword("Passes", 3); }
    std::string MakeFile(const std::string& name, const std::string& content = "secret") {
        EXPECT_TRUE(WriteFile(m_dir / name, content));
        return m_dir / name;
    }

    TempDir m_dir;
    BoxAnswerer m_answerer;
};

TEST_F(EraseProgressDlgTest, DecliningErasesNothingAndShowsNothingMore) {
    std::vector<std::string> paths = {MakeFile("a.txt"), MakeFile("b c.txt")};
    m_answerer.ThenClick(QMessageBox::No);
    CEraseProgressDlg dialog(paths);

    EXPECT_EQ(dialog.DoModal(), 0);

    ASSERT_EQ(m_answerer.Seen().size(), 1u);
    const SeenBox& confirm = m_answerer.Seen()[0];
    EXPECT_EQ(confirm.title, AppDisplayName);
    EXPECT_EQ(confirm.text, "Confirm erasing following files:" + Lines(paths));
    EXPECT_EQ(confirm.icon, QMessageBox::Question);
    EXPECT_EQ(confirm.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(confirm.defaultButton, QMessageBox::No);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(ReadFile(paths[0]), "secret");
    EXPECT_EQ(ReadFile(paths[1]), "secret");
}

TEST_F(EraseProgressDlgTest, CleanRunClosesWithoutAMessage) {
    MakeDirs(m_dir / "folder/sub");
    MakeFile("folder/sub/inner");
    m_answerer.ThenClick(QMessageBox::Yes);
    CEraseProgressDlg dialog({MakeFile("a.txt"), m_dir / "folder"});

    EXPECT_EQ(dialog.DoModal(), 0);

    EXPECT_EQ(m_answerer.Seen().size(), 1u);  // the confirmation only
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.ProgressBar()->value(), 1000);
    EXPECT_EQ(ListNames(m_dir.Path()), std::vector<std::string>{});
}

TEST_F(EraseProgressDlgTest, TwentyFailuresListSixteenPathsAndAnEllipsis) {
    ImmutableFiles immutable;
    std::vector<std::string> paths;
    for (int i = 10; i < 30; ++i) {
        paths.push_back(MakeFile("f" + std::to_string(i)));
        if (!immutable.Add(paths.back())) {
            GTEST_SKIP() << kSkipImmutable;
        }
    }
    m_answerer.ThenClick(QMessageBox::Yes);
    m_answerer.ThenClick(QMessageBox::Ok);
    CEraseProgressDlg dialog(paths);

    EXPECT_EQ(dialog.DoModal(), 1);

    ASSERT_EQ(m_answerer.Seen().size(), 2u);
    const SeenBox& warning = m_answerer.Seen()[1];
    EXPECT_EQ(warning.title, "Warning");
    EXPECT_EQ(warning.icon, QMessageBox::Warning);
    EXPECT_EQ(warning.buttons, QMessageBox::Ok);
    paths.resize(16);
    EXPECT_EQ(WithoutReasons(warning.text),
              "Following files can't be erased:" + Lines(paths) + "\n...");
}

TEST_F(EraseProgressDlgTest, StoppingShowsTheFailuresSoFarAndLeavesTheRestUntouched) {
    ImmutableFiles immutable;
    std::string failing = MakeFile("1-immutable");
    if (!immutable.Add(failing)) {
        GTEST_SKIP() << kSkipImmutable;
    }
    std::string big = m_dir / "2-big";
    ASSERT_TRUE(WriteFileOfSize(big, kLongFileSize));
    std::string later = MakeFile("3-later", "untouched");
    MakeDirs(m_dir / "4-folder");
    std::string inFolder = MakeFile("4-folder/inner", "untouched too");

    CEraseProgressDlg dialog({failing, big, later, m_dir / "4-folder"});
    m_answerer.ThenClick(QMessageBox::Yes);
    OnFirstProgress(dialog, [&dialog] { dialog.CancelButton()->click(); });
    m_answerer.ThenClick(QMessageBox::Yes);  // stop
    m_answerer.ThenClick(QMessageBox::Ok);

    EXPECT_EQ(dialog.DoModal(), 130);

    ASSERT_EQ(m_answerer.Seen().size(), 3u);
    const SeenBox& question = m_answerer.Seen()[1];
    EXPECT_EQ(question.title, "Question");
    EXPECT_EQ(question.text, "Do you want to stop erasing?");
    EXPECT_EQ(question.buttons, QMessageBox::Yes | QMessageBox::No);
    // The file being overwritten when the stop came stays as it is, under its own name.
    EXPECT_EQ(WithoutReasons(m_answerer.Seen()[2].text),
              "Following files can't be erased:" + Lines({failing, big}));
    EXPECT_TRUE(Exists(big));
    EXPECT_EQ(ReadFile(later), "untouched");
    EXPECT_EQ(ReadFile(inFolder), "untouched too");
}

TEST_F(EraseProgressDlgTest, EscapeWhileTheStopQuestionIsOpenAsksNothingMore) {
    std::string big = m_dir / "big";
    ASSERT_TRUE(WriteFileOfSize(big, kLongFileSize));
    std::string other = MakeFile("other");

    CEraseProgressDlg dialog({big, other});
    m_answerer.ThenClick(QMessageBox::Yes);
    OnFirstProgress(dialog, [&dialog] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    m_answerer.Then([&dialog](QMessageBox* question) {
        // Further stop requests reach a dialog that is already asking: no second question.
        dialog.close();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_EQ(QApplication::activeModalWidget(), question);
        // Esc on the question itself answers No: the run goes on.
        QTest::keyClick(question, Qt::Key_Escape);
    });

    EXPECT_EQ(dialog.DoModal(), 0);

    ASSERT_EQ(m_answerer.Seen().size(), 2u);
    EXPECT_EQ(m_answerer.Seen()[1].text, "Do you want to stop erasing?");
    EXPECT_EQ(m_answerer.Unexpected(), 0);
    EXPECT_FALSE(Exists(big));
    EXPECT_FALSE(Exists(other));
}

}  // namespace
}  // namespace tolvane::test
