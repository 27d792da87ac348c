#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace tolvane::test {

// A fresh folder under the test environment's TMPDIR, removed with everything in it when
// the object goes. Path() ends without a separator.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    // Path() + "/" + relative.
    std::string operator/(const std::string& relative) const { return m_path + "/" + relative; }

private:
    std::string m_path;
};

// Small file helpers for tests; each aborts the test's expectations through its result.
bool WriteFile(const std::string& path, const std::string& content);
bool WriteFileOfSize(const std::string& path, std::uint64_t size, char fill = 'x');
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);  // lstat: a dangling link exists
bool MakeDirs(const std::string& path);
// Names in a folder, sorted, without "." and "..".
std::vector<std::string> ListNames(const std::string& folder);

// Lets every user search the folders from the test environment's root down to `folder`, so
// that an unprivileged child can reach what a test made there.
void OpenUpTo(const std::string& folder);

// Runs a shell command line; returns its exit status (or -1), output discarded unless
// `output` is given.
int RunCommand(const std::string& commandLine, std::string* output = nullptr);

// The first of `programs` that is not on the command path; empty when all of them are.
std::string MissingProgram(std::initializer_list<const char*> programs);

// Runs a shell command line under a private X server (xvfb-run, one 1024x768 screen, no TCP)
// with the xcb platform and standard input from /dev/null, as one process group that
// `timeout` ends after `seconds`; returns its exit status (124: it hung), with its output and
// errors in `output`. The X libraries keep allocations to their end: a leak report of theirs
// under the sanitizers would end a program before its own report reaches the test.
int RunOnPrivateXServer(int seconds, const std::string& commandLine, std::string& output);

}  // namespace tolvane::test
