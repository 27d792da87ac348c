#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <climits>

namespace tolvane {
namespace {

using Action = CommandLine::Action;

struct ParseCase {
    std::vector<std::string> arguments;  // after the program name
    Action action;
    std::vector<std::string> paths = {};
    bool assumeYes = false;
    std::optional<int> passes = std::nullopt;
};

TEST(ParseCommandLineTest, ParsesPathsOptionsAndUsageErrors) {
    const std::string longest(PATH_MAX - 1, 'x');
    const ParseCase cases[] = {
        {{}, Action::Run},  // window mode
        {{"b", "a b", "a"}, Action::Run, {"b", "a b", "a"}},
        {{"", "-"}, Action::Run, {"", "-"}},
        {{"a", "--yes", "b", "--passes", "0"}, Action::Run, {"a", "b"}, true, 0},
        {{"--passes=9", "a"}, Action::Run, {"a"}, false, 9},
        {{"--", "-file", "--yes", "--help", "--"}, Action::Run, {"-file", "--yes", "--help", "--"}},
        {{longest}, Action::Run, {longest}},
        {{"a", "--help"}, Action::Help},
        {{"--version"}, Action::Version},
        {{"--force", "a"}, Action::UsageError},
        {{"-file"}, Action::UsageError},  // a dash name needs "--"
        {{"a", "--passes"}, Action::UsageError},
        {{"--passes", "10", "a"}, Action::UsageError},
        {{"--passes", "-1", "a"}, Action::UsageError},
        {{"--passes=x", "a"}, Action::UsageError},
        {{"--passes=+3", "a"}, Action::UsageError},
        {{"--passes=", "a"}, Action::UsageError},
        {{longest + "x"}, Action::UsageError},
    };
    for (const ParseCase& c : cases) {
        std::vector<const char*> argv = {"tolvane"};
        for (const std::string& argument : c.arguments) {
            argv.push_back(argument.c_str());
        }
        SCOPED_TRACE(testing::PrintToString(c.arguments).substr(0, 80));
        CommandLine parsed = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
        EXPECT_EQ(parsed.action, c.action) << parsed.error;
        EXPECT_EQ(parsed.error.empty(), c.action != Action::UsageError);
        if (c.action == Action::Run) {
            EXPECT_EQ(parsed.paths, c.paths);
            EXPECT_EQ(parsed.assumeYes, c.assumeYes);
            EXPECT_EQ(parsed.passes, c.passes);
        }
    }
}

// The argument an error quotes comes from whoever started the program: a newline or an
// escape sequence in it must not split the message or act on the terminal.
TEST(ParseCommandLineTest, UsageErrorsShowArgumentsEscaped) {
    const std::string longest(PATH_MAX - 1, 'x');
    const struct {
        std::vector<const char*> argv;
        std::string shown;
    } cases[] = {
        {{"tolvane", "--x\n\x1b[2J"}, "unknown option '--x\\n\\e[2J'"},
        {{"tolvane", "--passes=\r"}, "invalid pass count '\\r'"},
        {{"tolvane", "--passes",
          "\xc2\x9b"
          "1m"},
         "invalid pass count '\\xc2\\x9b1m'"},
    };
    for (const auto& c : cases) {
        const CommandLine parsed = ParseCommandLine(static_cast<int>(c.argv.size()), c.argv.data());
        EXPECT_EQ(parsed.action, Action::UsageError);
        EXPECT_NE(parsed.error.find(c.shown), std::string::npos) << parsed.error;
    }
    const std::string longName = "\n" + longest;
    const char* argv[] = {"tolvane", longName.c_str()};
    const CommandLine parsed = ParseCommandLine(2, argv);
    EXPECT_EQ(parsed.error.find('\n'), std::string::npos) << parsed.error;
}

}  // namespace
}  // namespace tolvane
