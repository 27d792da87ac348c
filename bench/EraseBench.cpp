// Erase speed on the real disk, beside GNU shred and the raw durable write rate measured in
// the same run and the same folder: large files at 1 and 3 passes, and many small files.
// Every tool of a row group runs once per round, one after the other, so that whatever else
// loads the machine meets them all alike; the table gives the median and the spread (the
// fastest and slowest run) of the rounds, and the machine's load before and after.
// Everything happens in a fresh folder under $TMPDIR (or /tmp) that holds only the files this
// program makes; it is removed at the end.
//
// With --image-mib N (root only) everything runs inside a fresh ext4 image of N MiB that is
// loop-mounted in the working folder, and the small-file part erases trees of many files
// (100,000 x 100 B and 20,000 x 8 KiB unless --trees says otherwise), beside shred -u and
// rm -rf on identical copies.
//
// A large file of N MiB needs about 2 N MiB of room (the file and shred's copy).
//
// Usage: EraseBench [--large-mib N,...] [--small-files N] [--runs N] [--image-mib N]
//                   [--trees COUNTxSIZE,...] [--skip-shred-trees 1]
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
#include "platform/ProcessLimits.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Tree {
    int files;
    std::uint64_t size;
};

struct Options {
    std::vector<std::uint64_t> largeMiB = {256};
    int smallFiles = 2000;
    std::uint64_t smallSize = 1024;
    int runs = 3;
    std::uint64_t imageMiB = 0;  // 0: the working folder itself
    std::vector<Tree> trees = {{100000, 100}, {20000, 8192}};
    bool shredTrees = true;
};

std::vector<std::uint64_t> ParseSizes(const std::string& text) {
    std::vector<std::uint64_t> sizes;
    const char* p = text.c_str();
    while (*p != '\0') {
        char* end = nullptr;
        sizes.push_back(std::strtoull(p, &end, 10));
        p = *end == ',' ? end + 1 : end + std::strlen(end);
    }
    return sizes;
}

std::vector<Tree> ParseTrees(const std::string& text) {
    std::vector<Tree> trees;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(',', start);
        std::string one = text.substr(start, end == std::string::npos ? end : end - start);
        std::size_t x = one.find('x');
        if (x != std::string::npos) {
            trees.push_back({std::atoi(one.substr(0, x).c_str()),
                             std::strtoull(one.substr(x + 1).c_str(), nullptr, 10)});
        }
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return trees;
}

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

// The median of a tool's rounds and their spread.
struct Timing {
    double median = 0;
    double fastest = 0;
    double slowest = 0;
};

Timing Summarize(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.front(), values.back()};
}

double Median(const std::vector<double>& values) {
    return Summarize(values).median;
}

std::string LoadAverage() {
    char text[128] = "";
    if (FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (std::fgets(text, sizeof text, file) == nullptr) {
            text[0] = '\0';
        }
        std::fclose(file);
    }
    std::string load = text;
    while (!load.empty() && load.back() == '\n') {
        load.pop_back();
    }
    return load;
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
    engine.SetTotal(static_cast<std::int64_t>(bytes) * std::max(passes, 1), false);
    engine.SetSink(&sink);
    engine.Walk();
    return engine.FailedCount() == 0 && engine.NotFoundCount() == 0;
}

