#include "platform/nbt/NbtDatagramPacket.h"

#include <gtest/gtest.h>

#include "platform/nbt/NbtConstants.h"
#include "tests/platform/NbtTestBytes.h"

using nbttest::Bytes;

namespace {

NbtName MakeName(std::string_view name, uint8_t suffix) {
    return NbtName::Make(name, suffix).Value();
}

NbtDatagramPacket GroupDatagram() {
    NbtDatagramPacket packet;
    packet.msgType = kDgmDirectGroup;
    packet.flags = kDgmFlagFirst;
    packet.dgmId = 0x4242;
    packet.sourceIp = 0xC0A80105;
    packet.sourcePort = kNbtDatagramPort;
    packet.sourceName = MakeName("PEER", 0x00);
    packet.destinationName = MakeName("WORKGROUP", 0x00);
    packet.userData = Bytes("hello");
    return packet;
}

NbtBytes Encode(const NbtDatagramPacket& packet) {
    auto bytes = packet.Encode();
    EXPECT_TRUE(bytes.Ok());
    return bytes.Ok() ? bytes.Value() : NbtBytes();
}

}  // namespace

TEST(NbtDatagramPacketTest, DirectGroupBytesOnTheWire) {
    const NbtDatagramPacket packet = GroupDatagram();
    // DGM_LENGTH counts both names and the user data, not the 14-byte header.
    EXPECT_EQ(Encode(packet), Bytes({0x11, 0x02, 0x42, 0x42, 192, 168, 1, 5, 0x00, 138})
                                  .Add({0x00, 34 + 34 + 5, 0x00, 0x00})
                                  .Add(packet.sourceName.EncodeWire())
                                  .Add(packet.destinationName.EncodeWire())
                                  .Add("hello")
                                  .Get());
}

TEST(NbtDatagramPacketTest, EveryMessageTypeRoundTrips) {
    NbtDatagramPacket unique = GroupDatagram();
    unique.msgType = kDgmDirectUnique;
    unique.flags = kDgmFlagFirst | kDgmFlagMore | kDgmSntM;
    unique.packetOffset = 0;
    NbtDatagramPacket fragment = GroupDatagram();
    fragment.msgType = kDgmBroadcast;
    fragment.flags = kDgmSntB;
    fragment.packetOffset = 400;
    fragment.userData.clear();
    NbtDatagramPacket error;
    error.msgType = kDgmError;
    error.errorCode = kDgmErrDestinationUnknown;
    std::vector<NbtDatagramPacket> packets = {GroupDatagram(), unique, fragment, error};
    for (uint8_t type : {kDgmQueryRequest, kDgmPositiveQueryResponse, kDgmNegativeQueryResponse}) {
        NbtDatagramPacket query;
        query.msgType = type;
        query.destinationName = MakeName("PEER", 0x03);
        packets.push_back(query);
    }
    for (const NbtDatagramPacket& packet : packets) {
        SCOPED_TRACE(static_cast<int>(packet.msgType));
        const NbtBytes bytes = Encode(packet);
        const auto decoded = NbtDatagramPacket::Decode(bytes);
        ASSERT_TRUE(decoded.Ok()) << NbtErrorText(decoded.Error());
        EXPECT_EQ(decoded.Value(), packet);
        // And no prefix of it decodes.
        for (size_t length = 0; length < bytes.size(); ++length) {
            EXPECT_FALSE(NbtDatagramPacket::Decode(std::span(bytes.data(), length)).Ok()) << length;
        }
    }
    EXPECT_EQ(Encode(error).size(), 11u);
}

TEST(NbtDatagramPacketTest, UserDataEndsAtDgmLength) {
    NbtBytes bytes = Encode(GroupDatagram());
    bytes.push_back(0xEE);  // a trailing byte outside DGM_LENGTH
    const auto decoded = NbtDatagramPacket::Decode(bytes);
    ASSERT_TRUE(decoded.Ok());
    EXPECT_EQ(decoded.Value().userData, Bytes("hello").Get());
}

TEST(NbtDatagramPacketTest, RejectsMalformedDatagrams) {
    const NbtBytes valid = Encode(GroupDatagram());
    NbtBytes longLength = valid;
    nbttest::PatchU16Be(longLength, 10, 34 + 34 + 6);
    NbtBytes shortLength = valid;
    nbttest::PatchU16Be(shortLength, 10, 34 + 20);  // ends inside the destination name
    NbtBytes badType = valid;
    badType[0] = 0x17;
    NbtBytes sessionType = valid;
    sessionType[0] = 0x00;
    NbtBytes compressed(valid.begin(), valid.begin() + 14);
    nbttest::PatchU16Be(compressed, 10, 34 + 2);
    compressed = Bytes(compressed).Add(GroupDatagram().sourceName.EncodeWire()).Add({0xC0, 0x0E});
    struct Case {
        const char* what;
        NbtBytes bytes;
        NbtError error;
    };
    const Case cases[] = {
        {"DGM_LENGTH past the end", longLength, NbtError::Truncated},
        {"names longer than DGM_LENGTH", shortLength, NbtError::BadLength},
        {"unknown type", badType, NbtError::BadType},
        {"type 0", sessionType, NbtError::BadType},
        {"compressed name", compressed, NbtError::BadPointer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto result = NbtDatagramPacket::Decode(c.bytes);
        ASSERT_FALSE(result.Ok());
        EXPECT_EQ(result.Error(), c.error) << NbtErrorText(result.Error());
    }
}

TEST(NbtDatagramPacketTest, EncodeRefusesWhatTheHeaderCannotCarry) {
    NbtDatagramPacket packet = GroupDatagram();
    packet.userData.assign(65535 - 68 + 1, 'x');
    EXPECT_EQ(packet.Encode().Error(), NbtError::TooLarge);
    packet.userData.pop_back();
    EXPECT_TRUE(packet.Encode().Ok());
    packet.msgType = 0x20;
    EXPECT_EQ(packet.Encode().Error(), NbtError::BadType);
}
