#include "panes/SizePass.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "FaultyFileSystem.h"
#include "TempDir.h"
#include "Waiting.h"
#include "engine/FolderSizer.h"
#include "panes/WorkerThread.h"

namespace tolvane {
namespace {

using test::Eventually;
using test::MakeDirs;
using test::TempDir;
using test::WriteFileOfSize;

FolderSizer::Result CountOf(const std::string& path) {
    FolderSizer sizer;
    return sizer.Count(path, [] { return false; });
}

// What a row stands for, by what its path names. A name's '*' and '?' are plain characters.
// A 5 GiB file (sparse: its length is what counts) keeps all its bits.
TEST(FolderSizerTest, CountsWhatTheRunWouldOverwrite) {
    TempDir dir;
    ASSERT_TRUE(WriteFileOfSize(dir / "f", 1234));
    ASSERT_TRUE(MakeDirs(dir / "d"));
    ASSERT_TRUE(WriteFileOfSize(dir / "d/huge", 0));
    ASSERT_EQ(::truncate((dir / "d/huge").c_str(), 5LL << 30), 0);
    ASSERT_TRUE(MakeDirs(dir / "tree/a/b/c"));
    ASSERT_TRUE(MakeDirs(dir / "empty"));
    ASSERT_TRUE(WriteFileOfSize(dir / "tree/1", 100));
    ASSERT_TRUE(WriteFileOfSize(dir / "tree/a/2", 20));
    ASSERT_TRUE(WriteFileOfSize(dir / "tree/a/b/c/3", 3));
    // A large folder outside, reached through links inside the tree: never followed.
    ASSERT_TRUE(MakeDirs(dir / "outside"));
    ASSERT_TRUE(WriteFileOfSize(dir / "outside/big", 1 << 20));
    ASSERT_EQ(::symlink((dir / "outside").c_str(), (dir / "tree/a/link").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "outside/big").c_str(), (dir / "tree/filelink").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "tree/fifo").c_str(), 0600), 0);
    // "x*" and "y?" exist; "q*" names nothing though "qq" matches it as a pattern.
    ASSERT_TRUE(WriteFileOfSize(dir / "x*", 7));
    ASSERT_TRUE(WriteFileOfSize(dir / "xx", 5000));
    ASSERT_TRUE(WriteFileOfSize(dir / "y?", 9));
    ASSERT_TRUE(WriteFileOfSize(dir / "qq", 40));

    const struct {
        const char* path;
        std::uint64_t bytes;
    } cases[] = {
        {"f", 1234}, {"tree", 123}, {"tree/a/link", 0}, {"empty", 0},     {"missing", 0},
        {"x*", 7},   {"y?", 9},     {"q*", 0},          {"tree/fifo", 0}, {"d", 5ULL << 30},
    };
    for (const auto& entry : cases) {
        FolderSizer::Result result = CountOf(dir / entry.path);
        EXPECT_EQ(result.bytes, entry.bytes) << entry.path;
        EXPECT_FALSE(result.stopped) << entry.path;
    }
    // A folder that is no volume has no free space to show. (A volume mounted inside a folder
    // is no part of it, and a drive row shows its volume's free space: EraseListTest's.)
    EXPECT_EQ(FolderSizer().Measure("", dir.Path() + ":", [] { return false; }).bytes, 0u);
}

// A folder whose listing fails has no size to show: the count says it cannot be read rather
// than giving a total of nothing. A folder below it that fails leaves only its own part out;
// a path that names nothing is gone, which is no failure.
TEST(FolderSizerTest, AFolderThatCannotBeListedIsUnreadableNotEmpty) {
    TempDir dir;
    ASSERT_TRUE(MakeDirs(dir / "locked/inner"));
    ASSERT_TRUE(WriteFileOfSize(dir / "locked/own", 50));
    ASSERT_TRUE(WriteFileOfSize(dir / "locked/inner/data", 100));
    ASSERT_TRUE(MakeDirs(dir / "outer/locked"));
    ASSERT_TRUE(WriteFileOfSize(dir / "outer/locked/hidden", 1000));
    ASSERT_TRUE(WriteFileOfSize(dir / "outer/seen", 7));
    test::FaultyFileSystem fileSystem;
    fileSystem.failListName = "locked";
    FolderSizer sizer;
    sizer.SetFileSystem(fileSystem);
    const auto count = [&](const std::string& path) {
        return sizer.Count(path, [] { return false; });
    };

    const FolderSizer::Result locked = count(dir / "locked");
    EXPECT_TRUE(locked.unreadable);
    EXPECT_EQ(locked.bytes, 0u);
    const FolderSizer::Result outer = count(dir / "outer");
    EXPECT_FALSE(outer.unreadable);
    EXPECT_EQ(outer.bytes, 7u);
    for (const char* readable : {"outer/seen", "missing", "outer/locked/hidden"}) {
        EXPECT_FALSE(count(dir / readable).unreadable) << readable;
    }
}

