#include "engine/BlockPrefetcher.h"

#include <string.h>  // explicit_bzero

#include <algorithm>

namespace tolvane {

namespace {

// A producer makes two chunks at a time: one core makes two streams faster than one.
constexpr std::uint64_t kChunksPerClaim = 2;

}  // namespace

BlockPrefetcher::BlockPrefetcher(int threads)
    : m_threadCount(std::max(threads, 1)),
      m_slotCount(2 * kChunksPerClaim * static_cast<std::size_t>(m_threadCount) + 2) {}

BlockPrefetcher::~BlockPrefetcher() {
    End();
}

int BlockPrefetcher::ThreadsForThisMachine() {
    return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 4);
}

std::uint8_t* BlockPrefetcher::Slot(std::uint64_t chunk) const {
    return m_ring.get() + (chunk % m_slotCount) * kChunkSize;
}

void BlockPrefetcher::Begin(const PassKey& key, std::vector<std::size_t> lengths) {
    End();
    m_key = key;
    m_lengths = std::move(lengths);
    // Not zeroed: every byte handed out is made first.
    m_ring.reset(new std::uint8_t[m_slotCount * kChunkSize]);
    m_ready.assign(m_slotCount, false);
    m_claimed = m_handedOut = m_freed = 0;
    m_quit = false;
    const std::size_t producers =
        std::min(static_cast<std::size_t>(m_threadCount), m_lengths.size());
    for (std::size_t t = 0; t < producers; ++t) {
        m_producers.emplace_back([this] { Produce(); });
    }
}

const std::uint8_t* BlockPrefetcher::Next() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_ring || m_handedOut >= m_lengths.size()) {
        return nullptr;
    }
    // The chunk handed out last has been written: its slot may be filled again.
    m_freed = m_handedOut;
    m_slotFreed.notify_all();
    const std::size_t slot = m_handedOut % m_slotCount;
    m_chunkReady.wait(lock, [&] { return m_ready[slot]; });
    m_ready[slot] = false;
    return Slot(m_handedOut++);
}

void BlockPrefetcher::End() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_slotFreed.notify_all();
    for (std::thread& producer : m_producers) {
        producer.join();
    }
    m_producers.clear();
    if (m_ring) {
        ::explicit_bzero(m_ring.get(), m_slotCount * kChunkSize);
        m_ring.reset();
    }
    ::explicit_bzero(m_key.data(), m_key.size());
    m_lengths.clear();
}

void BlockPrefetcher::Produce() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        // Chunks may be made once the writer is done with the ones that held their slots
        // before. Two at a time, unless only one is left.
        const auto claim = [this] {
            return std::min<std::uint64_t>(kChunksPerClaim, m_lengths.size() - m_claimed);
        };
        m_slotFreed.wait(lock, [&] {
            return m_quit ||
                   (m_claimed < m_lengths.size() && m_claimed + claim() <= m_freed + m_slotCount);
        });
        if (m_quit) {
            return;
        }
        const std::uint64_t first = m_claimed;
        const std::uint64_t count = claim();
        m_claimed += count;
        lock.unlock();
        if (count == 2) {
            GenerateChunkPair(m_key, first, Slot(first), m_lengths[first], Slot(first + 1),
                              m_lengths[first + 1]);
        } else {
            GenerateChunk(m_key, first, Slot(first), m_lengths[first]);
        }
        lock.lock();
        for (std::uint64_t chunk = first; chunk < first + count; ++chunk) {
            m_ready[chunk % m_slotCount] = true;
        }
        m_chunkReady.notify_one();
    }
}

}  // namespace tolvane
