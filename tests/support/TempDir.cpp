#include "TempDir.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tolvane::test {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/t-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) {
        m_path = pattern;
    }
}

TempDir::~TempDir() {
    if (m_path.empty()) {
        return;
    }
    std::error_code ignored;  // best effort: a leftover is removed with the test root
    std::filesystem::remove_all(m_path, ignored);
}

bool WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    return static_cast<bool>(out);
}

bool WriteFileOfSize(const std::string& path, std::uint64_t size, char fill) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string block(65536, fill);
    while (size > 0 && out) {
        std::uint64_t n = std::min<std::uint64_t>(size, block.size());
        out.write(block.data(), static_cast<std::streamsize>(n));
        size -= n;
    }
    return static_cast<bool>(out);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

bool MakeDirs(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return !error;
}

std::vector<std::string> ListNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

int RunCommand(const std::string& commandLine, std::string* output) {
    std::string line = commandLine + (output ? " 2>&1" : " >/dev/null 2>&1");
    FILE* pipe = ::popen(line.c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        if (output) {
            output->append(buffer, n);
        }
    }
    int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string MissingProgram(std::initializer_list<const char*> programs) {
    for (const char* program : programs) {
        if (RunCommand(std::string("command -v ") + program) != 0) {
            return program;
        }
    }
    return {};
}

int RunOnPrivateXServer(int seconds, const std::string& commandLine, std::string& output) {
    return RunCommand("env QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0 timeout -k 10 " +
                          std::to_string(seconds) +
                          " xvfb-run -a -s '-screen 0 1024x768x24 -nolisten tcp' " + commandLine +
                          " </dev/null",
                      &output);
}

void OpenUpTo(const std::string& folder) {
    std::string root = std::getenv("TMPDIR");
    root = root.substr(0, root.rfind('/'));  // the test environment's root holds TMPDIR
    for (std::string path = folder; path.size() >= root.size();
         path = path.substr(0, path.rfind('/'))) {
        struct stat st;
        if (stat(path.c_str(), &st) == 0) {
            chmod(path.c_str(), (st.st_mode & 07777) | 0711);
        }
        if (path.find('/') == std::string::npos) {
            break;
        }
    }
}

}  // namespace tolvane::test
