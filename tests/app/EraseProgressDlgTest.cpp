// The command-line erase dialog on the offscreen platform, with real message boxes answered
// by the test and real files erased (or made to fail) in a temporary folder.
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "HostNotes.h"
#include "ImmutableFiles.h"
#include "QtTestEnvironment.h"
#include "RamVolume.h"
#include "TempDir.h"
#include "app/CEraseProgressDlg.h"
#include "app/SettingsStore.h"
#include "platform/AppNames.h"

namespace tolvane::test {
namespace {

constexpr std::uint64_t kLongFileSize = 200ull << 20;  // keeps a 3-pass run going for a while
constexpr char kMediumHeading[] = "Overwriting in place may not reach every copy here:";

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

// No erases nothing; Yes erases everything, and a clean run closes without a message.
TEST_F(EraseProgressDlgTest, OnlyYesErasesAndACleanRunSaysNothingMore) {
    for (bool yes : {false, true}) {
        ASSERT_TRUE(MakeDirs(m_dir / "folder/sub"));
        MakeFile("folder/sub/inner");
        std::vector<std::string> paths = {MakeFile("a.txt"), MakeFile("b c.txt"), m_dir / "folder"};
        m_answerer.ThenClick(yes ? QMessageBox::Yes : QMessageBox::No);
        CEraseProgressDlg dialog(paths);

        EXPECT_EQ(dialog.DoModal(), 0);

        ASSERT_EQ(m_answerer.Seen().size(), yes ? 2u : 1u);  // a confirmation each
        const SeenBox& confirm = m_answerer.Seen().back();
        EXPECT_EQ(confirm.title, AppDisplayName);
        EXPECT_EQ(confirm.text, "Confirm erasing following files:" + Lines(paths));
        EXPECT_EQ(confirm.icon, QMessageBox::Question);
        EXPECT_EQ(confirm.buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(confirm.defaultButton, QMessageBox::No);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(ListNames(m_dir.Path()).empty(), yes);
        EXPECT_EQ(dialog.ProgressBar()->value(), 0);  // back at 0 at the end, as after a stop
    }
}

TEST_F(EraseProgressDlgTest, StoppingShowsTheFailuresSoFarAndLeavesTheRestUntouched) {
    ImmutableFiles immutable;
    std::string failing = MakeFile("1-immutable");
    if (!immutable.Add(failing)) {
        GTEST_SKIP() << kNoImmutableFiles;
    }
    std::string big = m_dir / "2-big";
    ASSERT_TRUE(WriteFileOfSize(big, kLongFileSize));
    std::string later = MakeFile("3-later", "untouched");
    MakeDirs(m_dir / "4-folder");
    std::string inFolder = MakeFile("4-folder/inner", "untouched too");

    CEraseProgressDlg dialog({failing, big, later, m_dir / "4-folder"});
    m_answerer.ThenClick(QMessageBox::Yes);
    OnFirstProgress(*dialog.ProgressBar(), [&dialog] { dialog.CancelButton()->click(); });
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
    OnFirstProgress(*dialog.ProgressBar(), [&dialog] { QTest::keyClick(&dialog, Qt::Key_Escape); });
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

// A file on a tmpfs (its pages may have gone to swap): the confirmation names the volume
// after the list of paths, and the closing message repeats it, in a "Message" box when
// nothing failed and below the failures otherwise.
class EraseProgressDlgNotesTest : public EraseProgressDlgTest,
                                  public testing::WithParamInterface<bool> {};

TEST_P(EraseProgressDlgNotesTest, InTheConfirmationAndTheClosingMessage) {
    const bool withFailure = GetParam();
    RamVolume ram(m_dir.Path());
    TOLVANE_SKIP_UNLESS_MOUNTED(ram);
    const std::string file = ram.MakeFile();
    std::vector<std::string> paths = {file};
    if (withFailure) {
        ASSERT_TRUE(MakeDirs(m_dir / "folder"));
        paths.push_back(m_dir / "folder/.");  // never erased: a failure
    }
    m_answerer.ThenClick(QMessageBox::Yes);
    m_answerer.ThenClick(QMessageBox::Ok);
    CEraseProgressDlg dialog(paths);

    EXPECT_EQ(dialog.DoModal(), withFailure ? 1 : 0);

    EXPECT_FALSE(Exists(file));
    ASSERT_EQ(m_answerer.Seen().size(), 2u);
    const QString confirm = m_answerer.Seen()[0].text;
    const QString start = "Confirm erasing following files:" + Lines(paths) + "\n\n" +
                          kMediumHeading + "\n- " + QString::fromStdString(ram.Folder()) +
                          " (tmpfs): ";
    ASSERT_TRUE(confirm.startsWith(start)) << confirm.toStdString();
    const QString notes = confirm.mid(confirm.indexOf(kMediumHeading));
    EXPECT_EQ(notes.count('\n'), 1) << notes.toStdString();
    EXPECT_TRUE(notes.contains("memory")) << notes.toStdString();
    const SeenBox& closing = m_answerer.Seen()[1];
    EXPECT_EQ(closing.buttons, QMessageBox::Ok);
    if (withFailure) {
        EXPECT_EQ(closing.title, "Warning");
        EXPECT_EQ(closing.icon, QMessageBox::Warning);
        EXPECT_EQ(WithoutReasons(closing.text.section("\n\n", 0, 0)),
                  "Following files can't be erased:" + Lines({paths[1]}));
        EXPECT_EQ(closing.text.section("\n\n", 1), notes);
    } else {
        EXPECT_EQ(closing.title, "Message");
        EXPECT_EQ(closing.icon, QMessageBox::Information);
        EXPECT_EQ(closing.text, notes);
    }
}

INSTANTIATE_TEST_SUITE_P(CleanAndFailed, EraseProgressDlgNotesTest, testing::Bool());

// SIGTERM and SIGHUP (the session ending) stop the run as a confirmed stop does, without a
// question; Ctrl+C asks, like Cancel, and a termination while it asks answers Yes. The file
// being overwritten stays, what was not reached is untouched, and as nobody is left to close a
// box the failures go to standard error.
class EraseProgressDlgSignalTest : public EraseProgressDlgTest,
                                   public testing::WithParamInterface<int> {};

TEST_P(EraseProgressDlgSignalTest, StopsAndReportsOnStandardError) {
    std::string big = m_dir / "big";
    ASSERT_TRUE(WriteFileOfSize(big, kLongFileSize));
    std::string later = MakeFile("later", "untouched");
    m_answerer.ThenClick(QMessageBox::Yes);
    const int signal = GetParam();
    if (signal == SIGINT) {
        m_answerer.Then([](QMessageBox*) { ::raise(SIGHUP); });
    }
    CEraseProgressDlg dialog({big, later});
    OnFirstProgress(*dialog.ProgressBar(), [signal] { ::raise(signal); });

    testing::internal::CaptureStderr();
    EXPECT_EQ(dialog.DoModal(), 130);
    const std::string error = WithoutHostNotes(testing::internal::GetCapturedStderr());

    ASSERT_EQ(m_answerer.Seen().size(), signal == SIGINT ? 2u : 1u);
    EXPECT_EQ(m_answerer.Seen().back().text == "Do you want to stop erasing?", signal == SIGINT);
    EXPECT_EQ(m_answerer.Unexpected(), 0);
    const std::string failed = "tolvane: Following files can't be erased:\ntolvane: " + big + " - ";
    EXPECT_NE(error.find(failed), std::string::npos) << error;  // Qt may have its own words
    EXPECT_TRUE(Exists(big));
    EXPECT_EQ(ReadFile(later), "untouched");
}

INSTANTIATE_TEST_SUITE_P(TermHupAndCtrlC, EraseProgressDlgSignalTest,
                         testing::Values(SIGTERM, SIGHUP, SIGINT));

}  // namespace
}  // namespace tolvane::test
