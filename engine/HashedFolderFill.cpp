#include "engine/HashedFolderFill.h"

#include <algorithm>
#include <map>
#include <set>

#include "engine/Ext4NameHash.h"

namespace tolvane {
namespace {

// Filler name lengths, longest first: each takes an entry of 8 bytes and its name rounded up
// to 4, so together they take any gap down to less than the smallest entry.
constexpr std::size_t kLengths[] = {255, 128, 64, 32, 16, 8, 4};
constexpr std::uint32_t kSmallestEntry = 12;
constexpr std::uint32_t kEntryHeader = 8;

std::uint32_t EntrySize(std::size_t nameLength) {
    return (kEntryHeader + static_cast<std::uint32_t>(nameLength) + 3) & ~3u;
}

// Names drawn for one length before the leaves still wanting it are given up: a leaf takes a
// name with the share of hashes it covers, and a leaf split off a run of equal hashes covers
// next to none.
constexpr std::size_t kDrawsPerLeaf = 1024;

}  // namespace

bool HashedFolderFill::HoldsOldBytes(const Ext4FolderBlocks::Leaf& leaf, bool fillableOnly) {
    for (const Ext4FolderBlocks::Record& record : leaf.records) {
        if (fillableOnly && record.Gap() < kSmallestEntry) {
            continue;
        }
        // An empty record keeps its length field; what follows it is cleared.
        const std::uint32_t from = record.offset + (record.used == 0 ? 6 : record.used);
        const std::uint32_t to = record.offset + record.length;
        if (std::any_of(leaf.bytes.begin() + from, leaf.bytes.begin() + to,
                        [](char c) { return c != '\0'; })) {
            return true;
        }
    }
    return false;
}

// First fit, as ext4 places a name: the first gap with room takes the next filler, the longest
// that fits, until no gap has room for the shortest.
std::vector<std::size_t> HashedFolderFill::FillerLengths(const Ext4FolderBlocks::Leaf& leaf) const {
    std::vector<std::size_t> lengths;
    for (const Ext4FolderBlocks::Record& record : leaf.records) {
        for (std::uint32_t gap = record.Gap(); gap >= kSmallestEntry;) {
            const std::size_t* length =
                std::find_if(std::begin(kLengths), std::end(kLengths),
                             [&](std::size_t l) { return EntrySize(l) <= gap; });
            lengths.push_back(*length);
            gap -= EntrySize(*length);
        }
    }
    return lengths;
}

std::size_t HashedFolderFill::LeafOf(std::uint32_t hash) const {
    const auto after = std::upper_bound(
        m_folder.leaves.begin(), m_folder.leaves.end(), hash,
        [](std::uint32_t h, const Ext4FolderBlocks::Leaf& leaf) { return h < leaf.hashFrom; });
    return static_cast<std::size_t>(after - m_folder.leaves.begin()) - 1;
}

std::string FillerName(std::size_t length, const std::function<std::uint64_t()>& random) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name(length, 'a');
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (i % 8 == 0) {
            bits = random();
        }
        name[i] = kLetters[(bits & 0xFF) % (sizeof kLetters - 1)];
        bits >>= 8;
    }
    return name;
}

std::vector<std::string> HashedFolderFill::Plan() {
    // What each leaf still wants, by length; names drawn go to whichever leaf their hash picks.
    std::map<std::size_t, std::vector<std::size_t>> wanted;  // length -> count per leaf
    std::vector<std::vector<std::size_t>> order(m_folder.leaves.size());
    for (std::size_t i = 0; i < m_folder.leaves.size(); ++i) {
        if (!HoldsOldBytes(m_folder.leaves[i])) {
            continue;
        }
        order[i] = FillerLengths(m_folder.leaves[i]);
        for (std::size_t length : order[i]) {
            auto& counts = wanted[length];
            counts.resize(m_folder.leaves.size());
            ++counts[i];
        }
    }
    std::map<std::pair<std::size_t, std::size_t>, std::vector<std::string>> drawn;
    std::set<std::string> taken;
    for (auto& [length, counts] : wanted) {
        std::size_t missing = 0;
        for (std::size_t c : counts) {
            missing += c;
        }
        for (std::size_t draws = 0; missing > 0 && draws < kDrawsPerLeaf * counts.size(); ++draws) {
            std::string name = FillerName(length, m_random);
            std::uint32_t hash = 0;
            if (!Ext4NameHash(name, m_folder.hashVersion, m_folder.hashSeed, hash)) {
                return {};
            }
            const std::size_t leaf = LeafOf(hash);
            if (counts[leaf] > 0 && taken.insert(name).second) {
                --counts[leaf];
                --missing;
                drawn[{leaf, length}].push_back(std::move(name));
            }
        }
    }
    // Each leaf's names in the order its gaps take them.
    std::vector<std::string> names;
    for (std::size_t leaf = 0; leaf < order.size(); ++leaf) {
        for (std::size_t length : order[leaf]) {
            auto& pool = drawn[{leaf, length}];
            if (pool.empty()) {
                break;  // a later filler would land in the gap this one was to take
            }
            names.push_back(std::move(pool.back()));
            pool.pop_back();
        }
    }
    return names;
}

}  // namespace tolvane
