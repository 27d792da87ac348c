// The progress line, the report lines and the window messages, byte for byte.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "WalkTestHelpers.h"
#include "engine/ProgressSink.h"
#include "engine/SizeCounter.h"

namespace tolvane::test {
namespace {

struct Message {
    std::uint32_t message;
    std::uintptr_t code;
    std::intptr_t value;
    std::string text;  // for ERN_FAILED: the path, copied while the call lasts
    bool operator==(const Message&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Message& m) {
    return out << "{" << m.message << ", " << m.code << ", " << m.value << ", \"" << m.text
               << "\"}";
}

class RecordingWindow : public NotifyTarget {
public:
    std::vector<Message> messages;
    std::intptr_t Send(std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) override {
        Message m{message, wParam, lParam, {}};
        if (wParam == ERN_FAILED) {
            m.text = reinterpret_cast<const char*>(lParam);
            m.value = 0;  // the pointer itself means nothing after the call
        }
        messages.push_back(m);
        return 0;
    }
};

Message Progress(std::intptr_t perMille) {
    return {WM_ERASE_NOTIFY, ERN_PROGRESS, perMille, {}};
}

// Runs body with standard output captured and returns what was written.
template <typename Body>
std::string Captured(Body body) {
    testing::internal::CaptureStdout();
    body();
    return testing::internal::GetCapturedStdout();
}

struct ProgressCase {
    std::string name;
    std::int64_t position, total;
    std::string text;
    std::int32_t perMille;
};

class ProgressSinkFirstCall : public testing::TestWithParam<ProgressCase> {};

TEST_P(ProgressSinkFirstCall, WritesAndSends) {
    RecordingWindow window;
    ProgressSink sink(&window);
    const ProgressCase& c = GetParam();
    EXPECT_EQ(Captured([&] { sink.Progress(c.position, c.total); }), c.text);
    EXPECT_EQ(window.messages, std::vector<Message>{Progress(c.perMille)});
    EXPECT_EQ(sink.Last(), c.perMille);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProgressSinkFirstCall,
    testing::Values(ProgressCase{"Zero", 0, 100, "\rProcessed   0.0%", 0},
                    ProgressCase{"FortyOfThreeThousand", 40, 3000, "\rProcessed   1.3%", 13},
                    ProgressCase{"TotalZero", 40, 0, "\rProcessed 100.0%", 1000},
                    ProgressCase{"Half", 1, 2, "\rProcessed  50.0%", 500},
                    ProgressCase{"AboveTotal", 300, 100, "\rProcessed 100.0%", 1000}),
    [](const testing::TestParamInfo<ProgressCase>& info) { return info.param.name; });

TEST(ProgressSink, ReportsOnlyChangesButAboveTheTotalEveryCall) {
    RecordingWindow window;
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
    EXPECT_EQ(window.messages,
              (std::vector<Message>{Progress(0), Progress(13), Progress(14), Progress(1000),
                                    Progress(1000), Progress(1000)}));
}

TEST(ProgressSink, WithoutAWindowWritesButSendsNothing) {
    ProgressSink sink;
    EXPECT_EQ(Captured([&] {
                  sink.Progress(40, 3000);
                  sink.ItemDone();
                  sink.Finished();
                  sink.ReportItem("/x/y", kReportFailed);
              }),
              "\rProcessed   1.3%\r                    \r/x/y - failed\n");
}

TEST(ProgressSink, CountProgressWritesAtEveryThousandAndOnlyWithAWindow) {
    RecordingWindow window;
    ProgressSink sink(&window);
    EXPECT_EQ(Captured([&] {
                  for (std::int32_t count : {1, 999, 1000, 1001, 1999, 2000, 2001}) {
                      sink.CountProgress(count);
                  }
              }),
              "\rTotal size is calculating, 1000 files and folders"
              "\rTotal size is calculating, 2000 files and folders");
    EXPECT_TRUE(window.messages.empty());

    ProgressSink silent;
    EXPECT_EQ(Captured([&] { silent.CountProgress(1000); }), "");
}

TEST(ProgressSink, ReportItemWritesTheLineAndSendsOnlyFailures) {
    RecordingWindow window;
    ProgressSink sink(&window);
    EXPECT_EQ(Captured([&] { sink.ReportItem("/gone/file.txt", kReportNotFound); }),
              "\r                    \r/gone/file.txt - file not found\n");
    EXPECT_TRUE(window.messages.empty());

    EXPECT_EQ(Captured([&] { sink.ReportItem("/busy/file.txt", kReportFailed); }),
              "\r                    \r/busy/file.txt - failed\n");
    EXPECT_EQ(window.messages,
              (std::vector<Message>{{WM_ERASE_NOTIFY, ERN_FAILED, 0, "/busy/file.txt"}}));
}

TEST(ProgressSink, ItemDoneAndFinishedSendOne) {
    RecordingWindow window;
    ProgressSink sink(&window, 0x1234);
    EXPECT_EQ(Captured([&] {
                  sink.ItemDone();
                  sink.Finished();
              }),
              "");
    EXPECT_EQ(window.messages,
              (std::vector<Message>{{0x1234, ERN_ITEMDONE, 1, {}}, {0x1234, ERN_FINISHED, 1, {}}}));
}

// A short run as the job drives it: count, progress, one failure, the end.
TEST(ProgressSink, ShortRunOutput) {
    TempDir temp;
    ASSERT_TRUE(MakeDirs(temp / "f"));
    for (int k = 0; k < 999; ++k) {  // with the folder: 1000 entries
        ASSERT_TRUE(WriteFile(temp / ("f/" + std::to_string(k)), "12"));
    }
    RecordingWindow window;
    ProgressSink sink(&window);
    EraseItemList items = MakeItems({temp / "f"});
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
              "\rProcessed   0.0%\rProcessed  50.0%"
              "\r                    \r" +
                  failed +
                  " - failed\n"
                  "\rProcessed 100.0%");
    EXPECT_EQ(window.messages, (std::vector<Message>{Progress(0),
                                                     Progress(500),
                                                     {WM_ERASE_NOTIFY, ERN_FAILED, 0, failed},
                                                     Progress(1000),
                                                     {WM_ERASE_NOTIFY, ERN_ITEMDONE, 1, {}},
                                                     {WM_ERASE_NOTIFY, ERN_FINISHED, 1, {}}}));
}

}  // namespace
}  // namespace tolvane::test
