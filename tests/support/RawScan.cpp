#include "RawScan.h"

#include <sys/random.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cstring>

namespace tolvane::test {
namespace {

std::uint64_t Prefix(const std::uint8_t* bytes) {
    std::uint64_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

}  // namespace

Marker Marker::Random() {
    Marker marker;
    std::array<std::uint8_t, 16>& tag = marker.m_tag;
    // A tag of one repeated byte would match runs of that byte on any disk (zeros above all).
    // Requests this small are never cut short, but a failed one is tried again.
    while (::getrandom(tag.data(), tag.size(), 0) != static_cast<ssize_t>(tag.size()) ||
           std::all_of(tag.begin(), tag.end(), [&](std::uint8_t b) { return b == tag[0]; })) {
    }
    return marker;
}

std::string Marker::Content(std::size_t size) const {
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        content[i] = static_cast<char>(m_tag[i % m_tag.size()]);
    }
    return content;
}

std::size_t MarkerScanner::Bucket(std::uint64_t prefix) {
    return static_cast<std::size_t>((prefix * 0x9E3779B97F4A7C15ull) >> 48);
}

void MarkerScanner::Add(const Marker& marker) {
    const auto& tag = marker.Tag();
    for (std::size_t rotation = 0; rotation < tag.size(); ++rotation) {
        Window w{{}, m_markers};
        for (std::size_t i = 0; i < tag.size(); ++i) {
            w.bytes[i] = tag[(rotation + i) % tag.size()];
        }
        m_filter[Bucket(Prefix(w.bytes.data()))] = true;
        m_windows.push_back(w);
    }
    ++m_markers;
}

std::vector<MarkerScanner::Hits> MarkerScanner::Scan(std::string_view data) const {
    std::vector<Hits> hits(m_markers);
    if (data.size() < 16) {
        return hits;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
    const std::size_t last = data.size() - 16;
    // The filter on the first 8 bytes rejects almost every offset with one table look-up;
    // only candidates are compared in full.
    for (std::size_t offset = 0; offset <= last; ++offset) {
        const std::uint64_t prefix = Prefix(bytes + offset);
        if (!m_filter[Bucket(prefix)]) {
            continue;
        }
        for (const Window& w : m_windows) {
            if (std::memcmp(w.bytes.data(), bytes + offset, w.bytes.size()) == 0) {
                Hits& h = hits[w.marker];
                if (h.count++ == 0) {
                    h.firstOffset = static_cast<std::int64_t>(offset);
                }
                break;
            }
        }
    }
    return hits;
}

std::uint64_t FreeBytesOf(const std::string& path) {
    struct statvfs st;
    if (::statvfs(path.c_str(), &st) != 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(st.f_bfree) * st.f_frsize;
}

}  // namespace tolvane::test
