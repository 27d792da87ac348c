// The built program run from a terminal without a display, on folders made by the test.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>

#include "ChildProcess.h"
#include "TempDir.h"

#ifndef TOLVANE_BINARY
#error "TOLVANE_BINARY must name the built program"
#endif

namespace tolvane::test {
namespace {

constexpr char kConfirm[] = "Confirm erasing following files:";
constexpr char kStopPrompt[] = "Do you want to stop erasing? [y/N] ";
constexpr std::uint64_t kLongFileSize = 200ull << 20;

class TerminalRunTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_dir.Path().empty());
        ASSERT_TRUE(MakeDirs(m_dir / "home/tmp"));
        ASSERT_TRUE(MakeDirs(m_dir / "work"));
    }
    std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& arguments) {
        auto child = std::make_unique<ChildProcess>(TOLVANE_BINARY, arguments, m_dir / "home");
        EXPECT_TRUE(child->Started());
        return child;
    }
    // Runs to the end with `input` on standard input (then closed).
    int Run(const std::vector<std::string>& arguments, const std::string& input = "") {
        m_child = Start(arguments);
        m_child->WriteInput(input);
        m_child->CloseInput();
        return m_child->Wait();
    }
    std::string Work(const std::string& name) const { return m_dir / ("work/" + name); }
    std::string MakeFile(const std::string& name, const std::string& content = "secret") {
        EXPECT_TRUE(WriteFile(Work(name), content));
        return Work(name);
    }

    TempDir m_dir;
    std::unique_ptr<ChildProcess> m_child;
};

TEST_F(TerminalRunTest, YesErasesFilesFoldersAndPatterns) {
    std::string file = MakeFile("file.txt");
    MakeDirs(Work("folder/deep/er"));
    MakeFile("folder/deep/er/inner.bin", std::string(100000, 'x'));
    MakeFile("folder/top");
    MakeFile("one.log");
    MakeFile("two.log");
    MakeFile("keep.txt", "kept");

    EXPECT_EQ(Run({"--yes", file, Work("folder"), Work("*.log")}), 0) << m_child->Error();

    EXPECT_EQ(ListNames(m_dir / "work"), std::vector<std::string>{"keep.txt"});
    EXPECT_EQ(ReadFile(Work("keep.txt")), "kept");
    EXPECT_NE(m_child->Output().find("Processed 100.0%"), std::string::npos);
    EXPECT_EQ(m_child->Error(), "");
}

TEST_F(TerminalRunTest, MissingPathIsReportedAndGivesStatusOne) {
    std::string file = MakeFile("there");
    std::string missing = Work("not here");

    EXPECT_EQ(Run({"--yes", missing, file}), 1);

    EXPECT_NE(m_child->Output().find(missing + " - file not found\n"), std::string::npos)
        << m_child->Output();
    EXPECT_FALSE(Exists(file));
}

TEST_F(TerminalRunTest, ZeroPassesStillDeletes) {
    std::string file = MakeFile("file", std::string(70000, 'z'));
    EXPECT_EQ(Run({"--passes", "0", "--yes", file}), 0);
    EXPECT_FALSE(Exists(file));
}

struct AnswerCase {
    const char* name;
    std::string input;  // then end of input
    bool erased;
};

class ConfirmationTest : public TerminalRunTest, public testing::WithParamInterface<AnswerCase> {};

