// The pane state record, byte for byte and cut anywhere, and the memory streams it is written
// to and read from.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "items/DataExceptions.h"
#include "items/DataFunctions.h"
#include "items/DataMemoryReader.h"
#include "items/DataMemoryWriter.h"
#include "items/PaneState.h"
#include "items/Utf16.h"

namespace tolvane {
namespace {

std::string Bytes(const Data::MemoryWriter& writer) {
    return std::string(reinterpret_cast<const char*>(writer.Data()), writer.Length());
}

std::string Record(const PaneState& state) {
    Data::MemoryWriter writer;
    SavePaneState(writer, state);
    return Bytes(writer);
}

PaneState Load(const std::string& bytes, PaneState state = {}) {
    Data::MemoryReader reader(bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                              Data::MemoryReader::kBorrow);
    LoadPaneState(reader, state);
    return state;
}

std::string Int32(std::uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
            static_cast<char>(v >> 24)};
}

std::string Wide(const std::u16string& text) {
    std::string bytes;
    for (char16_t unit : text) {
        bytes += {static_cast<char>(unit & 0xff), static_cast<char>(unit >> 8)};
    }
    return bytes + std::string(2, '\0');
}

// The start of a hand-made record: widths 1, 2, 3, no table, `recent` list entries.
std::string Head(std::uint32_t recent, const std::u16string& folder2) {
    return Int32(1) + Int32(2) + Int32(3) + Int32(0) + Int32(recent) + Wide(u"/a/") + Wide(folder2);
}

// A growable writer's writes never fall short, a fixed one's are cut; Resize keeps what was
// filled and zero-fills the rest.
TEST(MemoryWriterTest, WritesGrowOrAreCutAndResizeZeroFills) {
    Data::MemoryWriter growable(4);
    EXPECT_EQ(growable.Write("0123456789", 2, 5), 5);
    EXPECT_EQ(Bytes(growable), "0123456789");
    growable.Rewind();
    EXPECT_EQ(growable.Write(nullptr, 4, 1), 1);  // no source: zeros
    EXPECT_EQ(Bytes(growable), std::string(4, '\0'));

    Data::MemoryWriter fixed(7, false);
    EXPECT_EQ(fixed.Write("0123456789", 2, 5), 3);  // 7 bytes went in: three whole elements
    EXPECT_EQ(Bytes(fixed), "0123456");
    EXPECT_EQ(fixed.Capacity(), 7u);
    EXPECT_THROW(Data::WriteExact(fixed, "z", 1), Data::EndOfBufferException);

    // How a setting is read: Reset, fill from outside, Resize to what was filled.
    Data::MemoryWriter writer;
    writer.Reset(32768);
    std::memcpy(writer.Data(), "hello", 5);
    writer.Resize(5);
    EXPECT_EQ(Bytes(writer), "hello");
    writer.Resize(7);
    EXPECT_EQ(Bytes(writer), std::string("hello\0\0", 7));
    writer.Resize(0);
    EXPECT_EQ(Bytes(writer), "");
}

TEST(MemoryReaderTest, ShortReadsCopyWhatIsLeftAndReachTheEnd) {
    for (std::size_t elementSize : {1u, 4u}) {
        SCOPED_TRACE(elementSize);
        Data::MemoryReader reader("0123456", 7, Data::MemoryReader::kBorrow);
        reader.Seek(4, 0);
        char out[4] = {'-', '-', '-', '-'};
        EXPECT_EQ(reader.Read(out, elementSize, 4 / elementSize), elementSize == 1 ? 3 : 0);
        EXPECT_EQ(std::string(out, 4), "456-");
        EXPECT_EQ(reader.Position(), 7);
        EXPECT_EQ(reader.Read(out, 1, 1), 0);
    }
}

TEST(MemoryReaderTest, SeekOriginsAndClamping) {
    Data::MemoryReader reader("abcdefgh", 8, Data::MemoryReader::kCopy);
    EXPECT_EQ(reader.Seek(3, 0), 3);
    EXPECT_EQ(reader.Seek(2, 1), 5);
    EXPECT_EQ(reader.Seek(-1, 2), 7);
    EXPECT_EQ(reader.Seek(0, 9), 7);  // unknown origin: unchanged
    EXPECT_EQ(reader.Seek(-100, 0), 0);
    EXPECT_EQ(reader.Seek(INT64_MAX, 1), 8);
}

// A reader made from a writer keeps its own copy, though the writer's block moves; one that
// adopted a block frees it, and reattaching that same block copies it before the free.
TEST(MemoryReaderTest, OwnsWhatItCopiesOrAdopts) {
    Data::MemoryWriter writer;
    writer.Write("old!", 1, 4);
    Data::MemoryReader fromWriter(writer);
    writer.Rewind();
    writer.Write("new!", 1, 4);
    writer.Grow(100000);  // moves the writer's block
    char out[4];
    ASSERT_EQ(fromWriter.Read(out, 1, 4), 4);
    EXPECT_EQ(std::string(out, 4), "old!");

    auto* block = static_cast<char*>(std::malloc(3));
    std::memcpy(block, "xyz", 3);
    Data::MemoryReader reader(block, 3, Data::MemoryReader::kAdopt);
    reader.Attach(block, 2, Data::MemoryReader::kCopy);
    ASSERT_EQ(reader.Read(out, 1, 2), 2);
    EXPECT_EQ(std::string(out, 2), "xy");
    reader.Release();
    EXPECT_EQ(reader.Read(out, 1, 2), 0);
}

// The string "/mé" whole, without its terminator, with half of it; one that does not fit.
TEST(ReadWideStringTest, StoresTheTerminatorOrThrowsWithoutOverrun) {
    const struct {
        std::u16string text;
        std::size_t cut;  // bytes cut off the end of its record
        int expected;     // the length returned, or -1: end of buffer, -2: does not fit
    } cases[] = {{u"/m\u00e9", 0, 3},
                 {u"", 0, 0},
                 {u"/m\u00e9", 2, -1},
                 {u"/m\u00e9", 1, -1},
                 {u"abcd", 0, -2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        const std::string bytes = Wide(c.text).substr(0, 2 * c.text.size() + 2 - c.cut);
        Data::MemoryReader reader(bytes.data(), static_cast<std::uint32_t>(bytes.size()), 0);
        // Capacity 4, terminator included; the fifth unit is a guard nothing may touch.
        char16_t buffer[5] = {u'#', u'#', u'#', u'#', u'#'};
        int result = -2;
        try {
            result = static_cast<int>(Data::ReadWideString(reader, buffer, 4));
        } catch (const Data::EndOfBufferException&) {
            result = -1;
        } catch (const Data::BufferException&) {
        }
        EXPECT_EQ(result, c.expected);
        if (result >= 0) {
            EXPECT_EQ(std::u16string(buffer, result + 1), c.text + u'\0');
        }
        EXPECT_EQ(buffer[4], u'#');
    }
}

PaneState Sample() {
    PaneState state;
    state.columnWidth = {150, 0, -1};
    state.folder = {"/a/", "/"};
    state.lastFolderByDrive = {{7, "/m/"}, {DriveKeyOf("/"), "/usr/"}, {3, "/x/y/"}};
    state.recentFolders = {"/r/", "/home/\xc3\xa9t\xc3\xa9/", "/q/"};
    return state;
}

TEST(PaneStateTest, GoldenBytes) {
    PaneState state;
    state.columnWidth = {150, 0, -1};
    state.folder = {"/a/", "/"};
    state.lastFolderByDrive = {{7, "/m/"}};
    state.recentFolders = {"/\xc3\xa9\xf0\x9d\x84\x9e/"};  // é and U+1D11E (a surrogate pair)
    // Widths; table size and list size 1; the two folders; the table; the list.
    const std::string expected(
        "\x96\x00\x00\x00\x00\x00\x00\x00\xff\xff\xff\xff\x01\x00\x00\x00\x01\x00\x00\x00"
        "/\x00"
        "a\x00/\x00\x00\x00/\x00\x00\x00\x07\x00\x00\x00/\x00m\x00/\x00\x00\x00"
        "/\x00\xe9\x00\x34\xd8\x1e\xdd/\x00\x00\x00",
        56);
    EXPECT_EQ(Record(state), expected);
}

TEST(PaneStateTest, DriveKeyIsFnv1aOfTheRootWithItsSeparator) {
    EXPECT_EQ(DriveKeyOf("/"), 0x2a0c975eu);
    EXPECT_EQ(DriveKeyOf("/home/"), 0x7f5d347au);
    EXPECT_EQ(DriveKeyOf("/home"), DriveKeyOf("/home/"));
}

TEST(PaneStateTest, EveryCutKeepsWhatCameBefore) {
    const PaneState state = Sample();
    const std::string record = Record(state);
    // In the middle of the second table entry's folder (keys ascending: 3, 7, ...).
    const std::size_t insideTable = record.find(Int32(7) + Wide(u"/m/")) + 6;
    ASSERT_LT(insideTable, record.size());
    PaneState before;
    before.folder = {"/old1/", "/old2/"};
    before.recentFolders = {"/kept/"};
    before.lastFolderByDrive = {{3, "/replaced?/"}, {99, "/other/"}};
    for (std::size_t cut = 0; cut < record.size(); ++cut) {
        SCOPED_TRACE(cut);
        PaneState loaded = Load(record.substr(0, cut), before);
        // A width is taken whole or not at all.
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(loaded.columnWidth[i],
                      cut >= 4u * (i + 1) ? state.columnWidth[i] : before.columnWidth[i]);
        }
        EXPECT_TRUE(loaded.folder[0] == before.folder[0] || loaded.folder[0] == "/a/");
        EXPECT_EQ(loaded.lastFolderByDrive.at(99), "/other/");
        ASSERT_GE(loaded.recentFolders.size(), 1u);
        EXPECT_EQ(loaded.recentFolders.front(), "/kept/");
        EXPECT_LT(loaded.recentFolders.size(), 1u + state.recentFolders.size());
        if (cut == insideTable) {
            EXPECT_EQ(loaded.folder, state.folder);
            EXPECT_EQ(loaded.lastFolderByDrive,
                      (std::map<std::uint32_t, std::string>{{3, "/x/y/"}, {99, "/other/"}}));
            EXPECT_EQ(loaded.recentFolders, std::vector<std::string>{"/kept/"});
        }
    }
}

TEST(PaneStateTest, IllFormedTextBecomesReplacementCharacters) {
    PaneState state;
    state.folder[0] = "/bad\xff/";
    state.recentFolders = {"x\xe2\x82"};  // a sequence cut short
    PaneState loaded = Load(Record(state));
    EXPECT_EQ(loaded.folder[0], "/bad\xef\xbf\xbd/");
    EXPECT_EQ(loaded.recentFolders, std::vector<std::string>{"x\xef\xbf\xbd"});

    // An unpaired surrogate in a stored record.
    std::string record = Head(1, u"/") + Wide(std::u16string(u"a") + char16_t(0xDC00));
    EXPECT_EQ(Load(record).recentFolders, std::vector<std::string>{"a\xef\xbf\xbd"});
}

// A relative folder would be taken against whatever the current folder is at the time.
TEST(PaneStateTest, SideFoldersThatAreNotAbsoluteKeepTheOldOnes) {
    const std::string head = Int32(1) + Int32(2) + Int32(3) + Int32(0) + Int32(0);
    PaneState before;
    before.folder = {"/old1/", "/old2/"};
    EXPECT_EQ(Load(head + Wide(u"rel/dir") + Wide(u""), before).folder, before.folder);
    EXPECT_EQ(Load(head + Wide(u"\"x/../y\"") + Wide(u"/b/../c"), before).folder,
              (std::array<std::string, 2>{"/old1/", "/c/"}));
}

TEST(PaneStateTest, LongestStringIs1023Units) {
    for (std::size_t units : {1023u, 1024u, 5000u}) {
        SCOPED_TRACE(units);
        std::string record = Head(2, u"/b/") + Wide(std::u16string(units, u'x')) + Wide(u"/after/");
        PaneState before;
        before.recentFolders = {"/kept/"};
        PaneState loaded = Load(record, before);
        EXPECT_EQ(loaded.folder[1], "/b/");
        EXPECT_EQ(loaded.recentFolders.size(), units < kPaneStateStringUnits ? 3u : 1u);
    }
}

// Folders are stored as given and made canonical on reading; strings too long to be read
// back are left out when saving. A write that falls short is passed on, not swallowed.
TEST(PaneStateTest, SavedRecordAlwaysLoadsBack) {
    PaneState state = Sample();
    const std::string deep = "/" + std::string(700, 'x') + "/" + std::string(700, 'y') + "/";
    state.folder = {"/a/b/../c", "\"/My Files\""};
    state.lastFolderByDrive[1] = deep;
    state.recentFolders.push_back(deep);
    PaneState loaded = Load(Record(state));
    EXPECT_EQ(loaded.columnWidth, state.columnWidth);
    EXPECT_EQ(loaded.folder[0], "/a/c/");
    EXPECT_EQ(loaded.folder[1], "/My Files/");
    state.lastFolderByDrive.erase(1);
    state.recentFolders.pop_back();
    EXPECT_EQ(loaded.lastFolderByDrive, state.lastFolderByDrive);
    EXPECT_EQ(loaded.recentFolders, state.recentFolders);

    state.folder[0] = deep;  // cut back to what fits
    EXPECT_EQ(Load(Record(state)).folder[0], "/" + std::string(700, 'x') + "/");

    Data::MemoryWriter fixed(10, false);
    EXPECT_THROW(SavePaneState(fixed, state), Data::EndOfBufferException);
}

TEST(Utf16Test, DecodesWithOneReplacementPerBadStretch) {
    using C = std::pair<const char*, std::u16string>;
    for (const auto& [utf8, utf16] :
         {C{"a\xc3\xa9", u"a\u00e9"}, C{"\xf0\x9f\x98\x80", u"\U0001F600"},
          C{"\xc0\xaf", u"\ufffd\ufffd"},                         // overlong
          C{"\xed\xa0\x80", u"\ufffd\ufffd\ufffd"},               // encoded surrogate
          C{"\xe2\x82z", u"\ufffdz"},                             // cut short
          C{"\xf4\x90\x80\x80", u"\ufffd\ufffd\ufffd\ufffd"}}) {  // above U+10FFFF
        EXPECT_EQ(Utf8ToUtf16(utf8), utf16) << utf8;
    }
}

}  // namespace
}  // namespace tolvane
