#include "platform/nbt/NbtNamePacket.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/nbt/NbtConstants.h"
#include "platform/nbt/NbtNamePacketBuilder.h"
#include "platform/nbt/NbtNbAddress.h"
#include "platform/nbt/NbtNodeStatus.h"
#include "tests/platform/NbtTestBytes.h"

using nbttest::Bytes;

namespace {

constexpr uint32_t kIp = 0xC0A80105;  // 192.168.1.5

NbtName MakeName(std::string_view name, uint8_t suffix) {
    return NbtName::Make(name, suffix).Value();
}

NbtBytes Encode(const NbtNamePacket& packet) {
    auto bytes = packet.Encode();
    EXPECT_TRUE(bytes.Ok());
    return bytes.Ok() ? bytes.Value() : NbtBytes();
}

NbtNamePacket RegistrationRequest() {
    return NbtNamePacketBuilder::RegistrationRequest(0x1234, MakeName("PEER", 0x03), kNbFlagOntB,
                                                     kIp);
}

std::vector<NbtNodeStatusEntry> StatusNames(size_t count) {
    std::vector<NbtNodeStatusEntry> names;
    for (size_t i = 0; i < count; ++i) {
        names.push_back({MakeName("NAME" + std::to_string(i), 0x03), kNameFlagActive});
    }
    return names;
}

const std::array<uint8_t, 6> kUnitId = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

}  // namespace

