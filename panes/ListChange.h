#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tolvane {

// How a shown list of names becomes a newly read one without being filled again: the rows to
// take out and the entries to put in. A folder that changes while it is shown (an erase in it
// taking its files one after another) then costs the window the rows that changed, not a
// refill of every row each time.
//
// Both lists are in the order their rows are shown and hold each name once. The change exists
// only where the names both lists share keep their order (a refill would otherwise move rows)
// and no more than `maxInserted` entries are new (rows put in one by one cost more than a
// refill past that).
struct ListChange {
    struct Range {
        std::size_t first = 0;  // a row of the shown list
        std::size_t count = 0;
    };
    // Runs of rows of the shown list that go, from the last up: each leaves the rows of the
    // runs before it where they were.
    std::vector<Range> removed;
    // Positions in the new list of the entries to put in, ascending: put in in this order
    // after the removals, each lands at its final row.
    std::vector<std::size_t> inserted;
};

std::optional<ListChange> ChangeBetween(const std::vector<std::string>& shown,
                                        const std::vector<std::string>& listed,
                                        std::size_t maxInserted);

}  // namespace tolvane
