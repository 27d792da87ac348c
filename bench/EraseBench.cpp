// Erase speed on the real disk, beside GNU shred and the raw durable write rate measured in
// the same run and the same folder: one large file at 1 and 3 passes, and many small files.
// Everything happens in a fresh folder under $TMPDIR (or /tmp) that holds only the files this
// program makes; it is removed at the end.
//
// Usage: EraseBench [--large-mib N] [--small-files N] [--runs N]
#include <fcntl.h>
#include <stdlib.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/EraseEngine.h"
#include "engine/ProgressSink.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::uint64_t largeMiB = 256;
    int smallFiles = 2000;
    std::uint64_t smallSize = 1024;
    int runs = 3;
};

// Content that no file system can compress or deduplicate.
const std::vector<char>& NoiseBlock() {
    static std::vector<char> block = [] {
        std::vector<char> b(1 << 20);
        std::size_t done = 0;
        while (done < b.size()) {
            ssize_t n = ::getrandom(b.data() + done, b.size() - done, 0);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            }
        }
        return b;
    }();
    return block;
}

// Writes a file and forces it to the disk, so that no earlier write is still pending when a
// timed run starts.
bool MakeFile(const std::string& path, std::uint64_t size) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    const std::vector<char>& noise = NoiseBlock();
    std::uint64_t left = size;
    bool ok = true;
    while (ok && left > 0) {
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, noise.size()));
        ok = ::write(fd, noise.data(), n) == static_cast<ssize_t>(n);
        left -= n;
    }
    ok = ::fdatasync(fd) == 0 && ok;
    ::close(fd);
    return ok;
}

