// The change that brings a shown list to a newly read one: applied to the shown names it must
// give exactly the new list, and where it cannot keep the rows in order it is refused so the
// list is filled anew.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "panes/ListChange.h"

namespace tolvane {
namespace {

using Names = std::vector<std::string>;

// What the list shows after the change: the runs out in their order, then the new entries
// in at their positions.
Names Applied(Names shown, const ListChange& change, const Names& listed) {
    for (const ListChange::Range& run : change.removed) {
        const auto first = shown.begin() + static_cast<std::ptrdiff_t>(run.first);
        shown.erase(first, first + static_cast<std::ptrdiff_t>(run.count));
    }
    for (std::size_t position : change.inserted) {
        shown.insert(shown.begin() + static_cast<std::ptrdiff_t>(position), listed[position]);
    }
    return shown;
}

TEST(ListChange, FilesErasedInOrderLeaveAsRunsFromTheLastUp) {
    const Names shown{"..", "f1", "f2", "f3", "f4", "f5", "f6"};
    const Names listed{"..", "f3", "f6"};
    const std::optional<ListChange> change = ChangeBetween(shown, listed, 8);
    ASSERT_TRUE(change);
    ASSERT_EQ(change->removed.size(), 2u);
    EXPECT_EQ(change->removed[0].first, 4u);  // f4, f5
    EXPECT_EQ(change->removed[0].count, 2u);
    EXPECT_EQ(change->removed[1].first, 1u);  // f1, f2
    EXPECT_EQ(change->removed[1].count, 2u);
    EXPECT_TRUE(change->inserted.empty());
    EXPECT_EQ(Applied(shown, *change, listed), listed);
}

TEST(ListChange, RefusedWhereRowsWouldMoveOrTooManyAreNew) {
    // A name that changes places (a file become a folder sorts elsewhere).
    EXPECT_FALSE(ChangeBetween({"..", "a", "b", "c"}, {"..", "b", "a", "c"}, 8));
    EXPECT_FALSE(ChangeBetween({"a", "b"}, {"b", "x", "a"}, 8));
    // More new entries than may go in one by one.
    EXPECT_FALSE(ChangeBetween({"a"}, {"a", "b", "c", "d"}, 2));
    EXPECT_TRUE(ChangeBetween({"a"}, {"a", "b", "c"}, 2));
    // Everything gone, or everything new.
    EXPECT_EQ(Applied({"a", "b"}, *ChangeBetween({"a", "b"}, {}, 0), {}), Names{});
    EXPECT_EQ(Applied({}, *ChangeBetween({}, {"x", "y"}, 2), {"x", "y"}), (Names{"x", "y"}));
}

// Random listings of one sorted folder before and after files came and went: the change
// always rebuilds the new listing exactly.
TEST(ListChange, AppliedToTheShownListGivesTheNewOne) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 500; ++round) {
        Names all;
        for (int i = 0; i < 40; ++i) {
            all.push_back("n" + std::to_string(100 + i));
        }
        Names shown, listed;
        for (const std::string& name : all) {
            if (random() % 3 != 0) {
                shown.push_back(name);
            }
            if (random() % 3 != 0) {
                listed.push_back(name);
            }
        }
        const std::optional<ListChange> change = ChangeBetween(shown, listed, all.size());
        ASSERT_TRUE(change) << "round " << round;
        EXPECT_EQ(Applied(shown, *change, listed), listed) << "round " << round;
        EXPECT_TRUE(std::is_sorted(change->inserted.begin(), change->inserted.end()));
    }
}

}  // namespace
}  // namespace tolvane
