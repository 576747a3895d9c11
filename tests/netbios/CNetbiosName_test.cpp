#include "netbios/CNetbiosName.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "app/CvMemberFunction.h"
#include "messaging/CvError.h"
#include "netbios/CNetbiosConnection.h"
#include "netbios/CNetbiosDgName.h"
#include "netbios/CPduBuffer.h"
#include "netbios/NetbiosOperations.h"
#include "platform/CvAdapterStatus.h"
#include "platform/CvVirtualLan.h"
#include "platform/CvVirtualStation.h"
#include "support/TestEnv.h"

namespace {

using namespace std::chrono_literals;

// Answers every caller with the text it sent, upper-cased, then hangs up;
// holds each session for `holdMs` first so that callers overlap.
struct EchoHandler {
    std::atomic<int> served{0};
    std::atomic<int> holdMs{0};
    void OnConnection(CConnection* connection, void*) {
        try {
            CPduBuffer buffer;
            connection->ReceiveRaw(buffer);
            std::this_thread::sleep_for(std::chrono::milliseconds(holdMs.load()));
            connection->SendRaw(buffer);
        } catch (const CvNetworkErr&) {
        }
        connection->Close();
        ++served;
    }
};

std::vector<std::string> NamesOn(CvVirtualStation& station) {
    uint8_t buffer[1024] = {};
    CvNcb ncb;
    ncb.command = kNcbAdapterStatus;
    std::memset(ncb.callname, ' ', 16);
    ncb.callname[0] = '*';
    ncb.buffer = buffer;
    ncb.length = sizeof buffer;
    station.Submit(ncb);
    std::vector<std::string> names;
    if (auto status = CvAdapterStatus::Decode(std::span(buffer, ncb.length))) {
        for (const auto& entry : status->names) {
            names.emplace_back(entry.name.begin(), entry.name.end());
        }
    }
    return names;
}

std::string Field(const std::string& name, uint8_t suffix) {
    std::string field = name;
    field.resize(15, ' ');
    field.push_back(static_cast<char>(suffix));
    return field;
}

class PortTest : public ::testing::Test {
protected:
    CvVirtualLan lan{std::chrono::milliseconds(20)};
    CvVirtualStation server{lan};
    CvVirtualStation client{lan};
    EchoHandler echo;
    CvVoidBinaryMemberFunction<EchoHandler, CConnection*, void*> handler{
        &echo, &EchoHandler::OnConnection};
    void SetUp() override {
        server.AttachAdapter(0, 1);
        client.AttachAdapter(0, 1);
    }
};

TEST_F(PortTest, EightCallersAreServedAndStoppingCancelsListensAndDeletesTheName) {
    CNetbiosName port(server, 0, "SERVER", {0x03});
    port.SetHandler(&handler);
    port.SetSessionTimeout(2000);
    port.Start();
    ASSERT_TRUE(WaitUntil([&] { return port.IsOpened(); }));
    EXPECT_EQ(NamesOn(server), (std::vector<std::string>{Field("SERVER", 0x03)}));

    std::vector<std::unique_ptr<CNetbiosName>> callers;
    std::vector<std::thread> threads;
    std::atomic<int> answered{0};
    for (int i = 0; i < 8; ++i) {
        auto caller = std::make_unique<CNetbiosName>(client, 0, "CALLER" + std::to_string(i),
                                                     std::vector<uint8_t>{0x03});
        caller->SetSessionTimeout(2000);
        ASSERT_TRUE(caller->Open());
        callers.push_back(std::move(caller));
    }
    for (auto& caller : callers) {
        threads.emplace_back([&, port = caller.get()] {
            CConnection* connection = port->Connect("server");
            CPduBuffer buffer;
            buffer.WriteBytes("ping", 4);
            connection->SendRaw(buffer);
            connection->ReceiveRaw(buffer);
            if (buffer.Length() == 4) {
                ++answered;
            }
            connection->Close();
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(answered, 8);
    ASSERT_TRUE(WaitUntil([&] { return echo.served == 8; }));

    port.Stop();
    EXPECT_FALSE(port.IsOpened());
    EXPECT_TRUE(NamesOn(server).empty()) << "the name is deleted on stop";
}

TEST_F(PortTest, ANameHeldElsewhereKeepsThePortClosedUntilItIsFree) {
    uint8_t number = 0;
    ASSERT_EQ(NBAddName(client, 0, "TAKEN", 0x03, number), kNrcGoodRet);
    CNetbiosName port(server, 0, "TAKEN", {0x03});
    port.Start();
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(port.IsOpened());
    ASSERT_EQ(NBDeleteName(client, 0, "TAKEN", 0x03, number), kNrcGoodRet);
    // The port tries again every 3000 ms.
    EXPECT_TRUE(WaitUntil([&] { return port.IsOpened(); }, 5s));
    port.Stop();
}

TEST_F(PortTest, CallToAnAbsentNameIsAddressNotFound) {
    CNetbiosName port(client, 0, "CALLER", {0x03});
    ASSERT_TRUE(port.Open());
    port.SetCallTimeout(500);
    EXPECT_THROW(port.Connect("NOBODY"), CvAddrNotFoundErr);
    EXPECT_EQ(port.ConnectionCount(), 0u);
}

struct DatagramCounter {
    std::atomic<int> count{0};
    std::atomic<size_t> lastLength{0};
    void OnConnection(CConnection* connection, void*) {
        CPduBuffer buffer;
        connection->ReceiveRaw(buffer);
        lastLength = buffer.Length();
        connection->Close();
        ++count;
    }
};

TEST_F(PortTest, DatagramPortDeliversUpTo512BytesAndDropsLonger) {
    DatagramCounter counter;
    CvVoidBinaryMemberFunction<DatagramCounter, CConnection*, void*> dgHandler{
        &counter, &DatagramCounter::OnConnection};
    CNetbiosDgName port(server, nullptr, 0, "GROUP");
    port.SetHandler(&dgHandler);
    port.Start();
    ASSERT_TRUE(WaitUntil([&] { return port.IsOpened(); }));

    uint8_t sender = 0;
    ASSERT_EQ(NBAddName(client, 0, "SENDER", 0x00, sender), kNrcGoodRet);
    auto send = [&](size_t length) {
        std::vector<uint8_t> data(length, 'd');
        CvNcb ncb;
        ncb.command = kNcbSendDatagram;
        ncb.num = sender;
        CvSetNetbiosName(ncb.callname, "GROUP", 5, 0x00);
        ncb.buffer = data.data();
        ncb.length = static_cast<uint16_t>(length);
        return client.Submit(ncb);
    };
    ASSERT_EQ(send(512), kNrcGoodRet);
    ASSERT_TRUE(WaitUntil([&] { return counter.count == 1; }));
    EXPECT_EQ(counter.lastLength, 512u);
    EXPECT_NE(send(513), kNrcGoodRet) << "NetBIOS datagrams carry at most 512 bytes";
    port.Stop();
    EXPECT_EQ(port.ConnectionCount(), 0u);
}

}  // namespace
