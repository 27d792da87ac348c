#pragma once

#include <string>

namespace tolvane::test {

// Makes a private root folder and points HOME, XDG_CONFIG_HOME, XDG_DATA_HOME,
// XDG_CACHE_HOME, XDG_STATE_HOME, XDG_RUNTIME_DIR and TMPDIR at folders inside it.
// The destructor removes the root (without crossing into mounted file systems).
class TestEnvironment {
public:
    TestEnvironment();
    ~TestEnvironment();
    TestEnvironment(const TestEnvironment&) = delete;
    TestEnvironment& operator=(const TestEnvironment&) = delete;

    bool Ready() const { return !m_root.empty(); }
    // The root folder, ending without a separator.
    static const std::string& Root();

private:
    std::string m_root;
};

}  // namespace tolvane::test
