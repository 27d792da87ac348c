#include "platform/TerminalText.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace tolvane {
namespace {

TEST(EscapeForTerminalTest, ShowsControlsAndBrokenBytesAndKeepsText) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"/home/me/plain name.txt", "/home/me/plain name.txt"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
        {"\a\b\t\n\v\f\r\x1b", "\\a\\b\\t\\n\\v\\f\\r\\e"},
        {"\x1b[2J\x1b[1;1Hfake", "\\e[2J\\e[1;1Hfake"},  // clear the screen, go home
        {std::string("nul\0end", 7), "nul\\x00end"},
        {"\x01\x1f\x7f", "\\x01\\x1f\\x7f"},
        {"back\\slash \\e \\xff", "back\\\\slash \\\\e \\\\xff"},  // no name fakes an escape
        {"\xc2\x80\xc2\x9b"
         "2J\xc2\x9f",
         "\\xc2\\x80\\xc2\\x9b2J\\xc2\\x9f"},                // C1 controls
        {"\xc2\xa0nbsp \xc2\xbf", "\xc2\xa0nbsp \xc2\xbf"},  // not controls
        {"bad \xff\xfe", "bad \\xff\\xfe"},
        {"\xc0\xaf \xe0\x80\xaf", "\\xc0\\xaf \\xe0\\x80\\xaf"},  // overlong forms of '/'
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},                      // a surrogate
        {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},             // past U+10FFFF
        {"cut \xe2\x82", "cut \\xe2\\x82"},                       // a sequence cut short
        {"\xe2\x82"
         "A",
         "\\xe2\\x82A"},  // ...and resumed after
        {"\xc3", "\\xc3"},
    };
    for (const auto& [text, shown] : cases) {
        EXPECT_EQ(EscapeForTerminal(text), shown) << testing::PrintToString(text);
    }
}

TEST(IsTerminalTest, PipesAndClosedDescriptorsAreNoTerminals) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    EXPECT_FALSE(IsTerminal(fds[0]));
    ::close(fds[0]);
    ::close(fds[1]);
    EXPECT_FALSE(IsTerminal(fds[0]));
    EXPECT_FALSE(IsTerminal(-1));
}

}  // namespace
}  // namespace tolvane
