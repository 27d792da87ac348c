#include "app/SplitCommandLine.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

struct SplitCase {
    const char* name;
    std::string commandLine;
    std::vector<std::string> expected;
};

class SplitCommandLineTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, GivesThePathList) {
    EXPECT_EQ(SplitCommandLine(GetParam().commandLine), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SplitCommandLineTest,
    testing::Values(
        SplitCase{"ProgramNameOnly", "tolvane", {}},
        SplitCase{"QuotedProgramNameWithSpaces", "\"/opt/my apps/tolvane\"", {}},
        SplitCase{"ProgramNameAndOneSpace", "tolvane ", {}},
        SplitCase{"QuotedPathThenPlainPath",
                  "tolvane \"/home/me/a b.txt\" /tmp/c",
                  {"/home/me/a b.txt", "/tmp/c"}},
        SplitCase{"QuotedProgramThenPath", "\"/opt/my apps/tolvane\" /tmp/x", {"/tmp/x"}},
        SplitCase{"TwoSpacesGiveAnEmptyEntry", "tolvane a  b", {"a", "", "b"}},
        SplitCase{"OneTrailingSpaceAddsNothing", "tolvane a ", {"a"}},
        SplitCase{"TwoTrailingSpacesAddOneEmptyEntry", "tolvane a  ", {"a", ""}},
        SplitCase{"OnlyTwoSpacesAfterTheNameGiveOneEmptyEntry", "tolvane  ", {""}},
        SplitCase{"QuotedStretchInTheMiddleKeepsItsQuotes",
                  "tolvane ab\"c d\"ef g",
                  {"ab\"c d\"ef", "g"}},
        SplitCase{"LeadingQuoteOnlyKeepsItsQuotes", "tolvane \"ab\"cd", {"\"ab\"cd"}},
        SplitCase{"OnlyTheOuterPairIsRemoved", "tolvane \"a\"b\"\"", {"a\"b\""}},
        SplitCase{"EmptyQuotesGiveAnEmptyEntry", "tolvane \"\" x", {"", "x"}},
        SplitCase{"LoneQuoteIsNoPair", "tolvane \"", {"\""}},
        SplitCase{"UnbalancedQuoteRunsToTheEnd", "tolvane \"a b c", {"\"a b c"}},
        SplitCase{"UnbalancedQuoteDropsOneTrailingSpace", "tolvane \"a b  ", {"\"a b "}},
        SplitCase{"DriveSpecIsAnOrdinaryEntry", "tolvane C: /home:", {"C:", "/home:"}},
        SplitCase{"TabsDoNotSplit", "tolvane a\tb", {"a\tb"}}),
    [](const testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

TEST(SplitCommandLineLength, HasNoLengthBound) {
    // Far beyond the 1024 bytes a fixed buffer would hold: many selected files at once.
    std::string line = "tolvane";
    std::vector<std::string> expected;
    for (int i = 0; i < 2000; ++i) {
        expected.push_back("\"/home/me/folder " + std::to_string(i) + "/file.txt\"");
        line += " " + expected.back();
        expected.back() = expected.back().substr(1, expected.back().size() - 2);
    }
    std::string longName(5000, 'n');
    line += " " + longName;
    expected.push_back(longName);
    EXPECT_EQ(SplitCommandLine(line), expected);
}

}  // namespace
}  // namespace tolvane
