// The words of the progress line: the counting phase as the closing texts have it, what is
// done of the total in bytes or entries, and a time left only once it is more than a guess.
#include <gtest/gtest.h>

#include "app/RunFigures.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;

RunFigures::Figures Running(std::int64_t total, int perMille, std::chrono::seconds elapsed,
                            bool entries = false) {
    RunFigures::Figures figures;
    figures.counting = false;
    figures.total = total;
    figures.perMille = perMille;
    figures.elapsed = elapsed;
    figures.entries = entries;
    return figures;
}

TEST(ProgressLine, CountingThenItemDoneOfTotalAndTimeLeftOnceEstimable) {
    const auto text = [](const RunFigures::Figures& figures, const QString& item) {
        return ProgressLineText(figures, item).toStdString();
    };
    RunFigures::Figures counting;
    counting.counted = 2350;
    EXPECT_EQ(text(counting, "/home/me/big/"), "Total size is calculating, 2350 files and folders");

    // 100 Mb total, a quarter done after 30 s: 90 s to go. Before 1% or 3 s, no guess.
    EXPECT_EQ(text(Running(100ll << 20, 250, 30s), "/home/me/a.iso"),
              "/home/me/a.iso  \u00b7  25 Mb of 100 Mb  \u00b7  about 2 min left");
    EXPECT_EQ(text(Running(100ll << 20, 5, 30s), ""), "512 Kb of 100 Mb");
    EXPECT_EQ(text(Running(100ll << 20, 500, 2s), ""), "50 Mb of 100 Mb");
    EXPECT_EQ(text(Running(40, 500, 10s, true), "x"),
              "x  \u00b7  20 of 40 entries  \u00b7  about 10 s left");
    EXPECT_EQ(text(Running(1ll << 40, 100, 2000s), ""),
              "102 Gb of 1024 Gb  \u00b7  about 5 h 0 min left");
    EXPECT_FALSE(TimeLeft(counting).has_value());
    EXPECT_EQ(TimeLeft(Running(10, 1000, 60s)), 0s);
}

}  // namespace
}  // namespace tolvane
