// Erase speed on the real disk, beside GNU shred and the raw durable write rate measured in
// the same run and the same folder: one large file at 1 and 3 passes, and many small files.
// Everything happens in a fresh folder under $TMPDIR (or /tmp) that holds only the files this
// program makes; it is removed at the end.
//
// With --image-mib N (root only) everything runs inside a fresh ext4 image of N MiB that is
// loop-mounted in the working folder, and the small-file part erases trees of many files
// (100,000 x 100 B and 20,000 x 8 KiB unless --trees says otherwise), beside shred -u and
// rm -rf on identical copies.
//
// Usage: EraseBench [--large-mib N] [--small-files N] [--runs N] [--image-mib N]
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
    std::uint64_t largeMiB = 256;
    int smallFiles = 2000;
    std::uint64_t smallSize = 1024;
    int runs = 3;
    std::uint64_t imageMiB = 0;  // 0: the working folder itself
    std::vector<Tree> trees = {{100000, 100}, {20000, 8192}};
    bool shredTrees = true;
};

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

void PrintTable(const std::vector<Row>& rows, const Options& options) {
    std::printf("\nmedian of %d runs; rate = size x passes / time; ratio = time / shred's time\n\n",
                options.runs);
    std::printf("%-24s %-40s %9s %16s %8s %8s\n", "task", "tool", "seconds", "rate", "vs shred",
                "vs rm");
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
        std::printf("%-24s %-40s %9.3f %16s %8s %8s\n", row.task.c_str(), row.tool.c_str(),
                    row.seconds, rate, ratio, rmRatio);
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
            options.largeMiB = static_cast<std::uint64_t>(value);
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
    PrintTable(rows, options);
    if (!ok) {
        std::printf("\nSOME RUNS FAILED: the figures above are not valid\n");
        return 1;
    }
    return 0;
}
