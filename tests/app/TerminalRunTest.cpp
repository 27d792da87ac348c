// The built program run from a terminal without a display, on folders made by the test.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "ChildProcess.h"
#include "FreeDisplay.h"
#include "ImmutableFiles.h"
#include "LoopImage.h"
#include "RamVolume.h"
#include "RawScan.h"
#include "TempDir.h"
#include "platform/TerminalText.h"

namespace tolvane::test {
namespace {

constexpr char kConfirm[] = "Confirm erasing following files:";
constexpr char kStopPrompt[] = "Do you want to stop erasing? [y/N] ";
constexpr char kMediumHeading[] = "Overwriting in place may not reach every copy here:";

class TerminalRunTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(MakeDirs(m_dir / "home"));
        ASSERT_TRUE(MakeDirs(m_dir / "work"));
    }
    void Start(const std::vector<std::string>& arguments, const ChildOptions& options = {}) {
        m_child = std::make_unique<ChildProcess>(arguments, m_dir / "home", options);
        EXPECT_TRUE(m_child->Started());
    }
    // Runs to the end with `input` on standard input (then closed). A run that hangs is
    // killed after a minute and gives -1.
    int Run(const std::vector<std::string>& arguments, const std::string& input = "",
            const ChildOptions& options = {}) {
        Start(arguments, options);
        m_child->WriteInput(input);
        m_child->CloseInput();
        return m_child->Wait(std::chrono::seconds(60));
    }
    // Starts a 3-pass run of a big file and then a small one, and waits until it erases.
    std::string StartLongRun(const ChildOptions& options) {
        std::string big = Work("big");
        EXPECT_TRUE(WriteFileOfSize(big, 200ull << 20));  // keeps 3 passes going for a while
        std::string second = MakeFile("second", "untouched");
        Start({"--yes", "--passes", "3", big, second}, options);
        EXPECT_TRUE(m_child->WaitForOutput("Processed")) << m_child->Output();
        return second;
    }
    std::string Work(const std::string& name) const { return m_dir / ("work/" + name); }
    std::string MakeFile(const std::string& name, const std::string& content = "secret") {
        EXPECT_TRUE(WriteFile(Work(name), content));
        return Work(name);
    }
    static bool Contains(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }
    // Standard error up to the closing summary that every started run ends with (after
    // "[y/N] " when a pipe answered, which echoes nothing), and the summary's first line.
    std::pair<std::string, std::string> SplitAtSummary() const {
        const std::string error = m_child->Error();
        std::size_t at = error.rfind("Erased ");
        if (const std::size_t stopped = error.rfind("Stopped: erased ");
            stopped != std::string::npos && (at == std::string::npos || stopped > at)) {
            at = stopped;
        }
        EXPECT_NE(at, std::string::npos) << "no closing summary in: " << error;
        if (at == std::string::npos) {
            return {error, ""};
        }
        return {error.substr(0, at), error.substr(at, error.find('\n', at) - at)};
    }

    TempDir m_dir;
    std::unique_ptr<ChildProcess> m_child;
};

