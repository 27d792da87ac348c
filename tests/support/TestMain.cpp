// Test entry point shared by every test program: before any test runs, HOME, the XDG
// folders and TMPDIR point into a private temporary folder, so no test can reach the
// user's real files, settings or desktop. The folder goes when the program ends.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Volumes.h"

namespace {

void MakeAndExport(const char* variable, const std::string& path) {
    std::filesystem::create_directories(path);
    ::chmod(path.c_str(), 0700);
    ::setenv(variable, path.c_str(), 1);
}

// Removes the root without crossing into file systems mounted below it: a test that failed
// half-way may have left an image mounted there, so such mounts are detached first (deepest
// first).
void RemoveRoot(const std::string& root) {
    std::vector<std::string> mounts;
    for (const tolvane::MountEntry& mount : tolvane::ReadMountTable()) {
        if (mount.mountPoint.rfind(root + "/", 0) == 0) {
            mounts.push_back(mount.mountPoint);
        }
    }
    std::sort(mounts.begin(), mounts.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& mountPoint : mounts) {
        ::umount2(mountPoint.c_str(), MNT_DETACH);  // best effort, as the removal below
    }
    std::error_code ignored;  // a failed clean-up must not fail the run
    std::filesystem::remove_all(root, ignored);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const char* base = std::getenv("TMPDIR");
    std::string root = std::string(base && *base ? base : "/tmp") + "/tolvane-test-XXXXXX";
    if (::mkdtemp(root.data()) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    MakeAndExport("HOME", root + "/home");
    MakeAndExport("XDG_CONFIG_HOME", root + "/home/.config");
    MakeAndExport("XDG_DATA_HOME", root + "/home/.local/share");
    MakeAndExport("XDG_CACHE_HOME", root + "/home/.cache");
    MakeAndExport("XDG_STATE_HOME", root + "/home/.local/state");
    MakeAndExport("XDG_RUNTIME_DIR", root + "/runtime");
    MakeAndExport("TMPDIR", root + "/tmp");
    ::setenv("BROWSER", "/bin/false", 1);  // nothing a test does may open a real browser
    const int result = RUN_ALL_TESTS();
    RemoveRoot(root);
    return result;
}
