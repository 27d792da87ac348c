#include "RawScan.h"

#include <gtest/gtest.h>
#include <sys/random.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <regex>
#include <sstream>

#include "LoopImage.h"
#include "TempDir.h"

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

namespace {

std::uint64_t Field(const std::string& text, const std::string& pattern) {
    std::smatch match;
    const std::regex field(pattern + R"(\s*[:=]\s*([0-9]+))");
    return std::regex_search(text, match, field) ? std::stoull(match[1]) : 0;
}

std::vector<ByteSpan> Ext4JournalSpans(const std::string& image) {
    std::string header, blocks;
    // The tools' banners go to standard error, which is left out.
    if (RunCommand("{ dumpe2fs -h '" + image + "' 2>/dev/null; }", &header) != 0 ||
        RunCommand("{ debugfs -R 'blocks <" + std::to_string(Field(header, "Journal inode")) +
                       ">' '" + image + "' 2>/dev/null; }",
                   &blocks) != 0) {
        return {};
    }
    const std::uint64_t blockSize = Field(header, "Block size");
    std::vector<ByteSpan> spans;
    std::istringstream in(blocks);
    for (std::uint64_t block; in >> block;) {
        const std::uint64_t start = block * blockSize;
        if (!spans.empty() && spans.back().end == start) {
            spans.back().end += blockSize;
        } else {
            spans.push_back({start, start + blockSize});
        }
    }
    return spans;
}

std::vector<ByteSpan> XfsLogSpans(const std::string& image) {
    std::string sb;
    if (RunCommand("{ xfs_db -r -c 'sb 0' -c 'p logstart logblocks agblocks agblklog blocksize' '" +
                       image + "' 2>/dev/null; }",
                   &sb) != 0) {
        return {};
    }
    const std::uint64_t start = Field(sb, "logstart");
    const std::uint64_t agShift = Field(sb, "agblklog");
    const std::uint64_t blockSize = Field(sb, "blocksize");
    // A file-system block number holds its allocation group above agblklog bits.
    const std::uint64_t block =
        (start >> agShift) * Field(sb, "agblocks") + (start & ((1ull << agShift) - 1));
    if (blockSize == 0) {
        return {};
    }
    return {{block * blockSize, (block + Field(sb, "logblocks")) * blockSize}};
}

}  // namespace

std::vector<ByteSpan> JournalSpans(const std::string& image, const std::string& fsType) {
    return fsType == "ext4"  ? Ext4JournalSpans(image)
           : fsType == "xfs" ? XfsLogSpans(image)
                             : std::vector<ByteSpan>();
}

std::vector<std::uint64_t> FindAll(std::string_view data, std::string_view text) {
    std::vector<std::uint64_t> offsets;
    for (std::size_t at = data.find(text); at != std::string_view::npos;
         at = data.find(text, at + 1)) {
        offsets.push_back(at);
    }
    return offsets;
}

std::vector<MarkerScanner::Hits> ScanUnmounted(LoopImage& image,
                                               const std::vector<Marker>& markers) {
    EXPECT_TRUE(image.Unmount());
    MarkerScanner scanner;
    for (const Marker& marker : markers) {
        scanner.Add(marker);
    }
    return scanner.Scan(image.ReadImage());
}

void ReportFinding(const std::string& key, const std::string& text) {
    std::cout << "[ finding  ] " << key << ": " << text << std::endl;
    testing::Test::RecordProperty(key, text);
}

}  // namespace tolvane::test
