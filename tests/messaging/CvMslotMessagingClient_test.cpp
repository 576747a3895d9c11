#include "messaging/CvMslotMessagingClient.h"

#include <gtest/gtest.h>

#include "messaging/CvError.h"
#include "netbios/CMailslotPdu.h"
#include "netbios/CPduBuffer.h"
#include "support/VirtualLanStation.h"

namespace {

// A station with the mailslot client on the local MESSNGR mailslot, its
// mailslots reachable across a virtual LAN through the NetBIOS redirector.
struct MailslotStation {
    MailslotStation(CvVirtualLan& lan, const std::string& computer)
        : station(lan),
          local(nullptr, dir.Path() + "/mailslot"),
          mailslots(station, local, computer) {
        station.AttachAdapter(0, 1);
        mailslots.Start();
        client.SetMailslots(&mailslots);
        client.SetComputerName(computer);
        client.SetReceiver(&inbox.receiver);
        client.StateWatch().SetPeriod(10);
        client.Start();
    }
    ~MailslotStation() {
        client.Stop();
        mailslots.Stop();
    }

    CvVirtualStation station;
    TempDir dir;
    CvUnixMailslots local;
    CNetbiosMailslots mailslots;
    CvMslotMessagingClient client;
    MessageInbox inbox;
};

CMsg Broadcast(const std::string& to, const std::string& text, int32_t type = MsgBroadcast) {
    CMsg msg;
    msg.type = type;
    msg.address = msg.recipient = to;
    msg.sender = "ALICE";
    msg.text = text;
    return msg;
}

TEST(CvMslotMessagingClient, LocalMailslotMessagesArriveAsBroadcastsWhateverTheirDestination) {
    CvVirtualLan lan(std::chrono::milliseconds(20));
    MailslotStation bob(lan, "PC-B");
    ASSERT_TRUE(WaitUntil([&] { return bob.client.State() == 4; }));

    CMailslotPdu pdu;
    pdu.SetOriginator("ALICE");
    pdu.SetDestination("BOB");  // a user name, still type 2
    pdu.SetText("hello");
    CPduBuffer buffer;
    pdu.Encode(buffer);
    bob.local.OpenMailslot(".", "MESSNGR")->Write(buffer.Bytes());

    ASSERT_TRUE(bob.inbox.WaitFor(1));
    const CMsg msg = bob.inbox.Messages()[0];
    EXPECT_EQ(msg.type, MsgBroadcast);
    EXPECT_EQ(msg.sender, "ALICE");
    EXPECT_EQ(msg.recipient, "BOB");
    EXPECT_EQ(msg.address, "BOB");
    EXPECT_EQ(msg.text, "hello");
}

TEST(CvMslotMessagingClient, NamesAPeerWritesArriveOnOneLineAndCutToTheArchiveColumn) {
    CvVirtualLan lan(std::chrono::milliseconds(20));
    MailslotStation bob(lan, "PC-B");
    ASSERT_TRUE(WaitUntil([&] { return bob.client.State() == 4; }));

    CMailslotPdu pdu;
    pdu.SetOriginator("EVE\nMALLORY wrote to WORKGROUP:" + std::string(10, 'x'));
    pdu.SetDestination("WORKGROUP\r");
    pdu.SetText("hello");
    CPduBuffer buffer;
    pdu.Encode(buffer);
    bob.local.OpenMailslot(".", "MESSNGR")->Write(buffer.Bytes());

    ASSERT_TRUE(bob.inbox.WaitFor(1));
    const CMsg msg = bob.inbox.Messages()[0];
    EXPECT_EQ(msg.sender, "EVE?MALLORY wrote to WORKGROUP:x");  // 32 characters
    EXPECT_EQ(msg.recipient, "WORKGROUP?");
    EXPECT_EQ(msg.address, "WORKGROUP?");
    EXPECT_EQ(msg.text, "hello");
}

TEST(CvMslotMessagingClient, WriteToAnotherStationsMailslotCrossesTheLan) {
    CvVirtualLan lan(std::chrono::milliseconds(20));
    MailslotStation alice(lan, "PC-A");
    MailslotStation bob(lan, "PC-B");
    ASSERT_TRUE(WaitUntil([&] { return alice.client.State() == 4 && bob.client.State() == 4; }));

    alice.client.Send(Broadcast("pc-b", "across"));
    ASSERT_TRUE(bob.inbox.WaitFor(1));
    EXPECT_EQ(bob.inbox.Messages()[0].text, "across");
    EXPECT_EQ(bob.inbox.Messages()[0].recipient, "pc-b");
    EXPECT_TRUE(alice.inbox.Messages().empty());
}

TEST(CvMslotMessagingClient, PersonalRecordsAreIgnoredAndNoPortMeansNoInterface) {
    CvMslotMessagingClient client;  // not started: no port
    EXPECT_NO_THROW(client.Send(Broadcast("BOB", "x", MsgPersonal)));
    EXPECT_THROW(client.Send(Broadcast("WORKGROUP", "x")), CvNoInterfaceAvailErr);
}

}  // namespace
