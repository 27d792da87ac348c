#include <gtest/gtest.h>

#include "platform/Wildcard.h"

namespace tolvane {
namespace {

TEST(Wildcard, MatchesByteForByte) {
    const struct {
        const char* pattern;
        const char* name;
        bool matches;
    } cases[] = {
        {"*", "anything", true},
        {"*", "", true},
        {"*.*", "a.txt", true},
        {"*.*", "noext", true},  // every name, as folder listings need
        {"*.txt", "a.txt", true},
        {"*.txt", "a.txt.bak", false},
        {"*.txt", "a.TXT", false},  // case-sensitive
        {"?.txt", "a.txt", true},
        {"?.txt", "ab.txt", false},
        {"a?c", "abc", true},
        {"a*c", "ac", true},
        {"a*c", "abcbc", true},
        {"a*c", "abcb", false},
        {"*a*b*", "xxaxxbxx", true},
        {"*a*b*", "xxbxxaxx", false},
        // '*' and '?' in a name are ordinary bytes to the matcher's pattern side
        {"a*b", "a*b", true},
        {"a?b", "a*b", true},
        {"a[b]", "a[b]", true},  // no bracket classes
        {"", "a", false},
        {"abc", "abcd", false},
        {"\xc3\xa9?", "\xc3\xa9x", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MatchWildcard(c.pattern, c.name), c.matches)
            << "pattern \"" << c.pattern << "\", name \"" << c.name << "\"";
    }
    EXPECT_TRUE(HasWildcard("*.txt"));
    EXPECT_TRUE(HasWildcard("a?"));
    EXPECT_FALSE(HasWildcard("[a].txt"));
}

}  // namespace
}  // namespace tolvane
