// The progress line, the report lines, the window messages and sizes, byte for byte.
#include <gtest/gtest.h>

#include "EngineTestHelpers.h"
#include "TempDir.h"
#include "engine/FormatSize.h"
#include "engine/ProgressSink.h"
#include "engine/SizeCounter.h"

namespace tolvane::test {
namespace {

using Messages = std::vector<RecordingTarget::Message>;

RecordingTarget::Message Sent(std::uintptr_t code, std::intptr_t value, std::string text = {}) {
    return {WM_ERASE_NOTIFY, code, value, std::move(text)};
}

// Runs body with standard output captured and returns what was written.
template <typename Body>
std::string Captured(Body body) {
    testing::internal::CaptureStdout();
    body();
    return testing::internal::GetCapturedStdout();
}

TEST(FormatSize, RoundsToTheNearestUnit) {
    constexpr std::int64_t kKb = 1024;
    constexpr std::int64_t kMb = kKb * kKb;
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "0 bytes"},
        {9999, "9999 bytes"},
        {10000, "10 Kb"},
        {10 * kKb + 512, "10 Kb"},  // exactly half rounds down
        {10 * kKb + 513, "11 Kb"},
        {9999 * kKb + 513, "10 Mb"},
        {10000 * kMb, "10 Gb"},
        {20000 * kMb * kMb, "20000 Tb"},  // Tb is the last unit, however large the number
        {-5, "-5 bytes"},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(FormatSize(bytes), text) << bytes;
    }
}

// Written and sent on the first call and on every change; above the total on every call.
TEST(ProgressSink, ReportsOnlyChangesButAboveTheTotalEveryCall) {
    RecordingTarget window;
    ProgressSink sink(&window);
    const std::string out = Captured([&] {
        sink.Progress(40, 0);  // nothing to do is done: 1000
        sink.Progress(0, 3000);
        sink.Progress(1, 3000);   // still 0 per mille: nothing
        sink.Progress(40, 3000);  // 13
        sink.Progress(1, 2);      // 500
        sink.Progress(3000, 3000);
        sink.Progress(3000, 3000);  // unchanged: nothing
        sink.Progress(3001, 3000);  // 1000 per mille, as last reported: nothing
        sink.Progress(3100, 3000);  // 1033, capped: 1000 again
        sink.Progress(3100, 3000);  // compared before the cap, so again
    });
    EXPECT_EQ(out,
              "\rProcessed 100.0%\rProcessed   0.0%\rProcessed   1.3%\rProcessed  50.0%"
              "\rProcessed 100.0%\rProcessed 100.0%\rProcessed 100.0%");
    EXPECT_EQ(window.Messages(),
              (Messages{Sent(ERN_PROGRESS, 1000), Sent(ERN_PROGRESS, 0), Sent(ERN_PROGRESS, 13),
                        Sent(ERN_PROGRESS, 500), Sent(ERN_PROGRESS, 1000), Sent(ERN_PROGRESS, 1000),
                        Sent(ERN_PROGRESS, 1000)}));
    EXPECT_EQ(sink.Last(), 1000);
}

// Progress and report lines are written with or without a window; only failures are sent to
// one, and the count's running figure is written only with a window.
TEST(ProgressSink, ReportLinesAreWrittenAndOnlyFailuresSent) {
    for (const bool withWindow : {false, true}) {
        SCOPED_TRACE(withWindow);
        RecordingTarget window;
        ProgressSink sink(withWindow ? &window : nullptr);
        EXPECT_EQ(Captured([&] {
                      if (!withWindow) {
                          sink.Progress(40, 3000);
                          sink.ItemDone();
                          sink.Finished();
                          sink.CountProgress(1000);
                      }
                      sink.ReportItem("/gone/file.txt", kReportNotFound);
                      sink.ReportItem("/busy/file.txt", kReportFailed);
                  }),
                  (withWindow ? "" : "\rProcessed   1.3%") + kBlank +
                      "/gone/file.txt - file not found\n" + kBlank + "/busy/file.txt - failed\n");
        EXPECT_EQ(window.Messages(),
                  withWindow ? Messages{Sent(ERN_FAILED, 0, "/busy/file.txt")} : Messages{});
    }
}

// The count writes a line at every thousand entries it has found, and tells the window the
// running count every fifty.
TEST(ProgressSink, CountWritesAtEveryThousandAndSendsTheRunningCount) {
    TempDir temp;
    ASSERT_TRUE(MakeDirs(temp / "f"));
    for (int k = 0; k < 1000; ++k) {  // with the folder: 1001 entries
        ASSERT_TRUE(WriteFile(temp / ("f/" + std::to_string(k)), "12"));
    }
    RecordingTarget window;
    ProgressSink sink(&window);
    EraseItemList items{{ItemKind::Ordinary, temp / "f"}};
    SizeCounter counter(&sink);
    counter.SetItems(&items);
    EXPECT_EQ(Captured([&] { counter.Walk(); }),
              "\rTotal size is calculating, 1000 files and folders");
    EXPECT_EQ(counter.Bytes(), 2000u);
    Messages counts;
    for (int count = 50; count <= 1000; count += 50) {
        counts.push_back(Sent(ERN_COUNTING, count));
    }
    EXPECT_EQ(window.Messages(), counts);
}

}  // namespace
}  // namespace tolvane::test