double Seconds(const std::function<bool()>& run, bool& ok) {
    ::sync();  // start every run with a clean cache state
    auto start = Clock::now();
    ok = run() && ok;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int Shell(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

// The engine prints its progress line on standard output; the table must stay readable.
class QuietStdOut {
public:
    QuietStdOut() {
        std::fflush(stdout);
        m_saved = ::dup(STDOUT_FILENO);
        int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
    ~QuietStdOut() {
        ::dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
    }

private:
    int m_saved;
};

// One item erased synchronously on this thread, as the worker would.
bool EngineErase(const std::string& path, int passes, std::uint64_t bytes) {
    tolvane::EraseEngine engine(passes);
    if (!engine.Ready()) {
        return false;
    }
    tolvane::EraseItemList items{{tolvane::ItemKind::Ordinary, path}};
    tolvane::ProgressSink sink;
    QuietStdOut quiet;
    engine.SetItems(&items);
    engine.SetTotal(static_cast<std::int64_t>(bytes) * std::max(passes, 1));
    engine.SetSink(&sink);
    engine.Walk();
    return engine.FailedCount() == 0 && engine.NotFoundCount() == 0;
}

bool MakeSmallFiles(const std::string& folder, const Options& options) {
    if (::mkdir(folder.c_str(), 0700) != 0) {
        return false;
    }
    char name[32];
    for (int i = 0; i < options.smallFiles; ++i) {
        std::snprintf(name, sizeof name, "/f%05d.bin", i);
        int fd = ::open((folder + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0 || ::write(fd, NoiseBlock().data(), options.smallSize) !=
                          static_cast<ssize_t>(options.smallSize)) {
            return false;
        }
        ::close(fd);
    }
    ::sync();
    return true;
}

struct Row {
    std::string task;
    std::string tool;
    double seconds;
    double amount;  // bytes or files handled, for the rate
    const char* unit;
    double shredSeconds;  // 0: no ratio
};

void PrintTable(const std::vector<Row>& rows, const Options& options) {
    std::printf("\nmedian of %d runs; rate = size x passes / time; ratio = time / shred's time\n\n",
                options.runs);
    std::printf("%-24s %-40s %9s %12s %8s\n", "task", "tool", "seconds", "rate", "vs shred");
    for (const Row& row : rows) {
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.1f %s", row.amount / row.seconds, row.unit);
        char ratio[16] = "";
        if (row.shredSeconds > 0) {
            std::snprintf(ratio, sizeof ratio, "%.2fx", row.seconds / row.shredSeconds);
        }
        std::printf("%-24s %-40s %9.3f %12s %8s\n", row.task.c_str(), row.tool.c_str(), row.seconds,
                    rate, ratio);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string flag = argv[i];
        long value = std::strtol(argv[i + 1], nullptr, 10);
        if (flag == "--large-mib") {
            options.largeMiB = static_cast<std::uint64_t>(value);
        } else if (flag == "--small-files") {
            options.smallFiles = static_cast<int>(value);
        } else if (flag == "--runs") {
            options.runs = static_cast<int>(value);
        }
    }
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tolvane-bench-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = pattern;
    std::printf("working folder: %s\n", dir.c_str());

    const std::uint64_t large = options.largeMiB << 20;
    const double mb = static_cast<double>(large) / 1e6;
    const std::string file = dir + "/large.bin";
    const std::string copy = dir + "/large-copy.bin";
    const std::string raw = dir + "/raw.bin";
    const std::string ddBlocks = std::to_string(large / 32768);
    bool ok = true;
    std::vector<Row> rows;

    for (int passes : {1, 3}) {
        std::vector<double> engine, shred, ddNew, ddInPlace;
        for (int run = 0; run < options.runs; ++run) {
            ok = MakeFile(file, large) && MakeFile(copy, large) && ok;
            engine.push_back(Seconds([&] { return EngineErase(file, passes, large); }, ok));
            shred.push_back(Seconds(
                [&] {
                    return Shell("shred -n " + std::to_string(passes) + " -u " + Quote(copy)) == 0;
                },
                ok));
            // The durable write rate of the disk, once per pass: a new file, and the same
            // amount written over an existing file in place.
            ::unlink(raw.c_str());
            ddNew.push_back(passes * Seconds(
                                         [&] {
                                             return Shell("dd if=/dev/zero of=" + Quote(raw) +
                                                          " bs=32k count=" + ddBlocks +
                                                          " conv=fdatasync status=none") == 0;
                                         },
                                         ok));
            ddInPlace.push_back(passes * Seconds(
                                             [&] {
                                                 return Shell("dd if=/dev/zero of=" + Quote(raw) +
                                                              " bs=32k count=" + ddBlocks +
                                                              " conv=notrunc,fdatasync "
                                                              "status=none") == 0;
                                             },
                                             ok));
            ::unlink(raw.c_str());
        }
        const std::string task =
            std::to_string(options.largeMiB) + " MiB, " + std::to_string(passes) + " pass";
        const double shredTime = Median(shred);
        const double amount = mb * passes;
        rows.push_back({task, "engine", Median(engine), amount, "MB/s", shredTime});
        rows.push_back({task, "shred -n " + std::to_string(passes) + " -u", shredTime, amount,
                        "MB/s", shredTime});
        rows.push_back(
            {task, "dd conv=fdatasync (x passes)", Median(ddNew), amount, "MB/s", shredTime});
        rows.push_back({task, "dd conv=notrunc,fdatasync (x passes)", Median(ddInPlace), amount,
                        "MB/s", shredTime});
    }

    {
        std::vector<double> engine, shred;
        const std::string engineDir = dir + "/small-engine";
        const std::string shredDir = dir + "/small-shred";
        for (int run = 0; run < options.runs; ++run) {
            ok = MakeSmallFiles(engineDir, options) && MakeSmallFiles(shredDir, options) && ok;
            engine.push_back(Seconds(
                [&] { return EngineErase(engineDir, 1, options.smallSize * options.smallFiles); },
                ok));
            shred.push_back(Seconds(
                [&] {
                    return Shell("find " + Quote(shredDir) + " -type f -exec shred -n 1 -u {} +") ==
                           0;
                },
                ok));
            std::error_code ignored;
            std::filesystem::remove_all(engineDir, ignored);
            std::filesystem::remove_all(shredDir, ignored);
        }
        const std::string task = std::to_string(options.smallFiles) + " x " +
                                 std::to_string(options.smallSize) + " B, 1 pass";
        const double shredTime = Median(shred);
        rows.push_back({task, "engine (folder as one item)", Median(engine),
                        static_cast<double>(options.smallFiles), "files/s", shredTime});
        rows.push_back({task, "find -exec shred -n 1 -u {} +", shredTime,
                        static_cast<double>(options.smallFiles), "files/s", shredTime});
    }

    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    PrintTable(rows, options);
    if (!ok) {
        std::printf("\nSOME RUNS FAILED: the figures above are not valid\n");
        return 1;
    }
    return 0;
}
