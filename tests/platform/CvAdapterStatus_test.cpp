#include "platform/CvAdapterStatus.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/CvNcb.h"

namespace {

CvAdapterStatus::Name MakeName(const char* text, uint8_t suffix, uint8_t number, uint8_t flags) {
    CvAdapterStatus::Name name;
    uint8_t field[16];
    CvSetNetbiosName(field, text, std::strlen(text), suffix);
    std::copy(std::begin(field), std::end(field), name.name.begin());
    name.number = number;
    name.flags = flags;
    return name;
}

CvAdapterStatus TwoNames() {
    CvAdapterStatus status;
    status.mac = {0x02, 0x00, 0x00, 0x00, 0x07, 0x01};
    status.pendingSessions = 3;
    status.names.push_back(MakeName("HOST", 0x03, 1, kNameFlagRegistered));
    status.names.push_back(MakeName("WORKGROUP", 0x00, 2, kNameFlagRegistered | kNameFlagGroup));
    return status;
}

TEST(CvAdapterStatus, EncodesTheWindowsLayout) {
    const CvAdapterStatus status = TwoNames();
    std::vector<uint8_t> buffer(100, 0xEE);
    uint16_t length = static_cast<uint16_t>(buffer.size());
    ASSERT_EQ(status.Encode(buffer.data(), length), kNrcGoodRet);
    ASSERT_EQ(length, 60 + 2 * 18);

    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 6),
              std::vector<uint8_t>(status.mac.begin(), status.mac.end()));
    EXPECT_EQ(buffer[48], 0x00);  // max_dgram_size 512, little-endian
    EXPECT_EQ(buffer[49], 0x02);
    EXPECT_EQ(buffer[50], 3);  // pending_sess
    EXPECT_EQ(buffer[58], 2);  // name_count
    EXPECT_EQ(buffer[59], 0);
    EXPECT_EQ(std::string(buffer.begin() + 60, buffer.begin() + 75), "HOST           ");
    EXPECT_EQ(buffer[75], 0x03);
    EXPECT_EQ(buffer[76], 1);
    EXPECT_EQ(buffer[77], 0x04);
    EXPECT_EQ(buffer[78 + 16], 2);
    EXPECT_EQ(buffer[78 + 17], 0x84);
    EXPECT_EQ(buffer[96], 0xEE);  // nothing written past the answer
}

TEST(CvAdapterStatus, RoundTrips) {
    const CvAdapterStatus status = TwoNames();
    std::vector<uint8_t> buffer(CvAdapterStatus::EncodedSize(2) + 5);
    uint16_t length = static_cast<uint16_t>(buffer.size());
    ASSERT_EQ(status.Encode(buffer.data(), length), kNrcGoodRet);
    const auto decoded = CvAdapterStatus::Decode(buffer);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, status);
    EXPECT_FALSE(decoded->names[0].IsGroup());
    EXPECT_TRUE(decoded->names[1].IsGroup());
}

TEST(CvAdapterStatus, CutAnswerIsIncompleteAndNotDecoded) {
    const CvAdapterStatus status = TwoNames();
    for (uint16_t room : {0, 10, 59, 60, 77, 78, 95}) {
        SCOPED_TRACE(room);
        std::vector<uint8_t> buffer(room + 1, 0xEE);
        uint16_t length = room;
        EXPECT_EQ(status.Encode(buffer.data(), length), kNrcIncomp);
        EXPECT_EQ(length, room);
        EXPECT_EQ(buffer[room], 0xEE);
        EXPECT_FALSE(CvAdapterStatus::Decode(std::span(buffer.data(), room)));
    }
}

TEST(CvAdapterStatus, NullBufferIsRejected) {
    uint16_t length = 10;
    EXPECT_EQ(TwoNames().Encode(nullptr, length), kNrcBufLen);
    EXPECT_EQ(length, 0);
}

TEST(CvAdapterStatus, DecodesAnEmptyNameTable) {
    std::vector<uint8_t> bytes(60, 0);
    bytes[0] = 0xAA;
    const auto decoded = CvAdapterStatus::Decode(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->mac[0], 0xAA);
    EXPECT_TRUE(decoded->names.empty());
}

}  // namespace
