// The built program run from a terminal without a display, on folders made by the test.
#include <gtest/gtest.h>
#include <signal.h>

#include <memory>

#include "ChildProcess.h"
#include "ImmutableFiles.h"
#include "TempDir.h"

namespace tolvane::test {
namespace {

constexpr char kConfirm[] = "Confirm erasing following files:";
constexpr char kStopPrompt[] = "Do you want to stop erasing? [y/N] ";

class TerminalRunTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(MakeDirs(m_dir / "home"));
        ASSERT_TRUE(MakeDirs(m_dir / "work"));
    }
    void Start(const std::vector<std::string>& arguments) {
        m_child = std::make_unique<ChildProcess>(arguments, m_dir / "home");
        EXPECT_TRUE(m_child->Started());
    }
    // Runs to the end with `input` on standard input (then closed).
    int Run(const std::vector<std::string>& arguments, const std::string& input = "") {
        Start(arguments);
        m_child->WriteInput(input);
        m_child->CloseInput();
        return m_child->Wait();
    }
    std::string Work(const std::string& name) const { return m_dir / ("work/" + name); }
    std::string MakeFile(const std::string& name, const std::string& content = "secret") {
        EXPECT_TRUE(WriteFile(Work(name), content));
        return Work(name);
    }
    static bool Contains(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
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
    EXPECT_TRUE(Contains(m_child->Output(), "Processed 100.0%"));
    EXPECT_EQ(m_child->Error(), "");
}

TEST_F(TerminalRunTest, MissingPathIsReportedAndGivesStatusOne) {
    std::string file = MakeFile("there");
    std::string missing = Work("not here");
    EXPECT_EQ(Run({"--yes", missing, file}), 1);
    EXPECT_TRUE(Contains(m_child->Output(), missing + " - file not found\n")) << m_child->Output();
    EXPECT_FALSE(Exists(file));
}

TEST_F(TerminalRunTest, ZeroPassesStillDeletes) {
    std::string file = MakeFile("file", std::string(70000, 'z'));
    EXPECT_EQ(Run({"--passes", "0", "--yes", file}), 0);
    EXPECT_FALSE(Exists(file));
}

TEST_F(TerminalRunTest, OnlyYesAtThePromptErases) {
    struct {
        std::string input;  // then end of input
        bool erased;
    } const answers[] = {{"n\n", false}, {"\n", false},     {"", false}, {"sure\n", false},
                         {"y\n", true},  {" YES \n", true}, {"y", true}};
    for (const auto& answer : answers) {
        SCOPED_TRACE("answer: " + answer.input);
        std::string a = MakeFile("a");
        std::string b = MakeFile("b b");

        EXPECT_EQ(Run({a, b}, answer.input), 0);

        EXPECT_EQ(Exists(a), !answer.erased);
        EXPECT_EQ(Exists(b), !answer.erased);
        std::string question = std::string(kConfirm) + "\n" + a + "\n" + b + "\n[y/N] ";
        std::string error = m_child->Error();
        EXPECT_EQ(error.substr(0, question.size()), question);
        if (!answer.erased) {
            // Declined: nothing else is printed (end of input only ends the prompt's line).
            EXPECT_EQ(m_child->Output(), "");
            EXPECT_TRUE(error == question || error == question + "\n") << error;
        }
    }
}

TEST_F(TerminalRunTest, CtrlCAsksASecondCtrlCMeansNoAndYesStopsLeavingTheRestUntouched) {
    std::string big = Work("big");
    ASSERT_TRUE(WriteFileOfSize(big, 200ull << 20));  // keeps a 3-pass run going for a while
    std::string second = MakeFile("second", "untouched");
    Start({"--yes", "--passes", "3", big, second});

    ASSERT_TRUE(m_child->WaitForOutput("Processed")) << m_child->Output();
    m_child->Signal(SIGINT);
    ASSERT_TRUE(m_child->WaitForError(kStopPrompt)) << m_child->Error();
    m_child->Signal(SIGINT);  // answers No: the run goes on
    ASSERT_TRUE(m_child->WaitForError(std::string(kStopPrompt) + "\n")) << m_child->Error();
    m_child->Signal(SIGINT);
    ASSERT_TRUE(m_child->WaitForError(std::string(kStopPrompt) + "\n\n" + kStopPrompt))
        << m_child->Error();
    m_child->WriteInput("y\n");

    EXPECT_EQ(m_child->Wait(), 130) << m_child->Error();
    EXPECT_EQ(ReadFile(second), "untouched");
}

TEST_F(TerminalRunTest, NamesArePrintedAndErasedByteForByte) {
    std::vector<std::string> arguments = {"--"};
    std::string expected = kConfirm;
    for (const char* name : {"with  two spaces", "-leading dash", "new\nline", "bad \xff\xfe utf-8",
                             "star*and?mark"}) {
        arguments.push_back(MakeFile(name));
        expected += "\n" + arguments.back();
    }
    std::string missing = Work("gone \xff\n-x");
    arguments.push_back(missing);

    EXPECT_EQ(Run(arguments, "y\n"), 1);  // the missing one

    EXPECT_EQ(m_child->Error().substr(0, expected.size()), expected);
    EXPECT_TRUE(Contains(m_child->Output(), missing + " - file not found\n"));
    EXPECT_EQ(ListNames(m_dir / "work"), std::vector<std::string>{});
}

TEST_F(TerminalRunTest, FailuresAreListedAtTheEnd) {
    std::string file = MakeFile("locked");
    ImmutableFiles immutable;  // stops root too, which the tests may run as
    if (!immutable.Add(file)) {
        GTEST_SKIP() << "cannot make files immutable here (needs root and ext4/xfs/btrfs)";
    }
    std::string other = MakeFile("free");

    EXPECT_EQ(Run({"--yes", file, other}), 1);

    EXPECT_EQ(m_child->Error(), "Following files can't be erased:\n" + file + "\n");
    EXPECT_TRUE(Contains(m_child->Output(), file + " - failed\n"));
    EXPECT_FALSE(Exists(other));
}

TEST_F(TerminalRunTest, HelpVersionAndUsageErrorsTouchNothing) {
    struct {
        std::vector<std::string> arguments;
        int status;
        std::string output;  // expected start of standard output
    } const cases[] = {{{"--help"}, 0, "Usage: tolvane "},
                       {{"--version"}, 0, "tolvane "},
                       {{"--yes", "--passes", "10"}, 2, ""},
                       {{"--yes", "-rf"}, 2, ""}};  // a dash path without "--"
    std::string file = MakeFile("victim");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        std::vector<std::string> arguments = c.arguments;
        arguments.push_back(file);

        EXPECT_EQ(Run(arguments), c.status);

        EXPECT_EQ(ReadFile(file), "secret");
        EXPECT_EQ(m_child->Output().substr(0, c.output.size()), c.output);
        if (c.status == 2) {
            EXPECT_EQ(m_child->Output(), "");
            EXPECT_TRUE(Contains(m_child->Error(), "Try 'tolvane --help'"));
        }
    }
}

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
    EXPECT_TRUE(Contains(m_child->Error(), "main window is not available"));
}

}  // namespace
}  // namespace tolvane::test