// Files, folders and patterns erased; the status and the closing summary: items erased, failed
// (refused among them), not found, and what was written.
TEST_F(TerminalRunTest, StatusAndSummaryCountTheItems) {
    const std::string big(20000, 'z');
    ASSERT_TRUE(MakeDirs(Work("folder/deep/er")) && MakeDirs(Work("twice/inner")));
    MakeFile("folder/deep/er/inner.bin", big);
    MakeFile("one.log", big);
    MakeFile("keep.txt", "kept");
    struct Case {
        // "F": a 20000-byte file of the test's, "F again": the last one named again
        std::vector<std::string> arguments;
        int status;
        std::string counts;   // the summary's first line
        std::string written;  // the start of its second line
    } const cases[] = {
        {{"--passes", "1", "F", Work("folder"), Work("*.log")},
         0,
         "Erased 3 of 3 items, 0 failed, 0 not found.",
         "Written: 61.4 kB in 1 pass; time taken: "},
        // Every pass writes the file's last block of the medium whole: 20,480 bytes.
        {{"--passes", "3", "F"},
         0,
         "Erased 1 of 1 items, 0 failed, 0 not found.",
         "Written: 61.4 kB in 3 passes; time taken: "},
        {{Work("not here"), "F"}, 1, "Erased 1 of 2 items, 0 failed, 1 not found.", "Written: "},
        // A path ending in "." is never erased: refused, which is a failure too.
        {{Work("."), "F"},
         1,
         "Erased 1 of 2 items, 1 failed (1 refused), 0 not found.",
         "Written: "},
        // A path named twice, also with a separator added, is one item: erased once, never
        // reported as not found the second time.
        {{"--passes", "1", "F", Work("twice"), "F again", Work("twice") + "/"},
         0,
         "Erased 2 of 2 items, 0 failed, 0 not found.",
         "Written: "},
        {{"--passes", "0", "F"},
         0,
         "Erased 1 of 1 items, 0 failed, 0 not found.",
         "Written: nothing (0 passes: names changed and removed only); time taken: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.counts);
        std::vector<std::string> arguments = {"--yes"};
        std::vector<std::string> files;
        for (const std::string& argument : c.arguments) {
            if (argument == "F") {
                files.push_back(MakeFile("f" + std::to_string(files.size()), big));
            }
            arguments.push_back(argument.starts_with("F") ? files.back() : argument);
        }

        EXPECT_EQ(Run(arguments), c.status);

        for (const std::string& file : files) {
            EXPECT_FALSE(Exists(file));
        }
        const auto [before, summary] = SplitAtSummary();
        EXPECT_TRUE(c.status != 0 || before.empty()) << before;
        EXPECT_EQ(summary, c.counts);
        const std::string error = m_child->Error();
        const std::string rest = error.substr(error.find(c.counts) + c.counts.size() + 1);
        EXPECT_EQ(rest.substr(0, c.written.size()), c.written) << rest;
        EXPECT_TRUE(rest.ends_with(" s.\n")) << rest;
    }
    EXPECT_EQ(ListNames(m_dir / "work"), std::vector<std::string>{"keep.txt"});
    EXPECT_EQ(ReadFile(Work("keep.txt")), "kept");
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

// Ctrl+C asks whether to stop only where someone can answer: under `ls | xargs tolvane --yes`
// on the controlling terminal, where a second Ctrl+C means No and SIGHUP Yes (nobody is left);
// with no terminal at all it stops at once instead of reading end of input as "No".
TEST_F(TerminalRunTest, CtrlCAsksOnTheTerminalOrStopsWhenNobodyCanAnswer) {
    enum class Answer { kTyped, kHangUp, kNobody };
    const struct {
        ChildOptions::Input input;
        Answer answer;
    } cases[] = {{ChildOptions::Input::kNull, Answer::kTyped},
                 {ChildOptions::Input::kNull, Answer::kHangUp},
                 {ChildOptions::Input::kNull, Answer::kNobody},
                 {ChildOptions::Input::kPipe, Answer::kNobody}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.answer) * 10 + static_cast<int>(c.input));
        std::string second =
            StartLongRun({.input = c.input, .terminal = c.answer != Answer::kNobody});
        m_child->Signal(SIGINT);
        if (c.answer == Answer::kHangUp) {
            ASSERT_TRUE(m_child->WaitForTerminal(kStopPrompt)) << m_child->Terminal();
            m_child->Signal(SIGHUP);
        } else if (c.answer == Answer::kTyped) {
            const std::string prompt = kStopPrompt;
            ASSERT_TRUE(m_child->WaitForTerminal(prompt)) << m_child->Terminal();
            m_child->Signal(SIGINT);  // a second Ctrl+C while asking means No: the run goes on
            ASSERT_TRUE(m_child->WaitForTerminal(prompt + "\n"));
            m_child->Signal(SIGINT);
            ASSERT_TRUE(m_child->WaitForTerminal(prompt + "\n\n" + prompt)) << m_child->Terminal();
            m_child->Type("y\n");
        }

        EXPECT_EQ(m_child->Wait(), 130) << m_child->Error();
        EXPECT_EQ(ReadFile(second), "untouched");
        const std::string error = m_child->Error();
        EXPECT_FALSE(Contains(error, kStopPrompt)) << error;
        EXPECT_EQ(Contains(error, "tolvane: terminated: stopping\n"), c.answer == Answer::kHangUp);
        EXPECT_EQ(Contains(error, "no terminal to ask whether to stop: stopping"),
                  c.answer == Answer::kNobody)
            << error;
        EXPECT_EQ(SplitAtSummary().second, "Stopped: erased 0 of 2 items, 1 failed, 0 not found.");
    }
}

