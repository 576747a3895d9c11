#include "messaging/CvSmbMessagingClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "messaging/CvError.h"
#include "messaging/CvMsgSplitter.h"
#include "netbios/CNetbiosName.h"
#include "netbios/CPduBuffer.h"
#include "netbios/CSmbPdu.h"
#include "netbios/CSmbPdu_sends.h"
#include "netbios/CSmbPdu_sendstrt.h"
#include "netbios/CSmbPdu_sendtxt.h"
#include "support/VirtualLanStation.h"

namespace {

using namespace std::chrono_literals;

// A hand-made receiving station: records the command of every PDU and the
// text blocks, and answers like the messenger service does, or, when
// `refuseSingleBlock` is set, hangs up on a Send Single Block the way a file
// server that wants a protocol negotiation first does.
class RecordingPeer {
public:
    RecordingPeer(CvVirtualLan& lan, const std::string& name)
        : station(lan), port(station, 0, name, {0x03}) {
        station.AttachAdapter(0, 1);
        port.SetHandler(&handler);
        port.SetSessionTimeout(2000);
        port.Start();
    }
    ~RecordingPeer() { port.Stop(); }

    void OnConnection(CConnection* connection, void*) {
        ++sessions;
        try {
            for (;;) {
                CPduBuffer buffer;
                connection->ReceiveRaw(buffer);
                CSmbPdu pdu;
                pdu.Decode(buffer);
                {
                    std::lock_guard guard(lock);
                    commands.push_back(pdu.Command());
                }
                if (pdu.Command() == CSmbPdu::kCommandSendMessage && refuseSingleBlock) {
                    break;
                }
                if (pdu.Command() == CSmbPdu::kCommandSendText) {
                    CSmbPdu_sendtxt text;
                    text.Decode(buffer);
                    std::lock_guard guard(lock);
                    blocks.push_back(text.Text());
                }
                if (pdu.Command() == CSmbPdu::kCommandSendMessage) {
                    CSmbPdu_sends single;
                    single.Decode(buffer);
                    std::lock_guard guard(lock);
                    originator = single.Originator();
                    blocks.push_back(single.Text());
                }
                if (pdu.Command() == CSmbPdu::kCommandSendStart) {
                    CSmbPdu_sendstrt start;
                    start.Decode(buffer);
                    std::lock_guard guard(lock);
                    originator = start.Originator();
                }
                CSmbPdu reply = pdu.Command() == CSmbPdu::kCommandSendStart ? pdu.MakeReply(7)
                                                                            : pdu.MakeReply();
                connection->SendPdu(reply);
                if (pdu.Command() == CSmbPdu::kCommandSendMessage ||
                    pdu.Command() == CSmbPdu::kCommandSendEnd) {
                    break;
                }
            }
        } catch (const CvNetworkErr&) {
        }
        connection->Close();
        ++finished;
    }

    std::vector<uint8_t> Commands() {
        std::lock_guard guard(lock);
        return commands;
    }

