#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "items/DataExceptions.h"
#include "items/DataFunctions.h"
#include "items/DataMemoryReader.h"
#include "items/DataMemoryWriter.h"

namespace {

std::string Bytes(const Data::MemoryWriter& writer) {
    return std::string(reinterpret_cast<const char*>(writer.Data()), writer.Length());
}

TEST(MemoryWriterTest, GrowableWritesNeverFallShortFixedOnesAreCut) {
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
}

// How a setting is read: Reset, fill from outside, Resize to what was filled.
TEST(MemoryWriterTest, ResizeKeepsWhatWasFilledAndZeroFillsTheRest) {
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
    EXPECT_EQ(reader.Seek(100, 1), 8);
    EXPECT_EQ(reader.Seek(-100, 0), 0);
    EXPECT_EQ(reader.Seek(INT64_MAX, 1), 8);
}

TEST(MemoryReaderTest, ReaderFromAWriterKeepsItsOwnCopy) {
    Data::MemoryWriter writer;
    writer.Write("old!", 1, 4);
    Data::MemoryReader reader(writer);
    writer.Rewind();
    writer.Write("new!", 1, 4);
    writer.Grow(100000);  // moves the writer's block
    char out[4];
    ASSERT_EQ(reader.Read(out, 1, 4), 4);
    EXPECT_EQ(std::string(out, 4), "old!");
}

TEST(MemoryReaderTest, AdoptFreesAndReattachingItsOwnBlockKeepsIt) {
    auto* block = static_cast<char*>(std::malloc(3));
    std::memcpy(block, "xyz", 3);
    Data::MemoryReader reader(block, 3, Data::MemoryReader::kAdopt);
    reader.Attach(block, 2, Data::MemoryReader::kCopy);
    char out[2];
    ASSERT_EQ(reader.Read(out, 1, 2), 2);
    EXPECT_EQ(std::string(out, 2), "xy");
    reader.Release();
    EXPECT_EQ(reader.Read(out, 1, 2), 0);
}

TEST(ReadWideStringTest, StoresTheTerminatorOrThrowsWithoutOverrun) {
    struct {
        std::u16string text;  // stored as UTF-16LE, then `tail`
        std::string tail;
        int expected;  // the length returned, or -1: end of buffer, -2: does not fit
    } const cases[] = {{u"/m\u00e9", std::string(2, '\0'), 3},
                       {u"", std::string(2, '\0'), 0},
                       {u"/m\u00e9", "", -1},
                       {u"/m\u00e9", std::string(1, '\0'), -1},  // half a terminator
                       {u"abcd", std::string(2, '\0'), -2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        std::string bytes;
        for (char16_t unit : c.text) {
            bytes += {static_cast<char>(unit & 0xff), static_cast<char>(unit >> 8)};
        }
        bytes += c.tail;
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

}  // namespace
