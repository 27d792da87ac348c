// The action writers' quoting, read back by the rules the desktop reads them with, and kvc's
// URI decoding.
#include <gtest/gtest.h>

#include "ExecLine.h"
#include "kvc/DesktopEntryText.h"
#include "kvc/FileUris.h"

namespace tolvane::test {
namespace {

class ExecQuotingTest : public testing::TestWithParam<const char*> {};

TEST_P(ExecQuotingTest, ADesktopExecValueGivesBackEachArgumentExactly) {
    const QString text = QString::fromUtf8(GetParam());
    const QString exec = kvc::DesktopExecValue({text, "--"}, "%F");
    EXPECT_EQ(DesktopExecArguments(exec, {"/f"}), (QStringList{text, "--", "/f"}))
        << qPrintable(exec);
}

TEST_P(ExecQuotingTest, AGLibWordGivesBackTheTextExactly) {
    const QString text = QString::fromUtf8(GetParam());
    const QString word = kvc::GLibExecWord(text);
    EXPECT_EQ(GLibCommandLineWords(UnescapeValue(word)), QStringList{text}) << qPrintable(word);
}

INSTANTIATE_TEST_SUITE_P(Awkward, ExecQuotingTest,
                         testing::Values("/usr/bin/tolvane", "/opt/my apps/tolvane",
                                         "/it's/tolvane", "/say \"hi\"/x", "/$HOME/x", "/100%F/x",
                                         "/back\\slash/x", "/a\\\\b\\", "/tab\there", "/new\nline",
                                         " leading", "/`tick`", "/caf\xc3\xa9"));

TEST(FileUriTest, OnlyLocalFileUrisBecomePathsByteForByte) {
    EXPECT_EQ(kvc::LocalPathOfUri("file:///tmp/a%20b"), QByteArray("/tmp/a b"));
    EXPECT_EQ(kvc::LocalPathOfUri("file://localhost/x%25y"), QByteArray("/x%y"));
    EXPECT_EQ(kvc::LocalPathOfUri("file:///caf%FF"), QByteArray("/caf\xff"));
    EXPECT_EQ(kvc::LocalPathOfUri("file:///it's$x"), QByteArray("/it's$x"));
    EXPECT_FALSE(kvc::LocalPathOfUri("file://server/share/x"));
    EXPECT_FALSE(kvc::LocalPathOfUri("sftp://host/x"));
    EXPECT_FALSE(kvc::LocalPathOfUri("file:///a%00b"));
    EXPECT_FALSE(kvc::LocalPathOfUri("/plain/path"));
}

}  // namespace
}  // namespace tolvane::test
