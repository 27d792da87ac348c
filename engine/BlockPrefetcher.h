#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/KeystreamGenerator.h"

namespace tolvane {

// Makes the keystream chunks of one long pass ahead of the writer, on several producer
// threads at once and two chunks at a time on each, into a ring of chunk-sized slots; the
// writer takes them strictly in order, one chunk per hand-off. A single generator cannot
// keep up with a fast disk, and handing over small blocks costs more in waking threads than
// it saves.
//
// The producers are started by Begin on the calling thread and inherit its scheduling: an
// erase worker that runs with a raised nice value (or idle I/O priority) keeps its producers
// there too, so a desktop stays responsive while every core works. End stops them after the
// chunks each is making (the writer stops within one chunk written), joins them, and wipes
// and frees the ring, which holds keystream.
//
// Used by one writer thread: Begin, Next once per chunk, End.
class BlockPrefetcher {
public:
    // threads: producer threads per pass (1 at least).
    explicit BlockPrefetcher(int threads);
    ~BlockPrefetcher();
    BlockPrefetcher(const BlockPrefetcher&) = delete;
    BlockPrefetcher& operator=(const BlockPrefetcher&) = delete;

    // One producer per core, at most 4: beyond that the disk is the limit.
    static int ThreadsForThisMachine();
    int Threads() const { return m_threadCount; }

    // Starts the producers on a pass of `lengths.size()` chunks: chunk c is the first
    // lengths[c] bytes (at most kChunkSize) of GenerateChunk(key, c).
    void Begin(const PassKey& key, std::vector<std::size_t> lengths);
    // The next chunk of the pass, in order; valid until the next call of Next or End. Null
    // once every chunk was handed out.
    const std::uint8_t* Next();
    // Ends the pass, also part-way through it. Does nothing when no pass runs.
    void End();

private:
    void Produce();
    std::uint8_t* Slot(std::uint64_t chunk) const;

    const int m_threadCount;
    // Enough slots that every producer can work on its two chunks while the writer writes
    // one chunk and the next waits, and a write held up by the kernel's dirty-page throttling
    // does not leave the producers idle.
    const std::size_t m_slotCount;
    PassKey m_key{};                     // set before the producers start
    std::vector<std::size_t> m_lengths;  // set before the producers start
    std::unique_ptr<std::uint8_t[]> m_ring;
    std::vector<std::thread> m_producers;
    std::mutex m_mutex;
    std::condition_variable m_slotFreed;   // producers wait here
    std::condition_variable m_chunkReady;  // the writer waits here
    // Guarded by m_mutex:
    std::vector<bool> m_ready;      // per slot: holds the chunk the writer waits for next
    std::uint64_t m_claimed = 0;    // chunks a producer has started
    std::uint64_t m_handedOut = 0;  // chunks given to the writer
    std::uint64_t m_freed = 0;      // chunks the writer is done with: their slots may be reused
    bool m_quit = false;
};

}  // namespace tolvane
