#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <climits>

namespace tolvane {
namespace {

using Action = CommandLine::Action;

struct ParseCase {
    const char* name;
    std::vector<std::string> arguments;  // after the program name
    Action action;
    std::vector<std::string> paths;
    bool assumeYes = false;
    std::optional<int> passes;
};

class ParseCommandLineTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseCommandLineTest, Parses) {
    std::vector<const char*> argv = {"tolvane"};
    for (const std::string& argument : GetParam().arguments) {
        argv.push_back(argument.c_str());
    }
    CommandLine parsed = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(parsed.action, GetParam().action) << parsed.error;
    if (GetParam().action == Action::UsageError) {
        EXPECT_FALSE(parsed.error.empty());
    }
    if (GetParam().action != Action::Run) {
        return;
    }
    EXPECT_EQ(parsed.paths, GetParam().paths);
    EXPECT_EQ(parsed.assumeYes, GetParam().assumeYes);
    EXPECT_EQ(parsed.passes, GetParam().passes);
}

ParseCase Paths(const char* name, std::vector<std::string> arguments,
                std::vector<std::string> paths, bool assumeYes = false,
                std::optional<int> passes = std::nullopt) {
    return {name, std::move(arguments), Action::Run, std::move(paths), assumeYes, passes};
}

ParseCase Ends(const char* name, std::vector<std::string> arguments, Action action) {
    return {name, std::move(arguments), action, {}, false, std::nullopt};
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ParseCommandLineTest,
    testing::Values(Paths("NothingIsWindowMode", {}, {}),
                    Paths("PathsInOrder", {"b", "a b", "a"}, {"b", "a b", "a"}),
                    Paths("EmptyArgumentIsAPath", {""}, {""}),
                    Paths("LoneDashIsAPath", {"-"}, {"-"}),
                    Paths("OptionsAnywhereBeforeTheEnd", {"a", "--yes", "b", "--passes", "0"},
                          {"a", "b"}, true, 0),
                    Paths("PassesWithEquals", {"--passes=9", "a"}, {"a"}, false, 9),
                    Paths("AfterDoubleDashEverythingIsAPath", {"--", "-file", "--yes", "--"},
                          {"-file", "--yes", "--"}),
                    Paths("HelpAfterDoubleDashIsAPath", {"--", "--help"}, {"--help"}),
                    Paths("LongestPathAccepted", {std::string(PATH_MAX - 1, 'x')},
                          {std::string(PATH_MAX - 1, 'x')}),
                    Ends("Help", {"a", "--help"}, Action::Help),
                    Ends("Version", {"--version"}, Action::Version),
                    Ends("UnknownLongOption", {"--force", "a"}, Action::UsageError),
                    Ends("DashNameWithoutDoubleDash", {"-file"}, Action::UsageError),
                    Ends("PassesMissing", {"a", "--passes"}, Action::UsageError),
                    Ends("PassesTen", {"--passes", "10", "a"}, Action::UsageError),
                    Ends("PassesNegative", {"--passes", "-1", "a"}, Action::UsageError),
                    Ends("PassesNotANumber", {"--passes=x", "a"}, Action::UsageError),
                    Ends("PassesWithSign", {"--passes=+3", "a"}, Action::UsageError),
                    Ends("PassesEmpty", {"--passes=", "a"}, Action::UsageError),
                    Ends("PathTooLong", {std::string(PATH_MAX, 'x')}, Action::UsageError)),
    [](const testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tolvane