bool MakeSmallFiles(const std::string& folder, int files, std::uint64_t size) {
    if (::mkdir(folder.c_str(), 0700) != 0) {
        return false;
    }
    char name[32];
    for (int i = 0; i < files; ++i) {
        std::snprintf(name, sizeof name, "/f%06d.bin", i);
        int fd = ::open((folder + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        bool written =
            fd >= 0 && ::write(fd, NoiseBlock().data(), size) == static_cast<ssize_t>(size);
        if (fd >= 0) {
            ::close(fd);
        }
        if (!written) {
            return false;
        }
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
    double shredSeconds;   // 0: no ratio
    double rmSeconds = 0;  // 0: no ratio
    Timing spread{};       // all zero: one run only
    double ddSeconds = 0;  // dd in place; 0: no ratio
};

// Many small files in one folder, erased by the engine, by shred -u and by rm -rf, each on a
// copy of its own; one run per pass count.
void TimeTrees(const std::string& dir, const Options& options, std::vector<Row>& rows, bool& ok) {
    for (const Tree& tree : options.trees) {
        for (int passes : {1, 3}) {
            const std::string task = std::to_string(tree.files) + " x " +
                                     std::to_string(tree.size) + " B, " + std::to_string(passes) +
                                     " pass";
            const std::string engineDir = dir + "/tree-engine";
            const std::string shredDir = dir + "/tree-shred";
            const std::string rmDir = dir + "/tree-rm";
            ok = MakeSmallFiles(engineDir, tree.files, tree.size) &&
                 MakeSmallFiles(rmDir, tree.files, tree.size) && ok;
            const double rm = Seconds([&] { return Shell("rm -rf " + Quote(rmDir)) == 0; }, ok);
            const double engine =
                Seconds([&] { return EngineErase(engineDir, passes, tree.size * tree.files); }, ok);
            rows.push_back({task, "engine (folder as one item)", engine,
                            static_cast<double>(tree.files), "files/s", 0, rm});
            if (options.shredTrees) {
                ok = MakeSmallFiles(shredDir, tree.files, tree.size) && ok;
                const double shred = Seconds(
                    [&] {
                        return Shell("find " + Quote(shredDir) + " -type f -exec shred -n " +
                                     std::to_string(passes) + " -u {} +") == 0;
                    },
                    ok);
                rows.push_back({task, "find -exec shred -u {} +", shred,
                                static_cast<double>(tree.files), "files/s", 0, rm});
            }
            rows.push_back({task, "rm -rf", rm, static_cast<double>(tree.files), "files/s", 0, rm});
            std::error_code ignored;
            std::filesystem::remove_all(engineDir, ignored);
            std::filesystem::remove_all(shredDir, ignored);
        }
    }
}

// One large file of `mib` MiB erased at 1 and 3 passes by the engine and by shred -u, beside
// dd writing the same amount durably, to a new file and over an existing one in place (in
// 1 MiB writes, its fastest), once per pass, and that in-place dd with the file's removal.
void TimeLargeFile(const std::string& dir, std::uint64_t mib, int runs, std::vector<Row>& rows,
                   bool& ok) {
    const std::uint64_t large = mib << 20;
    const double mb = static_cast<double>(large) / 1e6;
    const std::string file = dir + "/large.bin";
    const std::string copy = dir + "/large-copy.bin";
    const std::string raw = dir + "/raw.bin";
    const std::string dd = "dd if=/dev/zero of=" + Quote(raw) +
                           " bs=1M count=" + std::to_string(mib) + " status=none conv=fdatasync";
    for (int passes : {1, 3}) {
        std::vector<double> engine, shred, ddNew, ddInPlace, ddInPlaceRemoved;
        for (int run = 0; run < runs; ++run) {
            ok = MakeFile(file, large) && ok;
            engine.push_back(Seconds([&] { return EngineErase(file, passes, large); }, ok));
            ok = MakeFile(copy, large) && ok;
            shred.push_back(Seconds(
                [&] {
                    return Shell("shred -n " + std::to_string(passes) + " -u " + Quote(copy)) == 0;
                },
                ok));
            ::unlink(raw.c_str());
            ddNew.push_back(passes * Seconds([&] { return Shell(dd) == 0; }, ok));
            ddInPlace.push_back(passes * Seconds([&] { return Shell(dd + ",notrunc") == 0; }, ok));
            // Removing the file costs time too (much of it where the volume discards freed
            // blocks at once); the engine and shred -u pay it, dd in place does not.
            const double removal = Seconds([&] { return ::unlink(raw.c_str()) == 0; }, ok);
            ddInPlaceRemoved.push_back(ddInPlace.back() + removal);
        }
        const std::string task = std::to_string(mib) + " MiB, " + std::to_string(passes) + " pass";
        const double shredTime = Median(shred);
        const double ddTime = Median(ddInPlace);
        const double amount = mb * passes;
        auto add = [&](const std::string& tool, const std::vector<double>& times) {
            const Timing t = Summarize(times);
            rows.push_back({task, tool, t.median, amount, "MB/s", shredTime, 0, t, ddTime});
        };
        add("engine", engine);
        add("shred -n " + std::to_string(passes) + " -u", shred);
        add("dd conv=fdatasync (x passes)", ddNew);
        add("dd conv=notrunc,fdatasync (x passes)", ddInPlace);
        add("the same dd, then rm", ddInPlaceRemoved);
    }
}

void PrintTable(const std::vector<Row>& rows, const Options& options) {
    std::printf(
        "\nmedian of %d runs (fastest-slowest); rate = size x passes / time; vs x = time / x's "
        "time\n\n",
        options.runs);
    std::printf("%-24s %-40s %9s %15s %13s %8s %8s %8s\n", "task", "tool", "seconds", "spread",
                "rate", "vs dd", "vs shred", "vs rm");
    for (const Row& row : rows) {
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.1f %s", row.amount / row.seconds, row.unit);
        char ratio[16] = "";
        if (row.shredSeconds > 0) {
            std::snprintf(ratio, sizeof ratio, "%.2fx", row.seconds / row.shredSeconds);
        }
        char rmRatio[16] = "";
        if (row.rmSeconds > 0) {
            std::snprintf(rmRatio, sizeof rmRatio, "%.1fx", row.seconds / row.rmSeconds);
        }
        char ddRatio[16] = "";
        if (row.ddSeconds > 0) {
            std::snprintf(ddRatio, sizeof ddRatio, "%.2fx", row.seconds / row.ddSeconds);
        }
        char spread[32] = "";
        if (row.spread.slowest > 0) {
            std::snprintf(spread, sizeof spread, "%.3f-%.3f", row.spread.fastest,
                          row.spread.slowest);
        }
        std::printf("%-24s %-40s %9.3f %15s %13s %8s %8s %8s\n", row.task.c_str(), row.tool.c_str(),
                    row.seconds, spread, rate, ddRatio, ratio, rmRatio);
    }
}

}  // namespace

int main(int argc, char** argv) {
    tolvane::RaiseOpenFileLimit();  // as the program does: batches of small files stay open
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string flag = argv[i];
        long value = std::strtol(argv[i + 1], nullptr, 10);
        if (flag == "--large-mib") {
            options.largeMiB = ParseSizes(argv[i + 1]);
        } else if (flag == "--small-files") {
            options.smallFiles = static_cast<int>(value);
        } else if (flag == "--runs") {
            options.runs = static_cast<int>(value);
        } else if (flag == "--image-mib") {
            options.imageMiB = static_cast<std::uint64_t>(value);
        } else if (flag == "--trees") {
            options.trees = ParseTrees(argv[i + 1]);
        } else if (flag == "--skip-shred-trees") {
            options.shredTrees = value == 0;
        }
    }
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tolvane-bench-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    std::string dir = pattern;
    const std::string top = dir;
    if (options.imageMiB > 0) {
        // A fresh file system of its own: every tool meets the same empty ext4.
        const std::string image = top + "/image.ext4";
        dir = top + "/mnt";
        if (::mkdir(dir.c_str(), 0700) != 0 ||
            Shell("truncate -s " + std::to_string(options.imageMiB) + "M " + Quote(image)) != 0 ||
            Shell("mkfs.ext4 -q -F -E nodiscard " + Quote(image)) != 0 ||
            Shell("mount -o loop " + Quote(image) + " " + Quote(dir)) != 0) {
            std::fprintf(stderr,
                         "cannot make and mount an ext4 image here (root and loop "
                         "devices are needed)\n");
            std::error_code ignored;
            std::filesystem::remove_all(top, ignored);
            return 1;
        }
    }
    std::printf("working folder: %s\nload average before: %s\n", dir.c_str(),
                LoadAverage().c_str());

    bool ok = true;
    std::vector<Row> rows;
    for (std::uint64_t mib : options.largeMiB) {
        TimeLargeFile(dir, mib, options.runs, rows, ok);
    }

    if (options.imageMiB > 0) {
        TimeTrees(dir, options, rows, ok);
    } else {
        std::vector<double> engine, shred;
        const std::string engineDir = dir + "/small-engine";
        const std::string shredDir = dir + "/small-shred";
        for (int run = 0; run < options.runs; ++run) {
            ok = MakeSmallFiles(engineDir, options.smallFiles, options.smallSize) &&
                 MakeSmallFiles(shredDir, options.smallFiles, options.smallSize) && ok;
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
    if (options.imageMiB > 0) {
        (void)Shell("umount " + Quote(dir));
    }
    std::filesystem::remove_all(top, ignored);
    std::printf("load average after: %s\n", LoadAverage().c_str());
    PrintTable(rows, options);
    if (!ok) {
        std::printf("\nSOME RUNS FAILED: the figures above are not valid\n");
        return 1;
    }
    return 0;
}