// A run not in the terminal's foreground when it would ask (the shell took the terminal back),
// or that loses it while asking, stops at once: nobody would see the question, and waiting
// for a key would keep the run going (and a volume it fills full).
TEST_F(TerminalRunTest, RunWithoutTheTerminalsForegroundStopsWithoutWaitingForAnAnswer) {
    for (const bool whileAsking : {false, true}) {
        SCOPED_TRACE(whileAsking);
        std::string second = StartLongRun(
            {.input = ChildOptions::Input::kNull, .terminal = true, .terminalHolder = true});
        if (whileAsking) {
            m_child->Signal(SIGINT);
            ASSERT_TRUE(m_child->WaitForTerminal(kStopPrompt)) << m_child->Terminal();
            m_child->GiveTerminalAway();
        } else {
            m_child->GiveTerminalAway();
            ASSERT_TRUE(m_child->WaitForTerminal(kTerminalTaken)) << m_child->Terminal();
            m_child->Signal(SIGINT);
        }
        EXPECT_EQ(m_child->Wait(), 130) << m_child->Error();
        EXPECT_EQ(ReadFile(second), "untouched");
        EXPECT_EQ(Contains(m_child->Terminal(), kStopPrompt), whileAsking);
        EXPECT_TRUE(Contains(m_child->Error(), "the terminal is no longer this run's"))
            << m_child->Error();
    }
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
        GTEST_SKIP() << kNoImmutableFiles;
    }
    std::string other = MakeFile("free");

    EXPECT_EQ(Run({"--yes", file, other}), 1);

    // Each path with the engine's reason after " - ", then the summary.
    const std::string heading = "Following files can't be erased:\n" + file + " - ";
    const auto [error, summary] = SplitAtSummary();
    EXPECT_EQ(error.substr(0, heading.size()), heading);
    EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 2) << error;
    EXPECT_EQ(summary, "Erased 1 of 2 items, 1 failed, 0 not found.");
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

