#include "TestEnvironment.h"

#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "platform/Volumes.h"

namespace tolvane::test {
namespace {
std::string g_root;

void MakeAndExport(const std::string& variable, const std::string& path) {
    std::filesystem::create_directories(path);
    ::chmod(path.c_str(), 0700);
    ::setenv(variable.c_str(), path.c_str(), 1);
}
}  // namespace

TestEnvironment::TestEnvironment() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tolvane-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return;
    }
    m_root = pattern;
    g_root = m_root;
    MakeAndExport("HOME", m_root + "/home");
    MakeAndExport("XDG_CONFIG_HOME", m_root + "/home/.config");
    MakeAndExport("XDG_DATA_HOME", m_root + "/home/.local/share");
    MakeAndExport("XDG_CACHE_HOME", m_root + "/home/.cache");
    MakeAndExport("XDG_STATE_HOME", m_root + "/home/.local/state");
    MakeAndExport("XDG_RUNTIME_DIR", m_root + "/runtime");
    MakeAndExport("TMPDIR", m_root + "/tmp");
    // Nothing a test does may open a real browser or file manager.
    ::setenv("BROWSER", "/bin/false", 1);
}

TestEnvironment::~TestEnvironment() {
    if (m_root.empty()) {
        return;
    }
    // A test that failed half-way may have left an image mounted inside the root; detach such
    // mounts first (deepest first), so that the removal below never reaches into them.
    std::vector<std::string> mounts;
    for (const MountEntry& mount : ReadMountTable()) {
        if (mount.mountPoint.rfind(m_root + "/", 0) == 0) {
            mounts.push_back(mount.mountPoint);
        }
    }
    std::sort(mounts.begin(), mounts.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& mountPoint : mounts) {
        ::umount2(mountPoint.c_str(), MNT_DETACH);  // best effort, as the removal below
    }
    std::error_code ignored;  // a failed clean-up must not fail the run
    std::filesystem::remove_all(m_root, ignored);
}

const std::string& TestEnvironment::Root() {
    return g_root;
}

}  // namespace tolvane::test
