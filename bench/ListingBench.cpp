// Times a sorted folder listing of 100,000 entries against `ls` on the same folder in the
// same run. Usage: ListingBench [entries] [rounds]
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "items/FolderLister.h"

namespace {

using Clock = std::chrono::steady_clock;

// Single quotes for the shell, with embedded quotes closed and reopened.
std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Best of `rounds` wall-clock times in seconds; `run` returns the number of entries seen.
double Best(int rounds, const std::function<long()>& run, long& seen) {
    double best = 1e30;
    for (int i = 0; i < rounds; ++i) {
        auto start = Clock::now();
        seen = run();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

long CountLines(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    long lines = -1;
    if (std::fscanf(pipe, "%ld", &lines) != 1) {
        lines = -1;
    }
    ::pclose(pipe);
    return lines;
}

void Report(const char* what, double seconds, long entries, double reference) {
    std::printf("%-28s %9.1f ms %12.0f entries/s %7.2fx ls\n", what, seconds * 1000,
                entries / seconds, seconds / reference);
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const char* base = std::getenv("TMPDIR");
    std::string dir = std::string(base && *base ? base : "/tmp") + "/listing-bench-XXXXXX";
    if (::mkdtemp(dir.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        std::perror("open");
        ::rmdir(dir.c_str());
        return 1;
    }
    std::vector<std::string> names;
    names.reserve(count);
    for (int i = 0; i < count; ++i) {
        // Mixed case and a shared prefix, so the name order has real work to do.
        names.push_back((i % 3 == 0 ? "File-" : "file-") + std::to_string(i * 7919 % count) +
                        (i % 2 ? ".txt" : ".LOG"));
        int fd = ::openat(dirFd, names.back().c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
        }
    }

    const std::string quoted = ShellQuote(dir);
    const char* locale = std::getenv("LC_ALL");
    std::printf("%d empty files in %s, best of %d rounds, LC_ALL=%s\n", count, dir.c_str(), rounds,
                locale ? locale : "(unset)");

    tolvane::FolderLister lister;
    lister.SetPath(dir);
    long seen = 0;
    double unsortedLs = Best(
        rounds, [&] { return CountLines("ls -f " + quoted + " | wc -l"); }, seen);
    long lsUnsortedSeen = seen;
    double sortedLs = Best(
        rounds, [&] { return CountLines("ls " + quoted + " | wc -l"); }, seen);
    long lsSeen = seen;
    double listing = Best(
        rounds,
        [&] {
            lister.Refresh();
            return static_cast<long>(lister.Total());
        },
        seen);

    Report("ls -f DIR | wc -l", unsortedLs, lsUnsortedSeen, sortedLs);
    Report("ls DIR | wc -l", sortedLs, lsSeen, sortedLs);
    Report("FolderLister::Refresh", listing, seen, sortedLs);

    for (const std::string& name : names) {
        ::unlinkat(dirFd, name.c_str(), 0);
    }
    ::close(dirFd);
    if (::rmdir(dir.c_str()) != 0) {
        std::perror("rmdir");
        return 1;
    }
    return 0;
}
