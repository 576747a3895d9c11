#include "netbios/CMailslot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "app/CvMemberFunction.h"
#include "netbios/CMailslotPdu.h"
#include "netbios/CPduBuffer.h"
#include "platform/CvUnixMailslots.h"
#include "support/TestEnv.h"

namespace {

std::vector<uint8_t> Encode(const std::string& from, const std::string& to,
                            const std::string& text) {
    CMailslotPdu pdu;
    pdu.SetOriginator(from);
    pdu.SetDestination(to);
    pdu.SetText(text);
    CPduBuffer buffer;
    pdu.Encode(buffer);
    return {buffer.Bytes().begin(), buffer.Bytes().end()};
}

struct Receiver {
    std::mutex lock;
    std::vector<std::string> texts;
    std::atomic<bool> readMessages{true};
    std::atomic<int> calls{0};
    void OnConnection(CConnection* connection, void*) {
        ++calls;
        if (readMessages) {
            CMailslotPdu pdu;
            connection->ReceivePdu(pdu);
            std::lock_guard guard(lock);
            texts.push_back(pdu.Originator() + ">" + pdu.Destination() + ":" + pdu.Text());
        }
        connection->Close();
    }
    size_t Count() {
        std::lock_guard guard(lock);
        return texts.size();
    }
};

class CMailslotTest : public ::testing::Test {
protected:
    TempDir dir;
    CvUnixMailslots mailslots{nullptr, dir.Path() + "/mailslot"};
    Receiver receiver;
    CvVoidBinaryMemberFunction<Receiver, CConnection*, void*> handler{&receiver,
                                                                      &Receiver::OnConnection};
};

TEST_F(CMailslotTest, DeliversEachMessageToTheHandler) {
    EXPECT_FALSE(mailslots.OpenMailslot(".", "MESSNGR")) << "nobody has created it yet";
    CMailslot port(mailslots, "MESSNGR");
    port.SetHandler(&handler);
    port.Start();
    ASSERT_TRUE(WaitUntil([&] { return port.IsOpened(); }));

    auto writer = mailslots.OpenMailslot(".", "MESSNGR");
    ASSERT_TRUE(writer);
    EXPECT_TRUE(writer->Write(Encode("ALICE", "BOB", "hello")));
    EXPECT_TRUE(writer->Write(Encode("ALICE", "WORKGROUP", "all")));
    ASSERT_TRUE(WaitUntil([&] { return receiver.Count() == 2; }));
    port.Stop();
    EXPECT_EQ(receiver.texts[0], "ALICE>BOB:hello");
    EXPECT_EQ(receiver.texts[1], "ALICE>WORKGROUP:all");
    EXPECT_EQ(port.ConnectionCount(), 0u);
}

TEST_F(CMailslotTest, SecondOwnerIsRefusedAndOversizedMessagesAreDropped) {
    auto owner = mailslots.CreateMailslot("MESSNGR", 400);
    ASSERT_TRUE(owner);
    EXPECT_FALSE(mailslots.CreateMailslot("messngr", 400)) << "one owner at a time";

    auto writer = mailslots.OpenMailslot(".", "MESSNGR");
    std::vector<uint8_t> big(401, 'x');
    std::vector<uint8_t> exact(400, 'y');
    writer->Write(big);
    writer->Write(exact);
    uint32_t size = 0, count = 0;
    ASSERT_TRUE(owner->GetInfo(size, count));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(size, 400u) << "the 401-byte message never arrives";

    owner.reset();
    EXPECT_TRUE(mailslots.CreateMailslot("MESSNGR", 400)) << "free again once the owner is gone";
}

TEST_F(CMailslotTest, AMessageTheHandlerLeavesUnreadDoesNotBlockTheNextOnes) {
    receiver.readMessages = false;
    CMailslot port(mailslots, "MESSNGR");
    port.SetHandler(&handler);
    port.Start();
    ASSERT_TRUE(WaitUntil([&] { return port.IsOpened(); }));
    auto writer = mailslots.OpenMailslot(".", "MESSNGR");
    writer->Write(Encode("A", "B", "ignored"));
    ASSERT_TRUE(WaitUntil([&] { return receiver.calls == 1; }));
    receiver.readMessages = true;
    writer->Write(Encode("A", "B", "read"));
    ASSERT_TRUE(WaitUntil([&] { return receiver.Count() == 1; }));
    EXPECT_EQ(receiver.texts[0], "A>B:read");
    port.Stop();
}

TEST_F(CMailslotTest, ConnectWithoutARemoteTransportYieldsNoConnection) {
    CMailslot port(mailslots, "MESSNGR");
    EXPECT_EQ(port.Connect("workgroup"), nullptr);
}

}  // namespace
