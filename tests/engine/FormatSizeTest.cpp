#include <gtest/gtest.h>

#include "engine/FormatSize.h"

namespace tolvane {
namespace {

struct SizeCase {
    std::int64_t bytes;
    const char* text;
};

class FormatSizeText : public testing::TestWithParam<SizeCase> {};

TEST_P(FormatSizeText, RoundsToTheNearestUnit) {
    EXPECT_EQ(FormatSize(GetParam().bytes), GetParam().text);
}

constexpr std::int64_t kKb = 1024;
constexpr std::int64_t kMb = kKb * kKb;

INSTANTIATE_TEST_SUITE_P(
    Sizes, FormatSizeText,
    testing::Values(SizeCase{0, "0 bytes"}, SizeCase{9999, "9999 bytes"}, SizeCase{10000, "10 Kb"},
                    SizeCase{10 * kKb + 512, "10 Kb"},  // exactly half rounds down
                    SizeCase{10 * kKb + 513, "11 Kb"}, SizeCase{9999 * kKb + 512, "9999 Kb"},
                    SizeCase{9999 * kKb + 513, "10 Mb"}, SizeCase{10000 * kMb, "10 Gb"},
                    SizeCase{10000 * kMb * kKb, "10 Tb"},
                    // Tb is the last unit, however large the number gets
                    SizeCase{20000 * kMb * kMb, "20000 Tb"}, SizeCase{-5, "-5 bytes"}));

}  // namespace
}  // namespace tolvane
