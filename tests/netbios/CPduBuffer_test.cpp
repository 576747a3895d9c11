#include "netbios/CPduBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

TEST(CPduBuffer, WritesAppendAndReadsFollowInOrder) {
    CPduBuffer buffer;
    EXPECT_TRUE(buffer.WriteByte(0x04));
    EXPECT_EQ(buffer.WriteBytes("AB", 2), 2u);
    EXPECT_TRUE(buffer.WriteWord(0x1234));
    EXPECT_EQ(buffer.Length(), 5u);
    EXPECT_EQ(std::vector<uint8_t>(buffer.Bytes().begin(), buffer.Bytes().end()),
              (std::vector<uint8_t>{0x04, 'A', 'B', 0x34, 0x12}));

    uint8_t byte = 0;
    char two[2] = {};
    uint16_t word = 0;
    EXPECT_TRUE(buffer.ReadByte(byte));
    EXPECT_EQ(byte, 0x04);
    EXPECT_EQ(buffer.ReadBytes(two, 2), 2u);
    EXPECT_EQ(two[1], 'B');
    EXPECT_TRUE(buffer.ReadWord(word));
    EXPECT_EQ(word, 0x1234);
    EXPECT_EQ(buffer.Remaining(), 0u);
}

TEST(CPduBuffer, ReadsStopAtTheLength) {
    CPduBuffer buffer;
    buffer.WriteBytes("xyz", 3);
    char out[8] = {};
    EXPECT_EQ(buffer.ReadBytes(out, sizeof out), 3u);
    uint8_t byte = 0x55;
    EXPECT_FALSE(buffer.ReadByte(byte));
    EXPECT_EQ(byte, 0x55);

    // A word needs both bytes; a lone last byte stays unread.
    buffer.Clear();
    buffer.WriteByte(0x7F);
    uint16_t word = 0xBEEF;
    EXPECT_FALSE(buffer.ReadWord(word));
    EXPECT_EQ(word, 0xBEEF);
    EXPECT_EQ(buffer.ReadPosition(), 0u);
    EXPECT_EQ(buffer.Skip(10), 1u);

    buffer.Rewind();
    EXPECT_TRUE(buffer.ReadByte(byte));
    EXPECT_EQ(byte, 0x7F);
}

TEST(CPduBuffer, RefusesWhatDoesNotFitAndSaysSo) {
    CPduBuffer buffer;
    const std::vector<uint8_t> block(1000, 0xAA);
    EXPECT_EQ(buffer.WriteBytes(block.data(), block.size()), 1000u);
    EXPECT_FALSE(buffer.Overflowed());

    const std::vector<uint8_t> more(30, 0xBB);
    EXPECT_EQ(buffer.WriteBytes(more.data(), more.size()), 24u);
    EXPECT_TRUE(buffer.Overflowed());
    EXPECT_EQ(buffer.Length(), CPduBuffer::kCapacity);
    EXPECT_FALSE(buffer.WriteByte(0xCC));
    EXPECT_FALSE(buffer.WriteWord(0xCCCC));
    EXPECT_EQ(buffer.Data()[CPduBuffer::kCapacity - 1], 0xBB);

    buffer.Clear();
    EXPECT_FALSE(buffer.Overflowed());
    EXPECT_EQ(buffer.Length(), 0u);

    // One byte of room: a word is cut, and the cut is reported.
    buffer.WriteBytes(std::vector<uint8_t>(1023, 0).data(), 1023);
    EXPECT_FALSE(buffer.WriteWord(0x0102));
    EXPECT_EQ(buffer.Length(), CPduBuffer::kCapacity);
    EXPECT_TRUE(buffer.Overflowed());
}

TEST(CPduBuffer, AssignAndReceivedLengthAreBoundedByTheCapacity) {
    CPduBuffer buffer;
    const std::vector<uint8_t> big(1500, 0x11);
    EXPECT_FALSE(buffer.Assign(big));
    EXPECT_EQ(buffer.Length(), CPduBuffer::kCapacity);

    const std::vector<uint8_t> small = {1, 2, 3};
    EXPECT_TRUE(buffer.Assign(small));
    EXPECT_EQ(buffer.Length(), 3u);
    EXPECT_FALSE(buffer.Overflowed());

    buffer.Data()[0] = 9;
    buffer.SetLength(5000);  // a receive can never report more than the area
    EXPECT_EQ(buffer.Length(), CPduBuffer::kCapacity);
    buffer.SetLength(1);
    EXPECT_EQ(buffer.ReadPosition(), 0u);
    uint8_t byte = 0;
    EXPECT_TRUE(buffer.ReadByte(byte));
    EXPECT_EQ(byte, 9);
    EXPECT_FALSE(buffer.ReadByte(byte));
}

}  // namespace
