#include <gtest/gtest.h>

#include "platform/Wildcard.h"

namespace tolvane {
namespace {

struct MatchCase {
    const char* pattern;
    const char* name;
    bool matches;
};

class Wildcard : public testing::TestWithParam<MatchCase> {};

TEST_P(Wildcard, Matches) {
    EXPECT_EQ(MatchWildcard(GetParam().pattern, GetParam().name), GetParam().matches)
        << "pattern \"" << GetParam().pattern << "\", name \"" << GetParam().name << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Table, Wildcard,
    testing::Values(MatchCase{"*", "anything", true}, MatchCase{"*", "", true},
                    MatchCase{"*.*", "a.txt", true},
                    MatchCase{"*.*", "noext", true},  // every name, as folder listings need
                    MatchCase{"*.*", ".hidden", true}, MatchCase{"*.txt", "a.txt", true},
                    MatchCase{"*.txt", ".txt", true}, MatchCase{"*.txt", "a.txt.bak", false},
                    MatchCase{"*.txt", "a.TXT", false},  // case-sensitive
                    MatchCase{"?.txt", "a.txt", true}, MatchCase{"?.txt", "ab.txt", false},
                    MatchCase{"?.txt", ".txt", false}, MatchCase{"a?c", "abc", true},
                    MatchCase{"a?c", "ac", false}, MatchCase{"a*c", "ac", true},
                    MatchCase{"a*c", "abcbc", true}, MatchCase{"a*c", "abcb", false},
                    MatchCase{"*a*b*", "xxaxxbxx", true}, MatchCase{"*a*b*", "xxbxxaxx", false},
                    MatchCase{"**", "x", true},
                    // '*' and '?' in a name are ordinary bytes to the matcher's pattern side
                    MatchCase{"a*b", "a*b", true}, MatchCase{"a?b", "a*b", true},
                    MatchCase{"a[b]", "a[b]", true},  // no bracket classes
                    MatchCase{"a[b]", "ab", false}, MatchCase{"", "", true},
                    MatchCase{"", "a", false}, MatchCase{"abc", "abc", true},
                    MatchCase{"abc", "abcd", false}, MatchCase{"\xc3\xa9?", "\xc3\xa9x", true}),
    [](const testing::TestParamInfo<MatchCase>& info) {
        return "Case" + std::to_string(info.index);
    });

TEST(Wildcard, HasWildcard) {
    EXPECT_TRUE(HasWildcard("*.txt"));
    EXPECT_TRUE(HasWildcard("a?"));
    EXPECT_FALSE(HasWildcard("plain.txt"));
    EXPECT_FALSE(HasWildcard("[a]"));
    EXPECT_FALSE(HasWildcard(""));
}

}  // namespace
}  // namespace tolvane
