#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "items/DataExceptions.h"
#include "items/DataFunctions.h"
#include "items/DataMemoryReader.h"
#include "items/DataMemoryWriter.h"

namespace {

struct GrowCase {
    std::uint32_t capacity;
    std::uint32_t needed;
    std::uint32_t expected;
};

class GrowTest : public testing::TestWithParam<GrowCase> {};

TEST_P(GrowTest, DoublesWithFloorOf1024OrTakesWhatIsNeeded) {
    const GrowCase& c = GetParam();
    Data::MemoryWriter writer(c.capacity);
    writer.Write("abc", 1, 3);
    writer.Grow(c.needed);
    EXPECT_EQ(writer.Capacity(), c.expected);
    ASSERT_EQ(writer.Length(), 3u);
    EXPECT_EQ(std::memcmp(writer.Data(), "abc", 3), 0);
}

INSTANTIATE_TEST_SUITE_P(Capacities, GrowTest,
                         testing::Values(GrowCase{300, 310, 1024}, GrowCase{1024, 1500, 2048},
                                         GrowCase{1024, 5000, 5000}, GrowCase{512, 600, 1024},
                                         GrowCase{513, 600, 1026}));

TEST(MemoryWriterTest, WriteGrowsAGrowableBlockAndCutsAFixedOne) {
    Data::MemoryWriter growable(4);
    std::vector<char> bytes(10, 'x');
    EXPECT_EQ(growable.Write(bytes.data(), 2, 5), 5);
    EXPECT_EQ(growable.Length(), 10u);
    EXPECT_EQ(growable.Capacity(), 1024u);

    Data::MemoryWriter fixed(7, false);
    EXPECT_EQ(fixed.Write(bytes.data(), 2, 5), 3);  // 7 bytes went in: three whole elements
    EXPECT_EQ(fixed.Length(), 7u);
    EXPECT_EQ(fixed.Capacity(), 7u);
    EXPECT_THROW(Data::WriteExact(fixed, "z", 1), Data::EndOfBufferException);
}

TEST(MemoryWriterTest, NullSourceWritesZeros) {
    Data::MemoryWriter writer;
    writer.Write("\xff\xff", 1, 2);
    writer.Rewind();
    EXPECT_EQ(writer.Write(nullptr, 4, 1), 1);
    EXPECT_EQ(writer.Length(), 4u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(writer.Data()), 4), std::string(4, '\0'));
}

TEST(MemoryWriterTest, ResizeKeepsDataAndZeroFillsTheRest) {
    Data::MemoryWriter writer;
    writer.Write("abcd", 1, 4);
    writer.Resize(6);
    ASSERT_EQ(writer.Length(), 6u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(writer.Data()), 6),
              std::string("abcd\0\0", 6));
    writer.Resize(2);
    EXPECT_EQ(writer.Capacity(), 2u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(writer.Data()), 2), "ab");
}

TEST(MemoryWriterTest, ResetThenResizeAsAnOutsideFillerUsesIt) {
    Data::MemoryWriter writer;
    writer.Reset(32768);
    EXPECT_EQ(writer.Length(), 32768u);
    EXPECT_EQ(writer.Capacity(), 32768u);
    std::memcpy(writer.Data(), "hello", 5);
    writer.Resize(5);
    EXPECT_EQ(writer.Length(), 5u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(writer.Data()), 5), "hello");
}

TEST(MemoryWriterTest, ReallocateShrinksLengthAndFreeEmpties) {
    Data::MemoryWriter writer;
    writer.Write("abcdef", 1, 6);
    writer.Reallocate(3);
    EXPECT_EQ(writer.Length(), 3u);
    EXPECT_EQ(writer.Capacity(), 3u);
    writer.Free();
    EXPECT_EQ(writer.Data(), nullptr);
    EXPECT_EQ(writer.Length(), 0u);
    // A freed growable writer still accepts writes.
    EXPECT_EQ(writer.Write("x", 1, 1), 1);
    EXPECT_EQ(writer.Capacity(), 1024u);
}

TEST(MemoryReaderTest, ShortReadsCopyWhatIsLeftAndReachTheEnd) {
    const char bytes[] = "0123456";  // 7 bytes used
    for (std::size_t elementSize : {1u, 4u}) {
        SCOPED_TRACE(elementSize);
        Data::MemoryReader reader(bytes, 7, Data::MemoryReader::kBorrow);
        reader.Seek(4, 0);
        char out[4] = {'-', '-', '-', '-'};
        std::int32_t expected = elementSize == 1 ? 3 : 0;
        EXPECT_EQ(reader.Read(out, elementSize, 4 / elementSize), expected);
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
    EXPECT_EQ(reader.Size(), 8);
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
    EXPECT_EQ(reader.Size(), 0);
    EXPECT_EQ(reader.Read(out, 1, 2), 0);
}

std::string Utf16Bytes(const std::u16string& text) {
    std::string bytes;
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xff);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

TEST(ReadWideStringTest, StoresTheTerminatorAndThrowsWithoutIt) {
    std::string withZero = Utf16Bytes(std::u16string(u"/m\u00e9") + u'\0');
    Data::MemoryReader reader(withZero.data(), static_cast<std::uint32_t>(withZero.size()), 0);
    char16_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(Data::ReadWideString(reader, buffer, 8), 3u);
    EXPECT_EQ(std::u16string(buffer, 5), std::u16string(u"/m\u00e9\0#", 5));

    std::string withoutZero = Utf16Bytes(u"/m\u00e9");
    Data::MemoryReader cut(withoutZero.data(), static_cast<std::uint32_t>(withoutZero.size()), 0);
    EXPECT_THROW(Data::ReadWideString(cut, buffer, 8), Data::EndOfBufferException);

    std::string oddByte = withoutZero + '\0';  // half a terminator
    Data::MemoryReader odd(oddByte.data(), static_cast<std::uint32_t>(oddByte.size()), 0);
    EXPECT_THROW(Data::ReadWideString(odd, buffer, 8), Data::EndOfBufferException);
}

TEST(ReadWideStringTest, RejectsAStringThatDoesNotFitWithoutOverrun) {
    char16_t buffer[5];
    buffer[4] = u'#';
    std::string fits = Utf16Bytes(std::u16string(u"abc") + u'\0');
    Data::MemoryReader reader(fits.data(), static_cast<std::uint32_t>(fits.size()), 0);
    EXPECT_EQ(Data::ReadWideString(reader, buffer, 4), 3u);

    std::string tooLong = Utf16Bytes(std::u16string(u"abcd") + u'\0');
    Data::MemoryReader longReader(tooLong.data(), static_cast<std::uint32_t>(tooLong.size()), 0);
    try {
        Data::ReadWideString(longReader, buffer, 4);
        ADD_FAILURE() << "no exception";
    } catch (const Data::EndOfBufferException&) {
        ADD_FAILURE() << "a too-long string is not an end of buffer";
    } catch (const Data::BufferException&) {
    }
    EXPECT_EQ(buffer[4], u'#');
}

TEST(DataExceptionsTest, EndOfBufferMessage) {
    Data::EndOfBufferException e;
    EXPECT_STREQ(e.what(), "End of buffer");
    const Data::BufferException& base = e;
    EXPECT_STREQ(base.what(), "End of buffer");
}

}  // namespace
