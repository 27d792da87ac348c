#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane::test {

class LoopImage;

// File content that cannot occur on a disk by chance: 16 random bytes repeated. Every
// 16-byte run of such content is a rotation of the tag, so a scanner that knows the 16
// rotations finds any surviving fragment of 16 bytes or more, wherever it lies.
class Marker {
public:
    static Marker Random();

    // The tag repeated and cut to `size` bytes.
    std::string Content(std::size_t size) const;
    const std::array<std::uint8_t, 16>& Tag() const { return m_tag; }

private:
    std::array<std::uint8_t, 16> m_tag{};
};

// Counts, in one pass over raw bytes, the 16-byte windows that belong to any of a set of
// markers. A window is counted at every offset where it matches, so a surviving fragment of
// n bytes gives n - 15 hits.
class MarkerScanner {
public:
    // Markers are counted in Scan's result in the order they were added.
    void Add(const Marker& marker);

    struct Hits {
        std::uint64_t count = 0;
        std::int64_t firstOffset = -1;
    };
    std::vector<Hits> Scan(std::string_view data) const;

private:
    struct Window {
        std::array<std::uint8_t, 16> bytes;
        std::size_t marker;
    };
    static std::size_t Bucket(std::uint64_t prefix);

    std::vector<Window> m_windows;
    std::size_t m_markers = 0;
    std::vector<bool> m_filter = std::vector<bool>(std::size_t{1} << 16);
};

// Unmounts `image` (a failure fails the test) and scans its raw bytes for `markers`: the hits
// of each, in their order.
std::vector<MarkerScanner::Hits> ScanUnmounted(LoopImage& image,
                                               const std::vector<Marker>& markers);

// Prints a finding that is reported rather than asserted, and keeps it in the XML output.
void ReportFinding(const std::string& key, const std::string& text);

// Bytes statvfs reports free on the volume holding `path` (blocks reserved for root
// included, as the free-space wipe counts them when run as root).
std::uint64_t FreeBytesOf(const std::string& path);

// A range of bytes of an image, end exclusive.
struct ByteSpan {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    bool Holds(std::uint64_t offset) const { return offset >= start && offset < end; }
};

// Where the file system in an unmounted image keeps its journal (ext4) or log (xfs), read
// from its own metadata with debugfs or xfs_db; empty when it cannot be found.
std::vector<ByteSpan> JournalSpans(const std::string& image, const std::string& fsType);

// Offsets of every occurrence of `text` in `data`.
std::vector<std::uint64_t> FindAll(std::string_view data, std::string_view text);

}  // namespace tolvane::test