// The rows the pass works on, kept the way the erase list keeps them: by name and folder,
// edited by the test's thread while the worker measures (a mutex stands in for the window's
// thread). Edits tell the pass and wake the worker, as the list's edits do.
class TestRows : public SizeRowAccess {
public:
    struct Row {
        std::string name;
        std::string folder;
        bool sized = false;
        std::uint64_t bytes = 0;
    };

    TestRows(SizePass& pass, WorkerThread& worker) : m_pass(pass), m_worker(worker) {}

    void Add(const std::string& path) {
        {
            std::lock_guard lock(m_mutex);
            m_pass.Edited();
            const std::size_t slash = path.rfind('/');
            m_rows.push_back({path.substr(slash + 1), path.substr(0, slash + 1)});
        }
        m_worker.Wake();
    }
    // The size of the row with this path; nothing while it has none.
    std::optional<std::uint64_t> SizeOf(const std::string& path) {
        std::lock_guard lock(m_mutex);
        auto row = Find(path);
        return row != m_rows.end() && row->sized ? std::optional(row->bytes) : std::nullopt;
    }
    // Called when a pass finds nothing left: what an edit landing just as the pass ends
    // would do.
    std::function<void()> onNothingLeft;

    std::optional<SizeJob> TakeUnsizedRow(std::size_t from) override {
        std::function<void()> edit;
        {
            std::lock_guard lock(m_mutex);
            for (std::size_t index = from; index < m_rows.size(); ++index) {
                if (!m_rows[index].sized) {
                    return SizeJob{m_rows[index].name, m_rows[index].folder, index,
                                   m_pass.BeginCount()};
                }
            }
            std::swap(edit, onNothingLeft);
        }
        if (edit) {
            edit();
        }
        return std::nullopt;
    }
    void StoreSize(const SizeJob& job, const FolderSizer::Result& size) override {
        std::lock_guard lock(m_mutex);
        auto row = Find(job.folder + job.name);
        if (row != m_rows.end() && !row->sized) {
            row->sized = true;
            row->bytes = size.bytes;
        }
    }

private:
    std::vector<Row>::iterator Find(const std::string& path) {
        return std::find_if(m_rows.begin(), m_rows.end(),
                            [&](const Row& row) { return row.folder + row.name == path; });
    }

    SizePass& m_pass;
    WorkerThread& m_worker;
    std::mutex m_mutex;
    std::vector<Row> m_rows;
};

// The worker, its pass and the rows. (How counts follow rows that move or go while they run is
// EraseListTest's, with the real list.)
struct PassFixture {
    SizePass pass;
    FolderSizer sizer;
    WorkerThread worker;
    TestRows rows{pass, worker};

    PassFixture() {
        EXPECT_TRUE(worker.Start(
            [this](WorkerThread& self, int) {
                pass.Run(rows, sizer, [&self] { return self.StopRequested(); });
            },
            IoPriority::Normal));
    }
    ~PassFixture() {
        worker.RequestStop();
        EXPECT_TRUE(Eventually([this] { return worker.Ended(); }));
        worker.Join();
    }
};

// An edit that lands just as a pass finds nothing left is sized (clearing the wake after the
// pass once lost it): the worker consumes its wake before the pass, so the edit's wake runs
// another pass.
TEST(SizePassTest, AnEditAsAPassEndsIsNotLost) {
    TempDir dir;
    ASSERT_TRUE(WriteFileOfSize(dir / "first", 3));
    ASSERT_TRUE(WriteFileOfSize(dir / "late", 4));
    PassFixture fixture;
    fixture.rows.onNothingLeft = [&] { fixture.rows.Add(dir / "late"); };
    fixture.rows.Add(dir / "first");
    ASSERT_TRUE(Eventually([&] { return fixture.rows.SizeOf(dir / "late").has_value(); }));
    EXPECT_EQ(fixture.rows.SizeOf(dir / "late"), 4u);
    EXPECT_EQ(fixture.rows.SizeOf(dir / "first"), 3u);
}

}  // namespace
}  // namespace tolvane