// A saved pass count the run cannot use is named. Reading a FIFO would block until someone
// writes to it: start-up hung for good; such a file is neither read nor replaced.
TEST_F(TerminalRunTest, UnusableSettingsFileIsNamedAndLeftAsItIs) {
    const std::string folder = m_dir / "home/.config/Miravelt";
    const std::string settings = folder + "/Tolvane.conf";
    const std::string notRegular = "tolvane: the settings file " + settings +
                                   " is not a regular file or cannot be examined; using 3 passes\n";
    ASSERT_TRUE(MakeDirs(folder));
    ASSERT_EQ(::mkfifo((m_dir / "fifo").c_str(), 0600), 0);
    for (mode_t kind : {S_IFREG, S_IFIFO, S_IFLNK}) {
        SCOPED_TRACE(kind);
        ::unlink(settings.c_str());
        ASSERT_TRUE(kind == S_IFREG   ? WriteFile(settings, "[General]\nPasses=1000\n")
                    : kind == S_IFIFO ? ::mkfifo(settings.c_str(), 0600) == 0
                                      : ::symlink((m_dir / "fifo").c_str(), settings.c_str()) == 0);
        std::string file = MakeFile("file");

        EXPECT_EQ(Run({"--yes", file}), 0);

        EXPECT_FALSE(Exists(file));
        EXPECT_EQ(SplitAtSummary().first,
                  kind == S_IFREG ? "tolvane: the saved pass count 1000 is more than 100; using 3\n"
                                  : notRegular);
        struct stat status;
        ASSERT_EQ(::lstat(settings.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & S_IFMT, kind);
    }

    // Files that are no settings of this user (the organisation's file, the system folders)
    // are not read at all.
    ::unlink(settings.c_str());
    ASSERT_TRUE(MakeDirs(m_dir / "system/Miravelt"));
    ASSERT_EQ(::mkfifo((m_dir / "home/.config/Miravelt.conf").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((m_dir / "system/Miravelt/Tolvane.conf").c_str(), 0600), 0);
    std::string file = MakeFile("file");

    EXPECT_EQ(Run({"--yes", file}, "", {.setEnvironment = {"XDG_CONFIG_DIRS=" + m_dir / "system"}}),
              0);

    EXPECT_FALSE(Exists(file));
    EXPECT_EQ(SplitAtSummary().first, "");
}

// Without descriptors 0 and 1 an internal pipe took their numbers; more output than such a
// pipe holds then blocked the program for good.
TEST_F(TerminalRunTest, ClosedStandardDescriptorsNeitherHangNorTakeTheOutput) {
    std::vector<std::string> arguments = {"--yes"};
    const std::string longName(200, 'n');
    for (int i = 0; i < 600; ++i) {  // about 130 KiB of "... - file not found" lines
        arguments.push_back(Work(longName + std::to_string(i)));
    }
    arguments.emplace_back();  // the file to erase
    using enum ChildOptions::Input;
    for (const auto& [input, closeOutput] :
         {std::pair{kClosed, false}, {kPipe, true}, {kClosed, true}}) {
        SCOPED_TRACE(std::to_string(static_cast<int>(input)) + " " + std::to_string(closeOutput));
        const std::string file = MakeFile("file");
        arguments.back() = file;

        EXPECT_EQ(Run(arguments, "", {.input = input, .closeOutput = closeOutput}), 1);

        EXPECT_FALSE(Exists(file));
        // The missing ones are listed (sixteen of them and "...") before the summary.
        const std::string listed = SplitAtSummary().first;
        EXPECT_EQ(
            listed.rfind(
                "Following files can't be erased:\n" + Work(longName + "0") + " - not found\n", 0),
            0u)
            << listed;
        EXPECT_EQ(listed.substr(listed.size() - 4), "...\n");
        EXPECT_TRUE(closeOutput || m_child->Output().size() > 128u * 1024);
    }
}

// Nothing was done: a script must not read it as success.
TEST_F(TerminalRunTest, NoPathsWithoutADisplaySaysTheWindowIsNotAvailable) {
    EXPECT_EQ(Run({}), 1);
    EXPECT_TRUE(Contains(m_child->Error(), "main window is not available"));
}

// A DISPLAY left behind by an ended session made Qt abort (status 134) before anything was
// asked.
TEST_F(TerminalRunTest, UnreachableDisplayFallsBackToTheTerminal) {
    const std::string x11 = "DISPLAY=:" + std::to_string(FreeDisplayNumber());
    for (const std::string& display : {x11, std::string("WAYLAND_DISPLAY=tolvane-no-such")}) {
        SCOPED_TRACE(display);
        std::string file = MakeFile("file");
        const ChildOptions options{.setEnvironment = {display},
                                   .unsetEnvironment = {"QT_QPA_PLATFORM"}};

        EXPECT_EQ(Run({file}, "y\n", options), 0) << m_child->Error();

        EXPECT_FALSE(Exists(file));
        EXPECT_TRUE(Contains(m_child->Error(), "tolvane: cannot reach the display (" + display +
                                                   "); running in the terminal\n" + kConfirm))
            << m_child->Error();
    }
}

// On a terminal a name cannot control the screen: its control characters are shown escaped.
TEST_F(TerminalRunTest, NamesAreEscapedOnATerminal) {
    std::string tricky = MakeFile("clear\x1b[2J\x1b[Hme\r\nfake line");

    EXPECT_EQ(Run({tricky}, "n\n", {.terminal = true, .errorOnTerminal = true}), 0);

    EXPECT_EQ(m_child->Terminal(),
              std::string(kConfirm) + "\n" + EscapeForTerminal(tricky) + "\n[y/N] ");
    EXPECT_TRUE(Exists(tricky));
}

// Where overwriting in place cannot be relied on (here: a tmpfs, whose pages may have gone to
// swap), the confirmation says so after the list of paths, and the closing words repeat it.
TEST_F(TerminalRunTest, MediumNotesFollowTheConfirmationAndEndTheRun) {
    RamVolume ram(m_dir.Path());
    TOLVANE_SKIP_UNLESS_MOUNTED(ram);
    const std::string file = ram.MakeFile();

    EXPECT_EQ(Run({file}, "y\n"), 0);

    EXPECT_FALSE(Exists(file));
    const std::string error = m_child->Error();
    const std::string notePrefix = "- " + ram.Folder() + " (tmpfs): ";
    const std::string confirm =
        std::string(kConfirm) + "\n" + file + "\n\n" + kMediumHeading + "\n" + notePrefix;
    ASSERT_EQ(error.substr(0, confirm.size()), confirm) << error;
    const std::size_t noteStart = confirm.size() - notePrefix.size();
    const std::string note = error.substr(noteStart, error.find('\n', noteStart) - noteStart);
    EXPECT_TRUE(Contains(note, "memory")) << note;
    const auto [before, summary] = SplitAtSummary();
    EXPECT_EQ(before, error.substr(0, noteStart) + note + "\n[y/N] ");
    EXPECT_EQ(summary, "Erased 1 of 1 items, 0 failed, 0 not found.");
    EXPECT_TRUE(error.ends_with(std::string(kMediumHeading) + "\n" + note + "\n")) << error;
}

// SIGTERM and SIGHUP (the terminal closed) in the middle of a free-space wipe end the run as
// a confirmed stop does: no fill file stays on the volume and its free space comes back.
// (kill -9 is covered by the engine's tests: unnamed fill files go with the process.)
TEST_F(TerminalRunTest, SignalsDuringAFreeSpaceWipeLeaveTheVolumeAsItWas) {
    for (int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(::strsignal(signal));
        LoopImage image(m_dir / ("image" + std::to_string(signal)), "ext4", 64);
        TOLVANE_SKIP_UNLESS_MOUNTED(image);
        const std::string root = image.MountPoint();
        const std::uint64_t before = FreeBytesOf(root);
        Start({"--yes", "--passes", "5", root + ":"});
        // In the middle of the wipe: fill files hold most of the free space.
        ASSERT_TRUE(Eventually([&] { return FreeBytesOf(root) < before / 4; })) << m_child->Error();

        m_child->Signal(signal);

        EXPECT_EQ(m_child->Wait(), 130) << m_child->Error();
        EXPECT_EQ(ListNames(root), std::vector<std::string>{"lost+found"});
        // The kernel may finish freeing the unnamed files a moment after the end.
        Eventually([&] { return FreeBytesOf(root) + before / 100 >= before; });
        EXPECT_GE(FreeBytesOf(root) + before / 100, before);
        EXPECT_TRUE(Contains(m_child->Error(), "tolvane: terminated: stopping\n"));
        EXPECT_EQ(SplitAtSummary().second, "Stopped: erased 0 of 1 items, 0 failed, 0 not found.");
    }
}

}  // namespace
}  // namespace tolvane::test
