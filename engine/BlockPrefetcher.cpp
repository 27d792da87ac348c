#include "engine/BlockPrefetcher.h"

#include <algorithm>

namespace tolvane {

BlockPrefetcher::BlockPrefetcher(KeystreamGenerator& generator)
    : m_generator(generator), m_thread([this] { Run(); }) {}

BlockPrefetcher::~BlockPrefetcher() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void BlockPrefetcher::Begin(std::uint64_t count) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requested = count;
        m_generated = 0;
        m_consumed = 0;
        for (Slot& slot : m_slots) {
            slot.ready = false;
        }
    }
    m_changed.notify_all();
}

const std::uint8_t* BlockPrefetcher::Next() {
    std::unique_lock<std::mutex> lock(m_mutex);
    // The slot handed out last time is free again once its successor is asked for.
    if (m_consumed > 0) {
        m_slots[(m_consumed - 1) % kSlots].ready = false;
        m_changed.notify_all();
    }
    Slot& slot = m_slots[m_consumed % kSlots];
    m_changed.wait(lock, [&slot] { return slot.ready; });
    ++m_consumed;
    m_changed.notify_all();
    return slot.block.data();
}

void BlockPrefetcher::End() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_requested = std::min(m_requested, m_generated);  // nothing more to start
    m_changed.wait(lock, [this] { return !m_busy; });
    if (m_generated > m_consumed) {
        // Blocks made ahead and never written: give the generator its table back.
        // The first block made ahead holds the table from before all of them.
        const Slot& unused = m_slots[m_consumed % kSlots];
        m_generator.SetTable(unused.tableBefore.data());
    }
    m_requested = m_generated = m_consumed = 0;
    for (Slot& slot : m_slots) {
        slot.ready = false;
    }
}

void BlockPrefetcher::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        // Work when the run wants more and the slot for the next block is free (at most
        // kSlots - 1 blocks ahead of the one being written).
        m_changed.wait(lock, [this] {
            return m_quit || (m_generated < m_requested && m_generated < m_consumed + kSlots &&
                              !m_slots[m_generated % kSlots].ready);
        });
        if (m_quit) {
            return;
        }
        Slot& slot = m_slots[m_generated % kSlots];
        m_busy = true;
        lock.unlock();
        m_generator.SaveTable(slot.tableBefore.data());
        m_generator.Generate(slot.block.data(), static_cast<std::int64_t>(slot.block.size()));
        lock.lock();
        m_busy = false;
        slot.ready = true;
        ++m_generated;
        m_changed.notify_all();
    }
}

}  // namespace tolvane
