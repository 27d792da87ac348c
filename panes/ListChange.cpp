#include "panes/ListChange.h"

#include <string_view>
#include <unordered_set>

namespace tolvane {
namespace {

using NameSet = std::unordered_set<std::string_view>;

NameSet SetOf(const std::vector<std::string>& names) {
    return NameSet(names.begin(), names.end());
}

// The runs of rows of `shown` whose names `listed` no longer has, from the last up.
std::vector<ListChange::Range> RemovedRuns(const std::vector<std::string>& shown,
                                           const NameSet& listed) {
    std::vector<ListChange::Range> runs;
    for (std::size_t row = shown.size(); row > 0; --row) {
        if (listed.contains(shown[row - 1])) {
            continue;
        }
        if (!runs.empty() && runs.back().first == row) {
            --runs.back().first;
            ++runs.back().count;
        } else {
            runs.push_back({row - 1, 1});
        }
    }
    return runs;
}

}  // namespace

std::optional<ListChange> ChangeBetween(const std::vector<std::string>& shown,
                                        const std::vector<std::string>& listed,
                                        std::size_t maxInserted) {
    const NameSet shownSet = SetOf(shown);
    const NameSet listedSet = SetOf(listed);
    ListChange change;
    for (std::size_t position = 0; position < listed.size(); ++position) {
        if (!shownSet.contains(listed[position])) {
            if (change.inserted.size() == maxInserted) {
                return std::nullopt;
            }
            change.inserted.push_back(position);
        }
    }
    // The rows that stay must be in the new list's order, or the list would show them out
    // of place.
    std::size_t next = 0;
    for (const std::string& name : shown) {
        if (!listedSet.contains(name)) {
            continue;
        }
        while (next < listed.size() && !shownSet.contains(listed[next])) {
            ++next;
        }
        if (next == listed.size() || listed[next] != name) {
            return std::nullopt;
        }
        ++next;
    }
    change.removed = RemovedRuns(shown, listedSet);
    return change;
}

}  // namespace tolvane
