#include "app/SplitCommandLine.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

using Paths = std::vector<std::string>;

TEST(SplitCommandLineTest, GivesThePathList) {
    const std::pair<std::string, Paths> cases[] = {
        {"tolvane", {}},
        {"\"/opt/my apps/tolvane\"", {}},
        {"tolvane ", {}},
        {"tolvane \"/home/me/a b.txt\" /tmp/c", {"/home/me/a b.txt", "/tmp/c"}},
        {"\"/opt/my apps/tolvane\" /tmp/x", {"/tmp/x"}},
        {"tolvane a  b", {"a", "", "b"}},  // two spaces give an empty entry
        {"tolvane a ", {"a"}},             // one trailing space adds nothing
        {"tolvane a  ", {"a", ""}},
        {"tolvane  ", {""}},
        {"tolvane ab\"c d\"ef g", {"ab\"c d\"ef", "g"}},  // a quoted middle keeps its quotes
        {"tolvane \"ab\"cd", {"\"ab\"cd"}},               // so does a quoted start only
        {"tolvane \"a\"b\"\"", {"a\"b\""}},               // only the outer pair is removed
        {"tolvane \"\" x", {"", "x"}},
        {"tolvane \"", {"\""}},                   // a lone quote is no pair
        {"tolvane \"a b c", {"\"a b c"}},         // an unbalanced quote runs to the end...
        {"tolvane \"a b  ", {"\"a b "}},          // ...less one trailing space
        {"tolvane C: /home:", {"C:", "/home:"}},  // drive entries are ordinary paths here
        {"tolvane a\tb", {"a\tb"}},               // tabs do not split
    };
    for (const auto& [line, expected] : cases) {
        EXPECT_EQ(SplitCommandLine(line), expected) << line;
    }
}

TEST(SplitCommandLineTest, HasNoLengthBound) {
    // Far beyond the 1024 bytes a fixed buffer would hold: many selected files at once.
    std::string line = "tolvane";
    Paths expected;
    for (int i = 0; i < 2000; ++i) {
        expected.push_back("/home/me/folder " + std::to_string(i) + "/file.txt");
        line += " \"" + expected.back() + "\"";
    }
    expected.push_back(std::string(5000, 'n'));
    line += " " + expected.back();
    EXPECT_EQ(SplitCommandLine(line), expected);
}

}  // namespace
}  // namespace tolvane
