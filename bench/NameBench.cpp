// What making erased names unreadable costs beside the erase itself, and what it leaves: the
// four cases of many files in a folder, half of a small folder, a few of a large one and a
// small folder, erased one per run on fresh loop-mounted images (ext4 of 1 GiB and 64 GiB,
// sparse, and xfs of 1 GiB). Per run it prints the whole erase time, the part of it spent on
// the names, and the names a raw scan of the unmounted image finds inside and outside the
// journal (or log). Root only; everything lives in a fresh folder under $TMPDIR (or /tmp)
// that is removed at the end.
//
// With --user 1 the erase runs as a user without privileges (uid 65534).
//
// Usage: NameBench [--many N] [--big-gib N] [--skip-big 1] [--user 1]
#include <grp.h>
#include <stdlib.h>
#include <sys/random.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "engine/EraseEngine.h"
#include "engine/ItemWalker.h"
#include "platform/ProcessLimits.h"

namespace {

using Clock = std::chrono::steady_clock;

int Run(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        if (output != nullptr) {
            output->append(buffer, n);
        }
    }
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Tag() {
    unsigned char bytes[8] = {};
    if (::getrandom(bytes, sizeof bytes, 0) != sizeof bytes) {
        std::perror("getrandom");
    }
    std::string tag = "zq";
    for (unsigned char b : bytes) {
        tag += static_cast<char>('a' + b % 26);
    }
    return tag;
}

std::uint64_t Field(const std::string& text, const std::string& name) {
    const std::size_t at = text.find(name);
    if (at == std::string::npos) {
        return 0;
    }
    const std::size_t digits = text.find_first_of("0123456789", at + name.size());
    return digits == std::string::npos ? 0 : std::stoull(text.substr(digits));
}

// The journal's (or log's) byte ranges in an unmounted image, from the file system's metadata.
std::vector<std::pair<std::uint64_t, std::uint64_t>> JournalRanges(const std::string& image,
                                                                   const std::string& fs) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    if (fs == "xfs") {
        std::string sb;
        Run("xfs_db -r -c 'sb 0' -c 'p logstart logblocks agblocks agblklog blocksize' '" + image +
                "'",
            &sb);
        const std::uint64_t start = Field(sb, "logstart"), shift = Field(sb, "agblklog");
        const std::uint64_t block =
            (start >> shift) * Field(sb, "agblocks") + (start & ((1ull << shift) - 1));
        const std::uint64_t size = Field(sb, "blocksize");
        ranges.push_back({block * size, (block + Field(sb, "logblocks")) * size});
        return ranges;
    }
    std::string header, blocks;
    Run("dumpe2fs -h '" + image + "'", &header);
    Run("debugfs -R 'blocks <8>' '" + image + "'", &blocks);
    const std::uint64_t size = Field(header, "Block size:");
    std::istringstream in(blocks);
    for (std::uint64_t b; in >> b;) {
        if (!ranges.empty() && ranges.back().second == b * size) {
            ranges.back().second += size;
        } else {
            ranges.push_back({b * size, (b + 1) * size});
        }
    }
    return ranges;
}

// Counts the tag inside and outside the journal, reading the image piece by piece (a 64 GiB
// sparse image is mostly holes, which read as zeros).
void CountTag(const std::string& image, const std::string& fs, const std::string& tag,
              std::uint64_t& inside, std::uint64_t& outside) {
    const auto ranges = JournalRanges(image, fs);
    std::ifstream in(image, std::ios::binary);
    const std::size_t chunk = 64 << 20;
    std::string buffer(chunk + tag.size(), '\0');
    std::uint64_t base = 0;
    std::size_t carried = 0;
    inside = outside = 0;
    while (in) {
        in.read(buffer.data() + carried, static_cast<std::streamsize>(chunk));
        const std::size_t got = carried + static_cast<std::size_t>(in.gcount());
        for (std::size_t at = buffer.find(tag); at != std::string::npos && at + tag.size() <= got;
             at = buffer.find(tag, at + 1)) {
            const std::uint64_t offset = base + at;
            bool journal = false;
            for (const auto& r : ranges) {
                journal = journal || (offset >= r.first && offset < r.second);
            }
            ++(journal ? inside : outside);
        }
        carried = std::min(got, tag.size() - 1);
        buffer.replace(0, carried, buffer, got - carried, carried);
        base += got - carried;
    }
}

struct Case {
    const char* label;
    int files;
    int erased;  // 0: the whole folder, as a folder item
};

// The erase of `items`, timed: whole seconds, seconds spent on the names, the first note.
struct Timing {
    double seconds = 0;
    double names = 0;
    char note[512] = {};
};

Timing Erase(const tolvane::EraseItemList& items) {
    Timing timing;
    tolvane::EraseEngine engine(1);  // no sink: nothing is printed while it runs
    engine.SetItems(&items);
    const auto start = Clock::now();
    engine.Walk();
    timing.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    timing.names = engine.NameSeconds();
    if (!engine.Notes().empty()) {
        std::snprintf(timing.note, sizeof timing.note, "%s", engine.Notes().front().c_str());
    }
    return timing;
}