TEST(NbtNamePacketTest, BuildersUseTheExpectedFlagsAndSections) {
    const NbtName name = MakeName("PEER", 0x03);
    const auto negative = NbtNamePacketBuilder::NegativeRegistrationResponse(RegistrationRequest());
    ASSERT_TRUE(negative.Ok());
    struct Case {
        const char* what;
        NbtNamePacket packet;
        uint16_t flags;
        size_t qd, an, ar;
    };
    const NbtNbAddress address{0, kIp};
    const Case cases[] = {
        {"query broadcast", NbtNamePacketBuilder::NameQueryRequest(1, name, true), 0x0110, 1, 0, 0},
        {"query unicast", NbtNamePacketBuilder::NameQueryRequest(1, name, false), 0x0100, 1, 0, 0},
        {"positive query response",
         NbtNamePacketBuilder::PositiveQueryResponse(1, name, 0, {&address, 1}), 0x8580, 0, 1, 0},
        {"registration", RegistrationRequest(), 0x2910, 1, 0, 1},
        {"overwrite demand", NbtNamePacketBuilder::OverwriteDemand(1, name, 0, kIp), 0x2810, 1, 0,
         1},
        {"negative registration", negative.Value(), 0xAD86, 0, 1, 0},
        {"conflict demand", NbtNamePacketBuilder::ConflictDemand(1, name, {}), 0xAD87, 0, 1, 0},
        {"release", NbtNamePacketBuilder::ReleaseRequest(1, name, 0, kIp), 0x3010, 1, 0, 1},
        {"node status request", NbtNamePacketBuilder::NodeStatusRequest(1), 0x0000, 1, 0, 0},
        {"node status response",
         NbtNamePacketBuilder::NodeStatusResponse(1, name, StatusNames(1), kUnitId), 0x8400, 0, 1,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const NbtBytes bytes = Encode(c.packet);
        ASSERT_GE(bytes.size(), 12u);
        EXPECT_EQ((bytes[2] << 8) | bytes[3], c.flags);
        EXPECT_EQ((bytes[4] << 8) | bytes[5], c.qd);
        EXPECT_EQ((bytes[6] << 8) | bytes[7], c.an);
        EXPECT_EQ((bytes[8] << 8) | bytes[9], 0);
        EXPECT_EQ((bytes[10] << 8) | bytes[11], c.ar);
        // Every built packet decodes back to itself.
        const auto decoded = NbtNamePacket::Decode(bytes);
        ASSERT_TRUE(decoded.Ok()) << NbtErrorText(decoded.Error());
        EXPECT_EQ(decoded.Value(), c.packet);
    }
}

TEST(NbtNamePacketTest, QueryAndRegistrationBytesOnTheWire) {
    const NbtBytes nameWire = MakeName("TESTNAME", 0x03).EncodeWire();
    EXPECT_EQ(
        Encode(NbtNamePacketBuilder::NameQueryRequest(0xBEEF, MakeName("TESTNAME", 0x03), true)),
        Bytes({0xBE, 0xEF, 0x01, 0x10, 0, 1, 0, 0, 0, 0, 0, 0})
            .Add(nameWire)
            .Add({0x00, 0x20, 0x00, 0x01})
            .Get());

    const NbtBytes registration = Encode(NbtNamePacketBuilder::RegistrationRequest(
        0x1234, MakeName("TESTNAME", 0x03), kNbFlagGroup | kNbFlagOntB, kIp));
    EXPECT_EQ(registration, Bytes({0x12, 0x34, 0x29, 0x10, 0, 1, 0, 0, 0, 0, 0, 1})
                                .Add(nameWire)
                                .Add({0x00, 0x20, 0x00, 0x01})
                                .Add({0xC0, 0x0C, 0x00, 0x20, 0x00, 0x01, 0, 0, 0, 0, 0x00, 0x06})
                                .Add({0x80, 0x00, 192, 168, 1, 5})
                                .Get());
}

TEST(NbtNamePacketTest, NegativeRegistrationResponseCopiesTheRequest) {
    const NbtNamePacket request = RegistrationRequest();
    const auto response = NbtNamePacketBuilder::NegativeRegistrationResponse(request);
    ASSERT_TRUE(response.Ok());
    EXPECT_EQ(response.Value().trnId, request.trnId);
    EXPECT_EQ(response.Value().Rcode(), kNbtRcodeActErr);
    EXPECT_EQ(response.Value().Opcode(), kNbtOpRegistration);
    ASSERT_EQ(response.Value().answers.size(), 1u);
    EXPECT_EQ(response.Value().answers[0].name, request.questions[0].name);
    EXPECT_EQ(response.Value().answers[0].ttl, 0u);
    EXPECT_EQ(response.Value().answers[0].rdata, request.additionals[0].rdata);

    NbtNamePacket noAdditional = request;
    noAdditional.additionals.clear();
    EXPECT_EQ(NbtNamePacketBuilder::NegativeRegistrationResponse(noAdditional).Error(),
              NbtError::BadCount);
}

TEST(NbtNamePacketTest, NbAddressListRoundTripsAndChecksLength) {
    const std::vector<NbtNbAddress> entries = {{kNbFlagGroup, kIp}, {kNbFlagOntH, 0x0A000001}};
    const NbtBytes rdata = NbtNbAddress::EncodeList(entries);
    EXPECT_EQ(rdata, Bytes({0x80, 0, 192, 168, 1, 5, 0x60, 0, 10, 0, 0, 1}).Get());
    EXPECT_EQ(NbtNbAddress::DecodeList(rdata).Value(), entries);
    EXPECT_EQ(NbtNbAddress::DecodeList(Bytes({0, 0, 1, 2, 3}).Get()).Error(), NbtError::BadLength);
}

TEST(NbtNamePacketTest, EveryTruncationOfAValidPacketFails) {
    const std::vector<NbtNamePacket> packets = {
        RegistrationRequest(),
        NbtNamePacketBuilder::NodeStatusResponse(7, MakeName("*", 0), StatusNames(3), kUnitId),
    };
    for (const NbtNamePacket& packet : packets) {
        const NbtBytes bytes = Encode(packet);
        for (size_t length = 0; length < bytes.size(); ++length) {
            SCOPED_TRACE(length);
            const auto result =
                NbtNamePacket::Decode(std::span<const uint8_t>(bytes.data(), length));
            EXPECT_FALSE(result.Ok());
        }
    }
}

TEST(NbtNamePacketTest, RejectsMalformedPackets) {
    const NbtBytes registration = Encode(RegistrationRequest());
    const NbtBytes header = Bytes({0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0});

    NbtBytes hugeCount = registration;
    nbttest::PatchU16Be(hugeCount, 10, 0xFFFF);  // ARCOUNT
    NbtBytes rdOverrun = registration;
    nbttest::PatchU16Be(rdOverrun, rdOverrun.size() - 8, 7);  // RDLENGTH 7, 6 bytes left
    NbtBytes extraRecord = registration;
    nbttest::PatchU16Be(extraRecord, 6, 1);  // ANCOUNT 1, but only one record follows
    NbtBytes loop = Bytes(header).Add({0xC0, 0x0C, 0, 0x20, 0, 1});
    NbtBytes forward = Bytes(header).Add({0xC0, 0x40, 0, 0x20, 0, 1});
    NbtBytes badLabel = Bytes(header).Add({0x10}).Repeat('A', 16).Add({0, 0, 0x20, 0, 1});

    struct Case {
        const char* what;
        NbtBytes bytes;
        NbtError error;
    };
    const Case cases[] = {
        {"count 65535 with a short packet", hugeCount, NbtError::BadCount},
        {"RDLENGTH past the end", rdOverrun, NbtError::BadLength},
        {"record missing", extraRecord, NbtError::Truncated},
        {"question name points at itself", loop, NbtError::TooManyPointers},
        {"pointer forward past the end", forward, NbtError::BadPointer},
        {"first label of 16 bytes", badLabel, NbtError::BadLabelLength},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto result = NbtNamePacket::Decode(c.bytes);
        ASSERT_FALSE(result.Ok());
        EXPECT_EQ(result.Error(), c.error) << NbtErrorText(result.Error());
    }
}

TEST(NbtNamePacketTest, NodeStatusResponseLayout) {
    const NbtName question = MakeName("*", 0x00);
    const auto names = StatusNames(3);
    const NbtNamePacket packet =
        NbtNamePacketBuilder::NodeStatusResponse(9, question, names, kUnitId);
    ASSERT_EQ(packet.answers.size(), 1u);
    const NbtResourceRecord& record = packet.answers[0];
    EXPECT_EQ(record.type, kNbtTypeNbstat);
    EXPECT_EQ(record.ttl, 0u);
    EXPECT_EQ(record.rdata.size(), 1 + 18 * 3 + 46u);
    EXPECT_EQ(record.rdata[0], 3);
    // Raw 16-byte names, not first-level encoded.
    EXPECT_EQ(std::string(record.rdata.begin() + 1, record.rdata.begin() + 17),
              names[0].name.Raw());

    const auto status = NbtNodeStatus::Decode(record.rdata);
    ASSERT_TRUE(status.Ok());
    EXPECT_EQ(status.Value().names, names);
    EXPECT_EQ(status.Value().UnitId(), kUnitId);

    // A reply cut inside the statistics still yields the names; one cut inside
    // the name table does not.
    const NbtBytes shortStats(record.rdata.begin(), record.rdata.end() - 40);
    EXPECT_EQ(NbtNodeStatus::Decode(shortStats).Value().UnitId(), kUnitId);
    const NbtBytes shortTable(record.rdata.begin(), record.rdata.begin() + 30);
    EXPECT_EQ(NbtNodeStatus::Decode(shortTable).Error(), NbtError::Truncated);
}

TEST(NbtNamePacketTest, NodeStatusResponseStaysWithin576Bytes) {
    const NbtName question = MakeName("*", 0x00);
    struct Case {
        size_t names;
        size_t listed;
        bool truncated;
    };
    // 12 + 34 + 10 + 1 + 46 = 103 fixed bytes leave room for 26 rows of 18.
    const Case cases[] = {{0, 0, false}, {26, 26, false}, {27, 26, true}, {300, 26, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.names);
        const NbtNamePacket packet =
            NbtNamePacketBuilder::NodeStatusResponse(1, question, StatusNames(c.names), kUnitId);
        const NbtBytes bytes = Encode(packet);
        EXPECT_LE(bytes.size(), kMaxDatagramLength);
        EXPECT_EQ((packet.flags & kNbtFlagTruncated) != 0, c.truncated);
        const auto decoded = NbtNamePacket::Decode(bytes);
        ASSERT_TRUE(decoded.Ok());
        const auto status = NbtNodeStatus::Decode(decoded.Value().answers.at(0).rdata);
        ASSERT_TRUE(status.Ok());
        EXPECT_EQ(status.Value().names.size(), c.listed);
    }
}