    CvVirtualStation station;
    CNetbiosName port;
    CvVoidBinaryMemberFunction<RecordingPeer, CConnection*, void*> handler{
        this, &RecordingPeer::OnConnection};
    std::mutex lock;
    std::vector<uint8_t> commands;
    std::vector<std::string> blocks;
    std::string originator;
    std::atomic<bool> refuseSingleBlock{false};
    std::atomic<int> sessions{0};
    std::atomic<int> finished{0};
};

CMsg Personal(const std::string& to, const std::string& text, const std::string& from = "ALICE") {
    CMsg msg;
    msg.type = MsgPersonal;
    msg.address = msg.recipient = to;
    msg.sender = from;
    msg.text = text;
    return msg;
}

class SmbClientTest : public ::testing::Test {
protected:
    CvVirtualLan lan{std::chrono::milliseconds(20)};
};

TEST_F(SmbClientTest, PersonalMessageTravelsBothWays) {
    VirtualLanStation alice(lan, "PC-A", {"ALICE", "PC-A"}, {"WORKGROUP"});
    VirtualLanStation bob(lan, "PC-B", {"BOB", "PC-B"}, {"WORKGROUP"});
    ASSERT_TRUE(alice.WaitRegistered());
    ASSERT_TRUE(bob.WaitRegistered());

    alice.client.Send(Personal("bob", "hello Bob", "ALICE"));
    bob.client.Send(Personal("ALICE", std::string(300, 'x'), "BOB"));
    ASSERT_TRUE(bob.inbox.WaitFor(1));
    ASSERT_TRUE(alice.inbox.WaitFor(1));

    const CMsg atBob = bob.inbox.Messages()[0];
    EXPECT_EQ(atBob.type, MsgPersonal);
    EXPECT_EQ(atBob.sender, "ALICE");
    EXPECT_EQ(atBob.recipient, "bob");
    EXPECT_EQ(atBob.address, "bob");
    EXPECT_EQ(atBob.text, "hello Bob");
    EXPECT_EQ(alice.inbox.Messages()[0].text, std::string(300, 'x'));
}

struct BlockCase {
    size_t length;
    std::vector<uint8_t> commands;
    std::vector<size_t> blockLengths;
};

TEST_F(SmbClientTest, TextLengthChoosesSingleOrMultiBlock) {
    const std::vector<BlockCase> cases = {
        {128, {0xD0}, {128}},
        {129, {0xD5, 0xD7, 0xD7, 0xD6}, {128, 1}},
        {1601, {}, {}},  // checked below: cut to 1600 in 13 blocks
    };
    RecordingPeer peer(lan, "PEER");
    VirtualLanStation alice(lan, "PC-A", {"ALICE"}, {});
    ASSERT_TRUE(alice.WaitRegistered());
    ASSERT_TRUE(WaitUntil([&] { return peer.port.IsOpened(); }));

    for (const auto& c : cases) {
        {
            std::lock_guard guard(peer.lock);
            peer.commands.clear();
            peer.blocks.clear();
        }
        const int before = peer.finished;
        alice.client.Send(Personal("PEER", std::string(c.length, 'a')));
        ASSERT_TRUE(WaitUntil([&] { return peer.finished == before + 1; }));
        std::lock_guard guard(peer.lock);
        if (c.length == 1601) {
            ASSERT_EQ(peer.blocks.size(), 13u);
            size_t total = 0;
            for (const auto& block : peer.blocks) {
                total += block.size();
            }
            EXPECT_EQ(total, 1600u);
            EXPECT_EQ(peer.blocks.back().size(), 64u);
            continue;
        }
        EXPECT_EQ(peer.commands, c.commands) << c.length;
        std::vector<size_t> lengths;
        for (const auto& block : peer.blocks) {
            lengths.push_back(block.size());
        }
        EXPECT_EQ(lengths, c.blockLengths) << c.length;
    }
}

TEST_F(SmbClientTest, PeerThatHangsUpOnASingleBlockGetsTheMessageAsMultiBlock) {
    RecordingPeer peer(lan, "PEER");
    peer.refuseSingleBlock = true;
    VirtualLanStation alice(lan, "PC-A", {"ALICE"}, {});
    ASSERT_TRUE(alice.WaitRegistered());
    ASSERT_TRUE(WaitUntil([&] { return peer.port.IsOpened(); }));

    alice.client.Send(Personal("PEER", "short"));
    ASSERT_TRUE(WaitUntil([&] { return peer.finished == 2; }));
    EXPECT_EQ(peer.Commands(), (std::vector<uint8_t>{0xD0, 0xD5, 0xD7, 0xD6}));
    EXPECT_EQ(peer.blocks, (std::vector<std::string>{"short"}));
    EXPECT_EQ(peer.port.ConnectionCount(), 0u);
}

TEST_F(SmbClientTest, SenderNamePortIsTriedFirst) {
    RecordingPeer peer(lan, "PEER");
    VirtualLanStation station(lan, "PC-A", {"PC-A", "ALICE"}, {});
    ASSERT_TRUE(station.WaitRegistered());
    ASSERT_TRUE(WaitUntil([&] { return peer.port.IsOpened(); }));
    station.client.Send(Personal("PEER", "hi", "ALICE"));
    ASSERT_TRUE(WaitUntil([&] { return peer.finished == 1; }));
    std::lock_guard guard(peer.lock);
    EXPECT_EQ(peer.originator, "ALICE");
}

TEST_F(SmbClientTest, FailuresMapToTheirExceptions) {
    VirtualLanStation alice(lan, "PC-A", {"ALICE", "PC-A"}, {});
    ASSERT_TRUE(alice.WaitRegistered());
    // Nobody answers: the first port waits one call time-out (3500 ms by
    // default); the second name on the same adapter is not tried as well.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(alice.client.Send(Personal("NOBODY", "x")), CvAddrNotFoundErr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

    VirtualLanStation lonely(lan, "PC-L", {}, {});
    EXPECT_THROW(lonely.client.Send(Personal("ALICE", "x")), CvNoInterfaceAvailErr);
    CMsg broadcast = Personal("WORKGROUP", "x");
    broadcast.type = MsgBroadcast;
    EXPECT_THROW(lonely.client.Send(broadcast), CvNoInterfaceAvailErr)
        << "no group name, no datagram ports";
}

TEST_F(SmbClientTest, BroadcastReachesEveryMemberAndIsSplitAfterTheLastSpace) {
    VirtualLanStation alice(lan, "PC-A", {"ALICE"}, {"WORKGROUP"});
    VirtualLanStation bob(lan, "PC-B", {"BOB"}, {"WORKGROUP"});
    VirtualLanStation carol(lan, "PC-C", {"CAROL"}, {"WORKGROUP"});
    for (auto* s : {&alice, &bob, &carol}) {
        ASSERT_TRUE(s->WaitRegistered());
    }
    alice.client.SetMaxBroadcastLength(128);
    alice.client.SetFragmentEnabled(true);

    std::string text = std::string(100, 'a') + " " + std::string(99, 'b');  // 200 characters
    CMsg msg = Personal("WORKGROUP", text);
    msg.type = MsgBroadcast;
    alice.client.Send(msg);
    ASSERT_TRUE(bob.inbox.WaitFor(2));
    ASSERT_TRUE(carol.inbox.WaitFor(2));
    const auto parts = bob.inbox.Messages();
    EXPECT_EQ(parts[0].type, MsgBroadcast);
    EXPECT_EQ(parts[0].sender, "ALICE");
    EXPECT_EQ(parts[0].recipient, "WORKGROUP");
    EXPECT_EQ(parts[0].text, std::string(100, 'a') + " ");
    EXPECT_EQ(parts[1].text, std::string(99, 'b'));

    alice.client.SetFragmentEnabled(false);
    alice.client.Send(msg);
    ASSERT_TRUE(bob.inbox.WaitFor(3));
    EXPECT_EQ(bob.inbox.Messages()[2].text, text.substr(0, 128));
}

struct SplitCase {
    std::string text;
    size_t n;
    std::vector<std::string> parts;
};

TEST(CvSplitMessage, SplitsAfterTheLastSpaceOr0x13OrHard) {
    const std::vector<SplitCase> cases = {
        {"", 5, {}},
        {"abc", 5, {"abc"}},
        {"abcde", 5, {"abcde"}},
        {"ab cdefg", 5, {"ab ", "cdefg"}},
        {"abcdefgh", 5, {"abcde", "fgh"}},
        {" abcdefgh", 5, {" abcd", "efgh"}},  // a space at the first position does not count
        {"ab\x13"
         "cdefg",
         5,
         {"ab\x13", "cdefg"}},
        {"ab\rcdefg", 5, {"ab\rcd", "efg"}},
        {"äöü äöü", 5, {"äöü ", "äöü"}},  // counts characters, not bytes
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CvSplitMessage(c.text, c.n), c.parts) << c.text;
    }
}

}  // namespace
