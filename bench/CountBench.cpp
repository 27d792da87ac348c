// Counting a large tree with SizeCounter, beside `find DIR | wc -l` over the same tree in
// the same run. The tree (100 folders of 1000 empty files) is made in a fresh folder under
// $TMPDIR (else /tmp) and removed at the end.
//
// find without a size test never examines an entry (the type from readdir is all it needs),
// while a count must statx every entry for its size, and that statx is most of the count's
// time. So a third figure runs find with `-printf '%s\n'`, which does the same examination.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "engine/EraseItem.h"
#include "engine/SizeCounter.h"

namespace {

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 1000;
// The folder item, the folders and the files.
constexpr std::int64_t kEntries = 1 + kFolders + std::int64_t{kFolders} * kFilesPerFolder;

std::string g_tree;

bool MakeTree(const std::string& root) {
    if (::mkdir(root.c_str(), 0700) != 0) {
        return false;
    }
    int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0) {
        return false;
    }
    bool ok = true;
    for (int d = 0; d < kFolders && ok; ++d) {
        const std::string folder = "folder" + std::to_string(d);
        ok = ::mkdirat(rootFd, folder.c_str(), 0700) == 0;
        int dirFd = ok ? ::openat(rootFd, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        ok = dirFd >= 0;
        for (int f = 0; f < kFilesPerFolder && ok; ++f) {
            const std::string name = "file" + std::to_string(f) + ".dat";
            int fd = ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            ok = fd >= 0;
            if (ok) {
                ::close(fd);
            }
        }
        if (dirFd >= 0) {
            ::close(dirFd);
        }
    }
    ::close(rootFd);
    return ok;
}

// Removes exactly what MakeTree made, by name; nothing else is touched.
void RemoveTree(const std::string& root) {
    int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0) {
        return;
    }
    for (int d = 0; d < kFolders; ++d) {
        const std::string folder = "folder" + std::to_string(d);
        int dirFd = ::openat(rootFd, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            for (int f = 0; f < kFilesPerFolder; ++f) {
                const std::string name = "file" + std::to_string(f) + ".dat";
                ::unlinkat(dirFd, name.c_str(), 0);
            }
            ::close(dirFd);
        }
        ::unlinkat(rootFd, folder.c_str(), AT_REMOVEDIR);
    }
    ::close(rootFd);
    ::rmdir(root.c_str());
    ::rmdir(root.substr(0, root.rfind('/')).c_str());
}

void SetRate(benchmark::State& state) {
    state.counters["entries/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(kEntries),
                           benchmark::Counter::kIsRate);
}

void BM_SizeCounter(benchmark::State& state) {
    tolvane::EraseItemList items{{tolvane::ItemKind::Ordinary, g_tree}};
    for (auto _ : state) {
        tolvane::SizeCounter counter;
        counter.SetItems(&items);
        counter.Walk();
        if (counter.Count() != kEntries) {
            state.SkipWithError("SizeCounter counted a different number of entries");
            break;
        }
    }
    SetRate(state);
}

void RunFind(benchmark::State& state, const std::string& options) {
    const std::string command = "find '" + g_tree + "'" + options + " | wc -l";
    for (auto _ : state) {
        FILE* pipe = ::popen(command.c_str(), "r");
        long lines = 0;
        if (pipe == nullptr || std::fscanf(pipe, "%ld", &lines) != 1) {
            state.SkipWithError("find | wc -l did not run");
        }
        if (pipe != nullptr) {
            ::pclose(pipe);
        }
        if (lines != kEntries) {
            state.SkipWithError("find listed a different number of entries");
            break;
        }
    }
    SetRate(state);
}

void BM_FindWcL(benchmark::State& state) {
    RunFind(state, "");
}
void BM_FindWithSizesWcL(benchmark::State& state) {
    RunFind(state, " -printf '%s\\n'");
}

BENCHMARK(BM_SizeCounter)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_FindWcL)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_FindWithSizesWcL)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const char* base = std::getenv("TMPDIR");
    std::string folder =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/count-bench-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    g_tree = folder + "/tree";
    std::printf("Making %lld entries under %s ...\n", static_cast<long long>(kEntries),
                g_tree.c_str());
    std::fflush(stdout);
    if (!MakeTree(g_tree)) {
        std::perror("making the tree");
        RemoveTree(g_tree);
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveTree(g_tree);
    return 0;
}
