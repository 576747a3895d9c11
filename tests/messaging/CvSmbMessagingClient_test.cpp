#include "messaging/CvSmbMessagingClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "messaging/CvBroadcastWriter.h"
#include "messaging/CvError.h"
#include "messaging/CvMsgSplitter.h"
#include "messaging/CvSmbStateWatch.h"
#include "netbios/CMailslotPdu.h"
#include "netbios/CNetbiosName.h"
#include "netbios/CPduBuffer.h"
#include "netbios/CSmbPdu.h"
#include "netbios/CSmbPdu_sendend.h"
#include "netbios/CSmbPdu_sends.h"
#include "netbios/CSmbPdu_sendstrt.h"
#include "netbios/CSmbPdu_sendtxt.h"
#include "netbios/NetbiosOperations.h"
#include "platform/CvOemCodec.h"
#include "platform/nbt/SmbMailslotTransaction.h"
#include "support/VirtualLanStation.h"

namespace {

using namespace std::chrono_literals;

// A hand-made receiving station: records the command of every PDU and the
// text blocks, and answers like the messenger service does, or, when
// `refuseSingleBlock` is set, hangs up on a Send Single Block the way a file
// server that wants a protocol negotiation first does. It can also refuse one
// command with an error reply, or leave it unanswered.
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
                if (pdu.Command() == silentOn) {
                    // Neither replies nor hangs up until the sender gave up.
                    std::this_thread::sleep_for(600ms);
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
                if (pdu.Command() == errorOn) {
                    reply.SetErrorClass(0x02);   // ERRSRV
                    reply.SetErrorCode(0x0052);  // ERRmsgoff: not receiving messages
                    connection->SendPdu(reply);
                    break;
                }
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
    std::atomic<uint8_t> errorOn{0};   // command answered with an error reply
    std::atomic<uint8_t> silentOn{0};  // command never answered
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

// A sending station driven PDU by PDU, to play peers that misbehave. Every
// exchange throws CvNetworkErr once the receiver hung up.
class RawSender {
public:
    explicit RawSender(CvVirtualLan& lan) : m_station(lan), m_port(m_station, 0, "RAW", {0x03}) {
        m_station.AttachAdapter(0, 1);
        m_port.SetCallTimeout(2000);
        m_port.SetSessionTimeout(20000);
        m_opened = m_port.Open();
    }
    ~RawSender() { Close(); }

    bool Opened() const { return m_opened; }
    void Connect(const std::string& name) { m_connection = m_port.Connect(name); }
    void Close() {
        if (m_connection != nullptr) {
            m_connection->Close();
            m_connection = nullptr;
        }
    }
    CSmbPdu Exchange(CProtocolDataUnit& pdu) {
        m_connection->SendPdu(pdu);
        CSmbPdu reply;
        m_connection->ReceivePdu(reply);
        return reply;
    }
    // Returns the group id the receiver assigned.
    uint16_t Start(const std::string& to) {
        CSmbPdu_sendstrt start;
        start.SetOriginator("RAW");
        start.SetDestination(to);
        return Exchange(start).GroupId();
    }
    void Text(uint16_t groupId, const std::string& text) {
        CSmbPdu_sendtxt block;
        block.SetGroupId(groupId);
        block.SetText(text);
        Exchange(block);
    }
    void End(uint16_t groupId) {
        CSmbPdu_sendend end;
        end.SetGroupId(groupId);
        Exchange(end);
    }
    CvVirtualStation& Station() { return m_station; }

private:
    CvVirtualStation m_station;
    CNetbiosName m_port;
    CConnection* m_connection = nullptr;
    bool m_opened = false;
};

// Texts that arrived from `sender`.
std::vector<std::string> TextsFrom(MessageInbox& inbox, const std::string& sender) {
    std::vector<std::string> texts;
    for (const CMsg& msg : inbox.Messages()) {
        if (msg.sender == sender) {
            texts.push_back(msg.text);
        }
    }
    return texts;
}

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
    // default); the second name on the same adapter is not tried as well,
    // which would take twice as long.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(alice.client.Send(Personal("NOBODY", "x")), CvAddrNotFoundErr);
    const auto took = std::chrono::steady_clock::now() - start;
    // Waits count whole milliseconds, so the end may come a little early.
    EXPECT_GE(took, 3450ms) << "the call gave up before its time-out";
    EXPECT_LT(took, 6s) << "more than one call time-out";

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

TEST_F(SmbClientTest, AMessageGetsThroughWhileAnotherPeerTakesItsTime) {
    VirtualLanStation bob(lan, "PC-B", {"BOB"}, {});
    VirtualLanStation alice(lan, "PC-A", {"ALICE"}, {});
    ASSERT_TRUE(bob.WaitRegistered());
    ASSERT_TRUE(alice.WaitRegistered());

    // A peer that sends a block every 100 ms, as long as it is let.
    RawSender trickler(lan);
    ASSERT_TRUE(trickler.Opened());
    trickler.Connect("BOB");
    const uint16_t groupId = trickler.Start("BOB");
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread trickle([&] {
        try {
            while (!stop) {
                trickler.Text(groupId, "x");
                ++blocks;
                std::this_thread::sleep_for(100ms);
            }
            trickler.End(groupId);
        } catch (const CvNetworkErr&) {
        }
    });
    ASSERT_TRUE(WaitUntil([&] { return blocks >= 2; }));

    EXPECT_NO_THROW(alice.client.Send(Personal("BOB", "meanwhile")));
    EXPECT_TRUE(WaitUntil([&] { return !TextsFrom(bob.inbox, "ALICE").empty(); }, 2s));
    EXPECT_TRUE(TextsFrom(bob.inbox, "RAW").empty()) << "the slow message is still coming";
    stop = true;
    trickle.join();
    EXPECT_TRUE(WaitUntil([&] { return !TextsFrom(bob.inbox, "RAW").empty(); }));
}

struct LimitCase {
    const char* what;
    uint32_t deadlineMs;
    std::vector<std::string> blocks;
    std::chrono::milliseconds pause;  // between blocks
    bool delivered;
};

TEST_F(SmbClientTest, APeerPastALimitIsHungUpOnAndItsMessageDropped) {
    const size_t maxBlocks = CvSmbMessagingClient::kReceiveMaxBlocks;
    const size_t maxBytes = CvSmbMessagingClient::kReceiveMaxTextBytes;
    const std::string fullBlock(maxBytes / maxBlocks, 'a');
    const std::vector<LimitCase> cases = {
        {"at every limit", 30000, std::vector<std::string>(maxBlocks, fullBlock), 0ms, true},
        {"one block too many", 30000, std::vector<std::string>(maxBlocks + 1, "b"), 0ms, false},
        {"one byte too many", 30000,
         [&] {
             std::vector<std::string> blocks(maxBlocks - 1, fullBlock);
             blocks.push_back(fullBlock + "c");
             return blocks;
         }(),
         0ms, false},
        {"slower than the deadline", 400, std::vector<std::string>(20, "d"), 100ms, false},
    };
    VirtualLanStation bob(lan, "PC-B", {"BOB"}, {});
    ASSERT_TRUE(bob.WaitRegistered());
    for (const auto& c : cases) {
        bob.client.SetReceiveLimits(c.deadlineMs, maxBlocks, maxBytes);
        const size_t before = bob.inbox.Messages().size();
        RawSender peer(lan);
        ASSERT_TRUE(peer.Opened());
        peer.Connect("BOB");
        bool completed = false;
        try {
            const uint16_t groupId = peer.Start("BOB");
            for (const auto& block : c.blocks) {
                peer.Text(groupId, block);
                std::this_thread::sleep_for(c.pause);
            }
            peer.End(groupId);
            completed = true;
        } catch (const CvDataTransmissionErr&) {
        }
        EXPECT_EQ(completed, c.delivered) << c.what;
        if (c.delivered) {
            EXPECT_TRUE(bob.inbox.WaitFor(before + 1)) << c.what;
        } else {
            // Bob drops the message before he hangs up, which the peer has seen.
            EXPECT_EQ(bob.inbox.Messages().size(), before) << c.what;
        }
    }
}

struct EndCase {
    const char* what;
    uint8_t command;
    int groupIdOffset;  // added to the group id the receiver assigned
    bool delivered;
};

TEST_F(SmbClientTest, OnlyTheMessagesOwnSendEndCompletesIt) {
    const std::vector<EndCase> cases = {
        {"its Send End", CSmbPdu::kCommandSendEnd, 0, true},
        {"a Send End of another group", CSmbPdu::kCommandSendEnd, 1, false},
        {"a Send Text of another group", CSmbPdu::kCommandSendText, 1, false},
        {"another Send Start", CSmbPdu::kCommandSendStart, 0, false},
        {"a Send Single Block", CSmbPdu::kCommandSendMessage, 0, false},
    };
    VirtualLanStation bob(lan, "PC-B", {"BOB"}, {});
    ASSERT_TRUE(bob.WaitRegistered());
    for (const auto& c : cases) {
        RawSender peer(lan);
        ASSERT_TRUE(peer.Opened());
        peer.Connect("BOB");
        const uint16_t groupId = peer.Start("BOB");
        peer.Text(groupId, c.what);
        CSmbPdu last;
        last.SetCommand(c.command);
        last.SetGroupId(static_cast<uint16_t>(groupId + c.groupIdOffset));
        try {
            peer.Exchange(last);
            if (c.command == CSmbPdu::kCommandSendText) {
                peer.End(groupId);
            }
        } catch (const CvDataTransmissionErr&) {
        }
        peer.Close();
        // A message sent afterwards marks when the case was surely handled.
        const std::string marker = std::string("after ") + c.what;
        peer.Connect("BOB");
        const uint16_t next = peer.Start("BOB");
        peer.Text(next, marker);
        peer.End(next);
        ASSERT_TRUE(WaitUntil([&] {
            const auto texts = TextsFrom(bob.inbox, "RAW");
            return std::find(texts.begin(), texts.end(), marker) != texts.end();
        }));
        const auto texts = TextsFrom(bob.inbox, "RAW");
        EXPECT_EQ(std::count(texts.begin(), texts.end(), c.what), c.delivered ? 1 : 0) << c.what;
    }
}

struct ReplyCase {
    const char* what;
    size_t length;
    uint8_t errorOn;
    uint8_t silentOn;
};

TEST_F(SmbClientTest, AReplyThatReportsAnErrorOrNeverComesFailsTheSend) {
    const std::vector<ReplyCase> cases = {
        {"single block refused", 10, CSmbPdu::kCommandSendMessage, 0},
        {"start refused", 200, CSmbPdu::kCommandSendStart, 0},
        {"text refused", 200, CSmbPdu::kCommandSendText, 0},
        {"end refused", 200, CSmbPdu::kCommandSendEnd, 0},
        {"single block unanswered", 10, 0, CSmbPdu::kCommandSendMessage},
        {"end unanswered", 200, 0, CSmbPdu::kCommandSendEnd},
    };
    RecordingPeer peer(lan, "PEER");
    VirtualLanStation alice(lan, "PC-A", {"ALICE"}, {});
    ASSERT_TRUE(alice.WaitRegistered());
    ASSERT_TRUE(WaitUntil([&] { return peer.port.IsOpened(); }));
    for (const auto& c : cases) {
        peer.errorOn = c.errorOn;
        peer.silentOn = c.silentOn;
        const int before = peer.finished;
        EXPECT_THROW(alice.client.Send(Personal("PEER", std::string(c.length, 'e'))),
                     CvDataTransmissionErr)
            << c.what;
        ASSERT_TRUE(WaitUntil([&] { return peer.finished == before + 1; })) << c.what;
    }
}

TEST_F(SmbClientTest, AMessageReadInFullIsDeliveredWhenItsLastReplyCannotBeWritten) {
    VirtualLanStation bob(lan, "PC-B", {"BOB"}, {});
    ASSERT_TRUE(bob.WaitRegistered());
    // The sender here does not send again on a new session, so what Bob
    // delivers is only what he read.
    const std::vector<std::pair<const char*, std::function<void(RawSender&)>>> cases = {
        {"single block",
         [&](RawSender& peer) {
             bob.station.InjectFailure(kNcbSend, kNrcSClosed, 1);
             CSmbPdu_sends single;
             single.SetOriginator("RAW");
             single.SetDestination("BOB");
             single.SetText("single block");
             peer.Exchange(single);
         }},
        {"multi-block",
         [&](RawSender& peer) {
             bob.station.InjectFailure(kNcbSend, kNrcSClosed, 1, 2);  // after start and text
             const uint16_t groupId = peer.Start("BOB");
             peer.Text(groupId, "multi-block");
             peer.End(groupId);
         }},
    };
    for (const auto& [what, send] : cases) {
        RawSender peer(lan);
        ASSERT_TRUE(peer.Opened());
        peer.Connect("BOB");
        EXPECT_THROW(send(peer), CvDataTransmissionErr) << what << ": no reply came";
        EXPECT_TRUE(WaitUntil([&, what = what] {
            const auto texts = TextsFrom(bob.inbox, "RAW");
            return std::find(texts.begin(), texts.end(), what) != texts.end();
        })) << what;
    }
}

TEST_F(SmbClientTest, NamesAPeerSendsArriveOnOneLineAndCutToTheArchiveColumn) {
    VirtualLanStation bob(lan, "PC-B", {"BOB"}, {});
    ASSERT_TRUE(bob.WaitRegistered());
    const std::string forged = "EVE\r\nMALLORY wrote to BOB:" + std::string(20, 'x');
    const std::string shown = "EVE??MALLORY wrote to BOB:xxxxxx";  // 32 characters
    const std::vector<std::pair<const char*, std::function<void(RawSender&)>>> cases = {
        {"single block",
         [&](RawSender& peer) {
             CSmbPdu_sends single;
             single.SetOriginator(forged);
             single.SetDestination("BOB\x1b[2J");
             single.SetText("single block");
             peer.Exchange(single);
         }},
        {"multi-block",
         [&](RawSender& peer) {
             CSmbPdu_sendstrt start;
             start.SetOriginator(forged);
             start.SetDestination("BOB\x1b[2J");
             const uint16_t groupId = peer.Exchange(start).GroupId();
             peer.Text(groupId, "multi-block");
             peer.End(groupId);
         }},
    };
    for (const auto& [what, send] : cases) {
        RawSender peer(lan);
        ASSERT_TRUE(peer.Opened());
        peer.Connect("BOB");
        send(peer);
        ASSERT_TRUE(WaitUntil([&, what = what] {
            const auto texts = TextsFrom(bob.inbox, shown);
            return std::find(texts.begin(), texts.end(), what) != texts.end();
        })) << what;
    }
    for (const CMsg& msg : bob.inbox.Messages()) {
        EXPECT_EQ(msg.sender, shown);
        EXPECT_EQ(msg.recipient, "BOB?[2J");
        EXPECT_EQ(msg.address, "BOB?[2J");
    }
}

TEST_F(SmbClientTest, ABroadcastThatNoAdapterCouldSendIsATransmissionError) {
    VirtualLanStation alice(lan, "PC-A", {"ALICE"}, {"WORKGROUP"});
    VirtualLanStation bob(lan, "PC-B", {"BOB"}, {"WORKGROUP"});
    ASSERT_TRUE(alice.WaitRegistered());
    ASSERT_TRUE(bob.WaitRegistered());
    // Broadcasts go out from the computer name, which another station holds.
    CvVirtualStation squatter(lan);
    squatter.AttachAdapter(0, 1);
    uint8_t number = 0;
    ASSERT_EQ(NBAddName(squatter, 0, "PC-A", 0x00, number), kNrcGoodRet);

    CMsg msg = Personal("WORKGROUP", "to all");
    msg.type = MsgBroadcast;
    EXPECT_THROW(alice.client.Send(msg), CvDataTransmissionErr);

    ASSERT_EQ(NBDeleteName(squatter, 0, "PC-A", 0x00, number), kNrcGoodRet);
    EXPECT_NO_THROW(alice.client.Send(msg));
    ASSERT_TRUE(bob.inbox.WaitFor(1));
    EXPECT_EQ(bob.inbox.Messages()[0].text, "to all");
}

TEST_F(SmbClientTest, ABroadcastToTheMessengerMailslotArrivesInAnyLetterCase) {
    VirtualLanStation bob(lan, "PC-B", {"BOB"}, {"WORKGROUP"});
    ASSERT_TRUE(bob.WaitRegistered());
    CvVirtualStation sender(lan);
    sender.AttachAdapter(0, 1);
    uint8_t number = 0;
    ASSERT_EQ(NBAddName(sender, 0, "PC-X", 0x00, number), kNrcGoodRet);
    for (const char* mailslot : {"\\mailslot\\messngr", "\\MAILSLOT\\MESSNGR"}) {
        CMailslotPdu message;
        message.SetOriginator("PC-X");
        message.SetDestination("WORKGROUP");
        message.SetText(mailslot);
        CPduBuffer encoded;
        ASSERT_TRUE(message.Encode(encoded));
        SmbMailslotTransaction transaction;
        transaction.mailslotName = mailslot;
        transaction.data.assign(encoded.Bytes().begin(), encoded.Bytes().end());
        auto datagram = transaction.Encode().Value();
        CvNcb ncb;
        ncb.command = kNcbSendDatagram;
        ncb.num = number;
        CvSetNetbiosName(ncb.callname, "WORKGROUP", 9, 0x00);
        ncb.buffer = datagram.data();
        ncb.length = static_cast<uint16_t>(datagram.size());
        ASSERT_EQ(sender.Submit(ncb), kNrcGoodRet);
    }
    ASSERT_TRUE(bob.inbox.WaitFor(2));
    std::vector<std::string> texts = TextsFrom(bob.inbox, "PC-X");
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::string>{"\\MAILSLOT\\MESSNGR", "\\mailslot\\messngr"}));
}

