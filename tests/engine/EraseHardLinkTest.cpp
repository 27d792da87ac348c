// A file that has another name outside the selection shares its content with that name:
// erasing the chosen name must not destroy what the other one holds.
#include <gtest/gtest.h>
#include <unistd.h>

#include "EngineTestHelpers.h"
#include "TempDir.h"

namespace tolvane::test {
namespace {

TEST(EraseHardLink, ContentOfAnotherNameIsNeverOverwrittenOrTruncated) {
    for (int passes : {0, 1}) {
        TempDir dir;
        ASSERT_TRUE(MakeDirs(dir / "chosen"));
        ASSERT_TRUE(WriteFile(dir / "chosen/linked", "shared content"));
        ASSERT_EQ(link((dir / "chosen/linked").c_str(), (dir / "outside").c_str()), 0);
        EraseRun run(passes);
        run.Run({dir / "chosen"});
        EXPECT_EQ(ReadFile(dir / "outside"), "shared content") << passes << " passes";
        if (passes == 0) {
            // Deleting without overwriting removes only the chosen name.
            EXPECT_FALSE(Exists(dir / "chosen"));
            EXPECT_TRUE(run.target.FailedPaths().empty());
        } else {
            // It cannot be destroyed without touching the other name: left and reported.
            EXPECT_EQ(ReadFile(dir / "chosen/linked"), "shared content");
            EXPECT_EQ(run.target.FailedPaths(), std::vector<std::string>{dir / "chosen/linked"});
        }
    }
}

}  // namespace
}  // namespace tolvane::test
