#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "engine/PatternSource.h"

namespace tolvane {

// Generates the fresh pass's blocks a few ahead on a second thread, so that generating the
// next blocks overlaps writing the current one. The blocks come out in exactly the order and with
// exactly the bytes the generator would give them one by one: blocks generated ahead and then not
// used (the pass stopped early) is taken back by restoring the generator's table, so everything
// drawn afterwards is the same as without prefetching.
//
// Used by the erase worker only: Begin, Next as often as blocks are written, End before the
// generator is used in any other way.
class BlockPrefetcher {
public:
    explicit BlockPrefetcher(KeystreamGenerator& generator);
    ~BlockPrefetcher();
    BlockPrefetcher(const BlockPrefetcher&) = delete;
    BlockPrefetcher& operator=(const BlockPrefetcher&) = delete;

    // Starts a run of `count` blocks (at least 1).
    void Begin(std::uint64_t count);
    // The next block of the run; valid until the following call of Next or End.
    const std::uint8_t* Next();
    // Ends the run, taking back a block generated ahead but not used.
    void End();

private:
    struct Slot {
        PatternBuffer block;
        std::array<std::uint8_t, 256> tableBefore;  // the generator's table before this block
        bool ready = false;
    };

    void Run();

    KeystreamGenerator& m_generator;
    // Enough blocks ahead that a write held up by the kernel's dirty-page throttling does not
    // leave the generating thread idle.
    static constexpr std::uint64_t kSlots = 8;
    std::array<Slot, kSlots> m_slots;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Guarded by m_mutex:
    std::uint64_t m_requested = 0;  // blocks the run wants in all
    std::uint64_t m_generated = 0;  // blocks made so far in this run
    std::uint64_t m_consumed = 0;   // blocks handed out so far
    bool m_busy = false;            // the helper is generating right now
    bool m_quit = false;
    std::thread m_thread;
};

}  // namespace tolvane