struct ConflictCase {
    const char* name;
    uint8_t suffix;
    int32_t kind;
};

TEST_F(SmbClientTest, ANameInConflictIsReportedAsSuchAndNotAsRegistered) {
    const std::vector<ConflictCase> cases = {
        {"BOB", 0x03, MsgPersonal},
        {"WORKGROUP", 0x00, MsgBroadcast},
    };
    for (const auto& c : cases) {
        VirtualLanStation bob(lan, "PC-B", {"BOB"}, {"WORKGROUP"});
        ASSERT_TRUE(bob.WaitRegistered());
        // A station that claims the name right away keeps it in conflict.
        CvVirtualStation claimant(lan);
        claimant.AttachAdapter(0, 1);
        ASSERT_TRUE(bob.station.InjectConflict(0, c.name, c.suffix));
        uint8_t number = 0;
        ASSERT_EQ(NBAddName(claimant, 0, c.name, c.suffix, number), kNrcGoodRet);
        EXPECT_TRUE(WaitUntil([&] {
            return bob.client.GetNameState(c.name, c.kind) == NameStateConflict;
        })) << c.name;
        const bool personal = c.kind == MsgPersonal;
        EXPECT_EQ(bob.client.GetNameState(personal ? "WORKGROUP" : "BOB", personal ? 2 : 1),
                  NameStateRegistered)
            << "the other name stays registered";
        NBDeleteName(claimant, 0, c.name, c.suffix, number);
    }
}