TEST_P(ConfirmationTest, OnlyYesErases) {
    std::string a = MakeFile("a");
    std::string b = MakeFile("b b");

    EXPECT_EQ(Run({a, b}, GetParam().input), 0);

    EXPECT_EQ(Exists(a), !GetParam().erased);
    EXPECT_EQ(Exists(b), !GetParam().erased);
    std::string question = std::string(kConfirm) + "\n" + a + "\n" + b + "\n[y/N] ";
    EXPECT_EQ(m_child->Error().substr(0, question.size()), question);
    if (!GetParam().erased) {
        // Declined: nothing else is printed (end of input only ends the prompt's line).
        EXPECT_EQ(m_child->Output(), "");
        EXPECT_TRUE(m_child->Error() == question || m_child->Error() == question + "\n")
            << m_child->Error();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ConfirmationTest,
    testing::Values(AnswerCase{"No", "n\n", false}, AnswerCase{"JustEnter", "\n", false},
                    AnswerCase{"EndOfInput", "", false}, AnswerCase{"Other", "sure\n", false},
                    AnswerCase{"Yes", "y\n", true}, AnswerCase{"YesInCapitals", " YES \n", true},
                    AnswerCase{"YesWithoutNewline", "y", true}),
    [](const testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

TEST_F(TerminalRunTest, CtrlCThenYesStopsAndLeavesTheRestUntouched) {
    std::string big = Work("big");
    ASSERT_TRUE(WriteFileOfSize(big, kLongFileSize));
    std::string second = MakeFile("second", "untouched");
    auto child = Start({"--yes", "--passes", "3", big, second});

    ASSERT_TRUE(child->WaitForOutput("Processed")) << child->Output();
    child->Signal(SIGINT);
    ASSERT_TRUE(child->WaitForError(kStopPrompt)) << child->Error();
    child->WriteInput("y\n");

    EXPECT_EQ(child->Wait(), 130) << child->Error();
    EXPECT_EQ(ReadFile(second), "untouched");
}

TEST_F(TerminalRunTest, SecondCtrlCWhileAskingMeansNo) {
    std::string big = Work("big");
    ASSERT_TRUE(WriteFileOfSize(big, kLongFileSize));
    std::string second = MakeFile("second");
    auto child = Start({"--yes", "--passes", "3", big, second});

    ASSERT_TRUE(child->WaitForOutput("Processed"));
    child->Signal(SIGINT);
    ASSERT_TRUE(child->WaitForError(kStopPrompt));
    child->Signal(SIGINT);

    EXPECT_EQ(child->Wait(), 0) << child->Error();
    EXPECT_FALSE(Exists(big));
    EXPECT_FALSE(Exists(second));
    // One question only: the second Ctrl+C answered it.
    EXPECT_EQ(child->Error(), std::string("\n") + kStopPrompt + "\n");
}

TEST_F(TerminalRunTest, NamesArePrintedAndErasedByteForByte) {
    std::vector<std::string> names = {"with  two spaces", "-leading dash", "new\nline",
                                      "bad \xff\xfe utf-8", "star*and?mark"};
    std::vector<std::string> paths;
    std::string expected = std::string(kConfirm);
    for (const std::string& name : names) {
        paths.push_back(MakeFile(name));
        expected += "\n" + paths.back();
    }
    std::vector<std::string> arguments = {"--"};
    arguments.insert(arguments.end(), paths.begin(), paths.end());
    std::string missing = Work("gone \xff\n-x");
    arguments.push_back(missing);

    EXPECT_EQ(Run(arguments, "y\n"), 1);  // the missing one

    EXPECT_EQ(m_child->Error().substr(0, expected.size()), expected);
    EXPECT_NE(m_child->Output().find(missing + " - file not found\n"), std::string::npos);
    EXPECT_EQ(ListNames(m_dir / "work"), std::vector<std::string>{});
}

TEST_F(TerminalRunTest, FailuresAreListedAtTheEnd) {
    // Permissions do not stop root, which the tests may run as; an immutable file stops
    // everyone.
    std::string file = MakeFile("locked");
    if (RunCommand("chattr +i '" + file + "'") != 0) {
        GTEST_SKIP() << "chattr +i is not available here";
    }
    std::string other = MakeFile("free");

    int status = Run({"--yes", file, other});
    RunCommand("chattr -i '" + file + "'");

    EXPECT_EQ(status, 1);
    EXPECT_EQ(m_child->Error(), "Following files can't be erased:\n" + file + "\n");
    EXPECT_NE(m_child->Output().find(file + " - failed\n"), std::string::npos);
    EXPECT_FALSE(Exists(other));
}

struct UsageCase {
    const char* name;
    std::vector<std::string> arguments;
    int status;
    const char* output;  // expected start of standard output
};

class UsageTest : public TerminalRunTest, public testing::WithParamInterface<UsageCase> {};

TEST_P(UsageTest, ExitsBeforeTouchingAnything) {
    std::string file = MakeFile("victim");
    std::vector<std::string> arguments = GetParam().arguments;
    arguments.push_back(file);

    EXPECT_EQ(Run(arguments), GetParam().status);

    EXPECT_EQ(ReadFile(file), "secret");
    EXPECT_EQ(m_child->Output().substr(0, std::strlen(GetParam().output)), GetParam().output);
    if (GetParam().status == 2) {
        EXPECT_EQ(m_child->Output(), "");
        EXPECT_NE(m_child->Error().find("Try 'tolvane --help'"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, UsageTest,
    testing::Values(UsageCase{"Help", {"--help"}, 0, "Usage: tolvane "},
                    UsageCase{"Version", {"--version"}, 0, "tolvane "},
                    UsageCase{"PassesTen", {"--yes", "--passes", "10"}, 2, ""},
                    UsageCase{"DashPathWithoutDoubleDash", {"--yes", "-rf"}, 2, ""}),
    [](const testing::TestParamInfo<UsageCase>& info) { return std::string(info.param.name); });

TEST_F(TerminalRunTest, SavedPassCountOutsideTheRangeIsNotUsedSilently) {
    ASSERT_TRUE(MakeDirs(m_dir / "home/.config/Miravelt"));
    ASSERT_TRUE(
        WriteFile(m_dir / "home/.config/Miravelt/Tolvane.conf", "[General]\nPasses=1000\n"));
    std::string file = MakeFile("file");

    EXPECT_EQ(Run({"--yes", file}), 0);

    EXPECT_EQ(m_child->Error(), "tolvane: the saved pass count 1000 is more than 100; using 3\n");
    EXPECT_FALSE(Exists(file));
}

TEST_F(TerminalRunTest, NoPathsWithoutADisplaySaysTheWindowIsNotAvailable) {
    EXPECT_EQ(Run({}), 0);
    EXPECT_NE(m_child->Error().find("main window is not available"), std::string::npos);
}

}  // namespace
}  // namespace tolvane::test
