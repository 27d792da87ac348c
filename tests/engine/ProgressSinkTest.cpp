// The progress line, the report lines, the window messages and sizes, byte for byte.
#include <gtest/gtest.h>

#include "EngineTestHelpers.h"
#include "TempDir.h"
#include "engine/FormatSize.h"
#include "engine/ProgressSink.h"
#include "engine/SizeCounter.h"

namespace tolvane::test {
namespace {

using Message = RecordingTarget::Message;
using Messages = std::vector<Message>;

Message Sent(std::uintptr_t code, std::intptr_t value, std::string text = {}) {
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
        {9999 * kKb + 512, "9999 Kb"},
        {9999 * kKb + 513, "10 Mb"},
        {10000 * kMb, "10 Gb"},
        {10000 * kMb * kKb, "10 Tb"},
        {20000 * kMb * kMb, "20000 Tb"},  // Tb is the last unit, however large the number
        {-5, "-5 bytes"},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(FormatSize(bytes), text) << bytes;
    }
}

TEST(ProgressSink, FirstCallWritesAndSends) {
    const struct {
        std::int64_t position, total;
        std::string text;
        std::int32_t perMille;
    } cases[] = {
        {0, 100, "\rProcessed   0.0%", 0},      {40, 3000, "\rProcessed   1.3%", 13},
        {40, 0, "\rProcessed 100.0%", 1000},    {1, 2, "\rProcessed  50.0%", 500},
        {300, 100, "\rProcessed 100.0%", 1000},
    };
    for (const auto& c : cases) {
        RecordingTarget window;
        ProgressSink sink(&window);
        EXPECT_EQ(Captured([&] { sink.Progress(c.position, c.total); }), c.text);
        EXPECT_EQ(window.Messages(), Messages{Sent(ERN_PROGRESS, c.perMille)});
        EXPECT_EQ(sink.Last(), c.perMille);
    }
}

TEST(ProgressSink, ReportsOnlyChangesButAboveTheTotalEveryCall) {
    RecordingTarget window;
    ProgressSink sink(&window);
    const std::string out = Captured([&] {
        sink.Progress(0, 3000);
        sink.Progress(1, 3000);   // still 0 per mille: nothing
        sink.Progress(40, 3000);  // 13
        sink.Progress(42, 3000);  // 14
        sink.Progress(3000, 3000);
        sink.Progress(3000, 3000);  // unchanged: nothing
        sink.Progress(3001, 3000);  // 1000 per mille, as last reported: nothing
        sink.Progress(3100, 3000);  // 1033, capped: 1000 again
        sink.Progress(3100, 3000);  // compared before the cap, so again
    });
    EXPECT_EQ(out,
              "\rProcessed   0.0%\rProcessed   1.3%\rProcessed   1.4%\rProcessed 100.0%"
              "\rProcessed 100.0%\rProcessed 100.0%");
    EXPECT_EQ(window.Messages(), (Messages{Sent(ERN_PROGRESS, 0), Sent(ERN_PROGRESS, 13),
                                           Sent(ERN_PROGRESS, 14), Sent(ERN_PROGRESS, 1000),
                                           Sent(ERN_PROGRESS, 1000), Sent(ERN_PROGRESS, 1000)}));
}

TEST(ProgressSink, WithoutAWindowWritesButSendsNothing) {
    ProgressSink sink;
    EXPECT_EQ(Captured([&] {
                  sink.Progress(40, 3000);
                  sink.ItemDone();
                  sink.Finished();
                  sink.ReportItem("/x/y", kReportFailed);
                  sink.CountProgress(1000);  // written only with a window
              }),
              "\rProcessed   1.3%\r                    \r/x/y - failed\n");
}

TEST(ProgressSink, CountProgressWritesAtEveryThousandWithoutSending) {
    RecordingTarget window;
    ProgressSink sink(&window);
    EXPECT_EQ(Captured([&] {
                  for (std::int32_t count : {1, 999, 1000, 1001, 1999, 2000, 2001}) {
                      sink.CountProgress(count);
                  }
              }),
              "\rTotal size is calculating, 1000 files and folders"
              "\rTotal size is calculating, 2000 files and folders");
    EXPECT_TRUE(window.Messages().empty());
}

TEST(ProgressSink, ReportItemWritesTheLineAndSendsOnlyFailures) {
    RecordingTarget window;
    ProgressSink sink(&window);
    EXPECT_EQ(Captured([&] { sink.ReportItem("/gone/file.txt", kReportNotFound); }),
              "\r                    \r/gone/file.txt - file not found\n");
    EXPECT_TRUE(window.Messages().empty());
    EXPECT_EQ(Captured([&] { sink.ReportItem("/busy/file.txt", kReportFailed); }),
              "\r                    \r/busy/file.txt - failed\n");
    EXPECT_EQ(window.Messages(), Messages{Sent(ERN_FAILED, 0, "/busy/file.txt")});
}

// A short run as the job drives it: count, progress, one failure, the end.
TEST(ProgressSink, ShortRunOutput) {
    TempDir temp;
    ASSERT_TRUE(MakeDirs(temp / "f"));
    for (int k = 0; k < 999; ++k) {  // with the folder: 1000 entries
        ASSERT_TRUE(WriteFile(temp / ("f/" + std::to_string(k)), "12"));
    }
    RecordingTarget window;
    ProgressSink sink(&window);
    EraseItemList items{{ItemKind::Ordinary, temp / "f"}};
    const std::string failed = temp / "f/17";
    std::uint64_t total = 0;
    const std::string out = Captured([&] {
        SizeCounter counter(&sink);
        counter.SetItems(&items);
        counter.Walk();
        total = counter.Bytes();
        const auto t = static_cast<std::int64_t>(total);
        sink.Progress(0, t);
        sink.Progress(t / 2, t);
        sink.ReportItem(failed, kReportFailed);
        sink.Progress(t, t);
        sink.ItemDone();
        sink.Finished();
    });
    EXPECT_EQ(total, 1998u);
    EXPECT_EQ(out,
              "\rTotal size is calculating, 1000 files and folders"
              "\rProcessed   0.0%\rProcessed  50.0%\r                    \r" +
                  failed + " - failed\n\rProcessed 100.0%");
    EXPECT_EQ(window.Messages(),
              (Messages{Sent(ERN_PROGRESS, 0), Sent(ERN_PROGRESS, 500), Sent(ERN_FAILED, 0, failed),
                        Sent(ERN_PROGRESS, 1000), Sent(ERN_ITEMDONE, 1), Sent(ERN_FINISHED, 1)}));
}

}  // namespace
}  // namespace tolvane::test
