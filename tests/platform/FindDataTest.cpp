// Entry data as listings see it, and the file-time conversion.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "TempDir.h"
#include "platform/Directory.h"
#include "platform/FindData.h"

namespace tolvane {
namespace {

using test::TempDir;

TEST(FileTime, RoundTrips) {
    const struct {
        std::int64_t seconds;
        long nanoseconds;  // a multiple of 100: file times hold 100-ns units
        std::int64_t fileTime;
    } cases[] = {
        {0, 0, 116444736000000000LL},           // 1970-01-01
        {-11644473600LL, 0, 0},                 // 1601-01-01
        {1, 100, 116444736010000001LL},         //
        {-1, 999999900, 116444735999999999LL},  // just before 1970
        {1700000000, 123456700, 133444736001234567LL},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToFileTime(c.seconds, static_cast<std::uint32_t>(c.nanoseconds)), c.fileTime);
        std::int64_t seconds = -1;
        long nanoseconds = -1;
        FromFileTime(c.fileTime, seconds, nanoseconds);
        EXPECT_EQ(seconds, c.seconds) << c.fileTime;
        EXPECT_EQ(nanoseconds, c.nanoseconds) << c.fileTime;
    }
    EXPECT_EQ(ToFileTime(0, 199), ToFileTime(0, 100));  // below the unit is dropped
}

// Entries are described as they are, links included; a folder is never reached through one.
TEST(StatEntry, DescribesLinksHiddenAndReadOnlyEntriesAndOpenDirectoryFollowsNoLink) {
    TempDir temp;
    ASSERT_TRUE(test::WriteFile(temp / ".hidden", "12345"));
    ASSERT_TRUE(test::MakeDirs(temp / "folder"));
    ASSERT_EQ(::symlink("folder", (temp / "link").c_str()), 0);
    ASSERT_TRUE(test::WriteFile(temp / "ro", "x"));
    ASSERT_EQ(::chmod((temp / "ro").c_str(), 0444), 0);

    FindData data;
    ASSERT_TRUE(StatEntry(AT_FDCWD, temp / ".hidden", data));
    EXPECT_EQ(data.name, ".hidden");
    EXPECT_EQ(data.attributes, static_cast<std::uint32_t>(kAttrHidden));
    EXPECT_EQ(data.size, 5u);
    EXPECT_TRUE(data.IsRegular());

    ASSERT_TRUE(StatEntry(AT_FDCWD, temp / "link", data));
    EXPECT_TRUE(data.IsSymlink());
    EXPECT_FALSE(data.IsDirectory());

    ASSERT_TRUE(StatEntry(AT_FDCWD, temp / "folder", data));
    EXPECT_TRUE(data.IsDirectory());
    EXPECT_NE(data.mountId, 0u);

    ASSERT_TRUE(StatEntry(AT_FDCWD, temp / "ro", data));
    EXPECT_EQ(data.attributes, static_cast<std::uint32_t>(kAttrReadOnly));

    int error = 0;
    EXPECT_FALSE(StatEntry(AT_FDCWD, temp / "missing", data, &error));
    EXPECT_EQ(error, ENOENT);

    EXPECT_FALSE(OpenDirectory(AT_FDCWD, temp / "link", &error).Valid());
    EXPECT_TRUE(error == ELOOP || error == ENOTDIR) << error;
    EXPECT_TRUE(OpenDirectory(AT_FDCWD, temp / "folder").Valid());
}

TEST(ReadDirectory, ListsEveryEntryButDotAndDotDot) {
    TempDir temp;
    for (const char* name : {"a", ".b", "c d", "*"}) {
        ASSERT_TRUE(test::WriteFile(temp / name, name));
    }
    ASSERT_TRUE(test::MakeDirs(temp / "sub"));
    UniqueFd dir = OpenDirectory(AT_FDCWD, temp.Path());
    ASSERT_TRUE(dir.Valid());
    std::vector<FindData> entries;
    ASSERT_TRUE(ReadDirectory(dir.Get(), entries));
    std::vector<std::string> names;
    for (const FindData& entry : entries) {
        names.push_back(entry.name);
        EXPECT_EQ(entry.IsDirectory(), entry.name == "sub") << entry.name;
        EXPECT_EQ((entry.attributes & kAttrHidden) != 0, entry.name == ".b") << entry.name;
        if (!entry.IsDirectory()) {
            EXPECT_EQ(entry.size, entry.name.size()) << entry.name;
        }
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"*", ".b", "a", "c d", "sub"}));

    // The caller's descriptor stays usable, and a second listing sees the same.
    std::vector<FindData> again;
    ASSERT_TRUE(ReadDirectory(dir.Get(), again));
    EXPECT_EQ(again.size(), entries.size());
}

}  // namespace
}  // namespace tolvane
