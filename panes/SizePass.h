#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/FolderSizer.h"

namespace tolvane {

// One row of the erase list that is to get its size, as the size worker sees it. The row is
// named by its name and folder, never by its position: rows move while a count runs.
struct SizeJob {
    std::string name;
    std::string folder;   // empty for a drive row
    std::size_t row = 0;  // where it was when it was taken; a hint for where to look on
    std::uint64_t countId = 0;
};

// What the size worker needs of the rows. Implemented by the rows' owner; each call runs
// wherever the rows live (the window's thread) and returns when done.
class SizeRowAccess {
public:
    virtual ~SizeRowAccess() = default;
    // The first row at or after `from` whose size is still empty, which from now on is the
    // row being counted under a new SizePass::BeginCount id; none when there is no such row.
    virtual std::optional<SizeJob> TakeUnsizedRow(std::size_t from) = 0;
    // Writes the size (or that the row cannot be read) into the row with the job's name and
    // folder, wherever it is now, if it is still there, still without a size, and its count
    // was not stopped.
    virtual void StoreSize(const SizeJob& job, const FolderSizer::Result& size) = 0;
};

// The size worker's pass over the erase list and its coordination with the list's edits.
//
// Every edit of the list calls Edited() and then wakes the worker. The worker thread consumes
// its wake before it runs a pass, so an edit that lands while a pass ends wakes it again and
// is never lost; within a pass, a changed generation restarts the walk from the first row,
// as rows may have moved or been added in front of it.
//
// Removing the row being counted stops that count and no other (StopCount with the row's
// count id); a stopped count is never stored, so a partial total never reaches a row.
//
// Threads: Edited, BeginCount, StopCount and the queries from any thread; Run on the worker.
class SizePass {
public:
    void Edited() { m_generation.fetch_add(1); }
    std::uint64_t BeginCount() { return m_lastCount.fetch_add(1) + 1; }
    void StopCount(std::uint64_t countId) { m_stoppedCount.store(countId); }
    bool CountStopped(std::uint64_t countId) const { return m_stoppedCount.load() == countId; }

    // Sizes the rows without a size, first to last, until none is left or quit() says so.
    void Run(SizeRowAccess& rows, FolderSizer& sizer, const std::function<bool()>& quit);

    std::uint64_t Generation() const { return m_generation.load(); }
    // Counts stopped because their row went, and restarts of a pass after an edit.
    std::uint64_t StoppedCounts() const { return m_stoppedCounts.load(); }
    std::uint64_t Restarts() const { return m_restarts.load(); }

private:
    std::atomic<std::uint64_t> m_generation{0};
    std::atomic<std::uint64_t> m_lastCount{0};
    std::atomic<std::uint64_t> m_stoppedCount{0};
    std::atomic<std::uint64_t> m_stoppedCounts{0};
    std::atomic<std::uint64_t> m_restarts{0};
};

}  // namespace tolvane