// The same as a user without privileges (uid 65534), in a child: ext4's journal is then
// written over instead of zeroed by its own command.
Timing EraseAsUser(const tolvane::EraseItemList& items, const std::string& state) {
    Timing timing;
    int fds[2];
    if (::pipe(fds) != 0) {
        return timing;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("XDG_STATE_HOME", state.c_str(), 1);
        if (::setgroups(0, nullptr) == 0 && ::setresgid(65534, 65534, 65534) == 0 &&
            ::setresuid(65534, 65534, 65534) == 0) {
            timing = Erase(items);
        }
        (void)!::write(fds[1], &timing, sizeof timing);
        ::_exit(0);
    }
    ::close(fds[1]);
    (void)!::read(fds[0], &timing, sizeof timing);
    ::close(fds[0]);
    ::waitpid(child, nullptr, 0);
    return timing;
}

void RunCase(const std::string& work, const std::string& fs, std::uint64_t mib, const Case& c,
             bool asUser) {
    const std::string image = work + "/image", mnt = work + "/mnt";
    std::filesystem::create_directories(mnt);
    Run("truncate -s 0 '" + image + "'");
    Run("truncate -s " + std::to_string(mib) + "M '" + image + "'");
    if (Run((fs == "xfs" ? "mkfs.xfs -q -f '" : "mkfs.ext4 -q -F '") + image + "'") != 0) {
        std::printf("%s: mkfs failed\n", fs.c_str());
    }
    if (Run("mount -o loop '" + image + "' '" + mnt + "'") != 0) {
        std::printf("%s %llu MiB: cannot make or mount the image\n", fs.c_str(),
                    static_cast<unsigned long long>(mib));
        return;
    }
    const std::string tag = Tag(), kept = Tag();
    const std::string folder = mnt + "/" + (c.erased == 0 ? tag + "-folder" : std::string("stays"));
    std::filesystem::create_directories(folder);
    tolvane::EraseItemList items;
    for (int i = 0; i < c.files; ++i) {
        const bool erased = c.erased == 0 || i < c.erased;
        const std::string path =
            folder + "/" + (erased ? tag : kept) + "-report-" + std::to_string(100000 + i) + ".ods";
        std::ofstream(path) << "x";
        if (c.erased != 0 && erased) {
            items.push_back({tolvane::ItemKind::Ordinary, path});
        }
    }
    if (c.erased == 0) {
        items.push_back({tolvane::ItemKind::Ordinary, folder});
    }
    if (asUser) {
        Run("chmod -R a+rwX '" + mnt + "'");
    }
    ::sync();
    const std::string state = work + "/state";
    std::filesystem::create_directories(state);
    Run("chmod 0777 '" + work + "' '" + state + "'");
    const Timing timing = asUser ? EraseAsUser(items, state) : Erase(items);
    Run("umount '" + mnt + "'");
    std::uint64_t inside = 0, outside = 0;
    CountTag(image, fs, tag, inside, outside);
    std::printf(
        "%-5s %6llu MiB %-4s %-38s erase %7.3f s  names %6.3f s  names left: %llu "
        "outside, %llu in the journal%s%s\n",
        fs.c_str(), static_cast<unsigned long long>(mib), asUser ? "user" : "root", c.label,
        timing.seconds, timing.names, static_cast<unsigned long long>(outside),
        static_cast<unsigned long long>(inside), timing.note[0] ? "; note: " : "", timing.note);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    int many = 5000;
    std::uint64_t bigGiB = 64;
    bool skipBig = false;
    bool asUser = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--many") {
            many = std::atoi(argv[i + 1]);
        } else if (option == "--big-gib") {
            bigGiB = std::strtoull(argv[i + 1], nullptr, 10);
        } else if (option == "--user") {
            asUser = std::atoi(argv[i + 1]) != 0;
        } else if (option == "--skip-big") {
            skipBig = std::atoi(argv[i + 1]) != 0;
        }
    }
    tolvane::RaiseOpenFileLimit();  // as the program does
    if (::geteuid() != 0) {
        std::printf("NameBench mounts images: run it as root\n");
        return 1;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string work = std::string(tmp != nullptr ? tmp : "/tmp") + "/namebench-XXXXXX";
    if (::mkdtemp(work.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string manyLabel = "folder of " + std::to_string(many) + " files (folder item)";
    const Case cases[] = {{manyLabel.c_str(), many, 0},
                          {"50 of 100 files, folder stays", 100, 50},
                          {"50 of 2,050 files, folder stays", 2050, 50},
                          {"5 files (folder item)", 5, 0}};
    struct Volume {
        const char* fs;
        std::uint64_t mib;
    };
    std::vector<Volume> volumes = {{"ext4", 1024}, {"xfs", 1024}};
    if (!skipBig) {
        volumes.push_back({"ext4", bigGiB * 1024});
    }
    for (const Volume& volume : volumes) {
        for (const Case& c : cases) {
            RunCase(work, volume.fs, volume.mib, c, asUser);
        }
    }
    std::filesystem::remove_all(work);
    return 0;
}
