// Test entry point shared by every test program: before any test runs, HOME, the XDG
// folders and TMPDIR point into a private temporary folder, so no test can reach the
// user's real files, settings or desktop.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestEnvironment.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    tolvane::test::TestEnvironment environment;
    if (!environment.Ready()) {
        return 2;
    }
    return RUN_ALL_TESTS();
}
