#include "platform/CvNbtNameClient.h"

#include <future>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CvNbtLoopbackPeer.h"
#include "platform/nbt/NbtNamePacketBuilder.h"

using loopback::kForgerIp;
using loopback::kPeerIp;
using loopback::kStationIp;
using loopback::Name;
using loopback::RequestFor;
using loopback::StatusAnswer;
using loopback::UdpSocket;

namespace {

const auto kStatusRequest = RequestFor(kNbtOpQuery, NbtName::Make("*", 0).Value(), kNbtTypeNbstat);

// The client on the loopback interface asking a station at kPeerIp.
class CvNbtNameClientTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_peer.IsOpen()); }

    std::future<std::optional<NbtNodeStatus>> AskPeer() {
        return std::async(std::launch::async,
                          [this] { return m_client.NodeStatus(m_adapter, kPeerIp, 1, 2000, {}); });
    }

    const CvNbtPorts m_ports = loopback::TestPorts();
    UdpSocket m_peer{kPeerIp, m_ports.name};
    const CvIpAdapter m_adapter = loopback::Adapter(kStationIp);
    const CvNbtNameClient m_client{m_ports};
};

}  // namespace

TEST_F(CvNbtNameClientTest, NodeStatusTakesTheAnswerOnlyFromTheAddressAsked) {
    UdpSocket forger(kForgerIp, m_ports.name);
    ASSERT_TRUE(forger.IsOpen());
    auto status = AskPeer();
    loopback::Packet from;
    const auto request = m_peer.NextNamePacket(2000, kStatusRequest, &from);
    ASSERT_TRUE(request);
    // Someone who saw the request answers first, then the station asked.
    ASSERT_TRUE(
        forger.SendTo(StatusAnswer(request->trnId, "CVFORGED"), from.sourceIp, from.sourcePort));
    ASSERT_TRUE(
        m_peer.SendTo(StatusAnswer(request->trnId, "CVGENUINE"), from.sourceIp, from.sourcePort));

    const auto table = status.get();
    ASSERT_TRUE(table);
    ASSERT_EQ(table->names.size(), 1u);
    EXPECT_EQ(table->names[0].name.Raw(), Name("CVGENUINE").Raw());
}

TEST_F(CvNbtNameClientTest, RequestIdsDoNotFollowEachOther) {
    std::vector<uint16_t> ids;
    for (int round = 0; round < 8; ++round) {
        auto status = AskPeer();
        loopback::Packet from;
        const auto request = m_peer.NextNamePacket(2000, kStatusRequest, &from);
        ASSERT_TRUE(request);
        ASSERT_TRUE(
            m_peer.SendTo(StatusAnswer(request->trnId, "CVPEER"), from.sourceIp, from.sourcePort));
        ASSERT_TRUE(status.get());
        ids.push_back(request->trnId);
    }
    int successors = 0;
    for (size_t i = 1; i < ids.size(); ++i) {
        successors += static_cast<uint16_t>(ids[i - 1] + 1) == ids[i] ? 1 : 0;
    }
    // Random ids follow each other by chance once in 65536 pairs.
    EXPECT_LT(successors, 3);
}

TEST(CvNbtNameClientStatusTest, AdapterStatusKeepsGroupAndConflictStates) {
    struct Case {
        uint16_t nameFlags;
        uint8_t expected;
    };
    const Case cases[] = {
        {kNameFlagActive, kNameFlagRegistered},
        {kNbFlagGroup | kNameFlagActive, kNameFlagGroup | kNameFlagRegistered},
        {kNameFlagActive | kNameFlagConflict, 0x06},
        {kNbFlagGroup | kNameFlagActive | kNameFlagConflict, kNameFlagGroup | 0x06},
    };
    for (const auto& c : cases) {
        NbtNodeStatus status;
        status.names.push_back({Name("CVPEER"), c.nameFlags});
        const CvAdapterStatus table = CvNbtNameClient::ToAdapterStatus(status);
        ASSERT_EQ(table.names.size(), 1u);
        EXPECT_EQ(table.names[0].flags, c.expected) << std::hex << c.nameFlags;
    }
}