struct ByteSplitCase {
    std::string text;
    size_t maxChars;
    size_t maxBytes;
    std::vector<std::string> parts;
};

TEST(CvSplitMessage, PartsAlsoFitTheirBytesInTheOemCodePage) {
    const CvOemCodec cp932(932);  // two bytes for each of these characters
    const std::vector<ByteSplitCase> cases = {
        {"あいうえお", 10, 6, {"あいう", "えお"}},
        {"あい うえお", 10, 7, {"あい ", "うえお"}},
        {"あいうえお", 2, 100, {"あい", "うえ", "お"}},
        {"あ", 10, 1, {"あ"}},  // a part holds at least one character
        {"abcdef", 4, 100, {"abcd", "ef"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CvSplitMessage(c.text, c.maxChars, c.maxBytes, cp932), c.parts) << c.text;
    }
}

TEST(CvBroadcastMessageParts, EveryPartFitsTheMailslotMessageInTheOemCodePage) {
    const CvOemCodec cp932(932);
    const CvOemCodec cp866(866);
    std::string kana;
    for (int i = 0; i < 350; ++i) {
        kana += "あ";
    }
    std::string cyrillic;
    for (int i = 0; i < 350; ++i) {
        cyrillic += "Ж";
    }
    CMsg msg = Personal("WORKGROUP", kana, "ALICE");
    // The size of the mailslot message that carries `part`, as encoded for
    // the wire; a receiving MESSNGR mailslot takes at most 400 bytes.
    constexpr size_t kMailslotLimit = 400;
    auto messageBytes = [&](const CvOemCodec& codec, const std::string& part) {
        CMailslotPdu pdu;
        pdu.SetOemCodec(codec);
        pdu.SetOriginator(msg.sender);
        pdu.SetDestination(msg.recipient);
        pdu.SetText(part);
        CPduBuffer buffer;
        EXPECT_TRUE(pdu.Encode(buffer));
        return buffer.Length();
    };
    // "ALICE", "WORKGROUP" and their terminators take 16 bytes; each kana 2.
    EXPECT_EQ(messageBytes(cp932, "\xE3\x81\x82"), 16u + 2 + 1);

    const auto split = CvBroadcastMessageParts(msg, 350, true, cp932);
    std::string joined;
    for (const auto& part : split) {
        EXPECT_LE(messageBytes(cp932, part), kMailslotLimit);
        joined += part;
    }
    EXPECT_GT(split.size(), 1u);
    EXPECT_EQ(joined, kana);

    const auto cut = CvBroadcastMessageParts(msg, 350, false, cp932);
    ASSERT_EQ(cut.size(), 1u);
    // The longest cut: (400 - 17) / 2 = 191 kana.
    EXPECT_EQ(cut[0], kana.substr(0, 191 * 3));
    EXPECT_EQ(messageBytes(cp932, cut[0]), 399u);

    // One byte a character: 350 of them still go as one message, as before.
    msg.text = cyrillic;
    EXPECT_EQ(CvBroadcastMessageParts(msg, 350, true, cp866), std::vector<std::string>{cyrillic});
}

// What is filed as sent is what the parts carry, also where the bytes of the
// OEM code page cut before the character limit does.
TEST(CvBroadcastSentText, IsWhatThePartsCarry) {
    const CvOemCodec cp932(932);
    std::string kana;
    for (int i = 0; i < 350; ++i) {
        kana += "あ";
    }
    CMsg msg = Personal("WORKGROUP", kana, "ALICE");
    EXPECT_EQ(CvBroadcastSentText(msg, 350, false, cp932), kana.substr(0, 191 * 3));
    EXPECT_EQ(CvBroadcastSentText(msg, 128, false, cp932), kana.substr(0, 128 * 3));
    EXPECT_EQ(CvBroadcastSentText(msg, 128, true, cp932), kana);
    // Names that leave no room: nothing goes out, and the text is cut by
    // characters only.
    msg.sender = std::string(400, 'S');
    EXPECT_EQ(CvBroadcastSentText(msg, 128, false, cp932), kana.substr(0, 128 * 3));
}

}  // namespace
