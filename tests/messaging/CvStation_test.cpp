#include "messaging/CvStation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/CvAppPropertyList.h"
#include "app/CvAppSettingsTable.h"
#include "messaging/CvError.h"
#include "messaging/CvSmbMessagingClient.h"
#include "messaging/CvSmbStateWatch.h"
#include "messaging/SendResultCode.h"
#include "netbios/CNetbiosName.h"
#include "netbios/CPduBuffer.h"
#include "platform/CvEvent.h"
#include "platform/CvNetbiosGate.h"
#include "platform/CvUnixMailslots.h"
#include "platform/CvVirtualLan.h"
#include "platform/CvVirtualStation.h"
#include "support/TestEnv.h"
#include "support/VirtualLanStation.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

CvStationSettings Settings(bool user = true, bool computer = true, bool group = true) {
    CvStationSettings settings;
    settings.computerName = "ALPHA";
    settings.userName = "ALICE";
    settings.workgroup = "WG";
    settings.registerUserName = user;
    settings.registerComputerName = computer;
    settings.registerGroupName = group;
    settings.sendTimeoutMs = 500;
    return settings;
}

// A station of the class under test on adapter 0 of segment 1.
struct StationOnLan {
    StationOnLan(CvVirtualLan& lan, CvStationSettings settings)
        : host(lan), local(nullptr, dir.Path() + "/mailslot") {
        host.AttachAdapter(0, 1);
        station = std::make_unique<CvStation>(host, local, std::move(settings));
        station->SetReceiver(&inbox.receiver);
        station->SetWatchPeriod(20);
    }
    ~StationOnLan() { station.reset(); }

    CvVirtualStation host;
    TempDir dir;
    CvUnixMailslots local;
    MessageInbox inbox;
    std::unique_ptr<CvStation> station;
};

// Collects send results.
class Results : public CvUnaryFunction<void, CvMsgOutboxSendResult&> {
public:
    void Invoke(CvMsgOutboxSendResult& result) override {
        std::lock_guard guard(m_lock);
        m_codes.push_back(result.code);
    }
    std::vector<int32_t> Codes() {
        std::lock_guard guard(m_lock);
        return m_codes;
    }

private:
    std::mutex m_lock;
    std::vector<int32_t> m_codes;
};

CMsg Message(int32_t type, const std::string& sender, const std::string& to,
             const std::string& text) {
    CMsg msg;
    msg.type = type;
    msg.sender = sender;
    msg.address = to;
    msg.recipient = to;
    msg.text = text;
    return msg;
}

TEST(CvStationSettings, TakesTheNetworkSettingsFromTheList) {
    CvAppPropertyList list;
    for (const auto& row : CvAppSettingsTable()) {
        list.Set(row.id, row.DefaultValue());
    }
    auto defaults = CvStationSettings::FromList(list, "PC", "ME", "WG");
    EXPECT_TRUE(defaults.registerUserName && defaults.registerComputerName &&
                defaults.registerGroupName && defaults.fragmentEnabled);
    EXPECT_EQ(defaults.maxBroadcastLength, 350u);
    EXPECT_EQ(defaults.sendTimeoutMs, 3500u);
    EXPECT_EQ(defaults.DefaultSender(), "ME");

    list.Set(CvSettingId::kNetMsgNameUserEnabled, CvPropertyValue::Integer(0));
    list.Set(CvSettingId::kNetMsgNameGroupEnabled, CvPropertyValue::Integer(0));
    list.Set(CvSettingId::kMsgSendEnableMsgFragment, CvPropertyValue::Integer(0));
    list.Set(CvSettingId::kMessagesLargeBcastEnabled, CvPropertyValue::Integer(0));
    list.Set(CvSettingId::kNetMsgSendTimeout, CvPropertyValue::Integer(-5));
    list.Set(CvSettingId::kUserSignMsgWith, CvPropertyValue::Integer(2));
    auto changed = CvStationSettings::FromList(list, "PC", "ME", "WG");
    EXPECT_FALSE(changed.registerUserName);
    EXPECT_TRUE(changed.registerComputerName);
    EXPECT_FALSE(changed.registerGroupName);
    EXPECT_FALSE(changed.fragmentEnabled);
    EXPECT_EQ(changed.maxBroadcastLength, 128u);
    EXPECT_EQ(changed.sendTimeoutMs, 0u);
    EXPECT_EQ(changed.DefaultSender(), "PC");
}

TEST(CvStation, RegistersTheNamesTheSettingsEnable) {
    struct Case {
        bool user, computer, group;
        std::vector<std::string> personal;
        std::vector<std::string> groups;
    };
    const Case cases[] = {
        {true, true, true, {"ALICE", "ALPHA"}, {"WG"}},
        {false, true, true, {"ALPHA"}, {"WG"}},
        {true, false, false, {"ALICE"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.user << c.computer << c.group);
        CvVirtualLan lan;
        StationOnLan alpha(lan, Settings(c.user, c.computer, c.group));
        alpha.station->Start();
        ASSERT_TRUE(alpha.station->WaitRegistered(5000));
        auto& client = alpha.station->SmbClient();
        EXPECT_EQ(client.PersonalNames(), c.personal);
        EXPECT_EQ(client.GroupNames(), c.groups);
        for (const std::string name : {"ALICE", "ALPHA"}) {
            const bool enabled =
                std::find(c.personal.begin(), c.personal.end(), name) != c.personal.end();
            EXPECT_EQ(client.GetNameState(name, MsgPersonal),
                      enabled ? NameStateRegistered : NameStateUnknown);
        }
        // The mailslot client runs beside it, its MESSNGR mailslot open.
        EXPECT_TRUE(WaitUntil([&] { return alpha.station->MailslotState() == 4; }));
        EXPECT_EQ(alpha.station->Adapters(), std::vector<uint8_t>{0});
    }
}

TEST(CvStation, SendsThroughTheOutboxAndReceivesBothKinds) {
    CvVirtualLan lan;
    VirtualLanStation beta(lan, "BETA", {"BOB"}, {"WG"});
    StationOnLan alpha(lan, Settings());
    alpha.station->Start();
    ASSERT_TRUE(alpha.station->WaitRegistered(5000));
    ASSERT_TRUE(beta.WaitRegistered());

    Results results;
    ASSERT_TRUE(alpha.station->Enqueue(Message(MsgPersonal, "ALICE", "BOB", "hi"), &results, 1));
    ASSERT_TRUE(alpha.station->Enqueue(Message(MsgPersonal, "ALICE", "NOBODY", "x"), &results, 2));
    ASSERT_TRUE(WaitUntil([&] { return results.Codes().size() == 2; }, 10s));
    EXPECT_EQ(results.Codes(), (std::vector<int32_t>{SendResultSuccess, SendResultAddrNotFound}));
    ASSERT_TRUE(beta.inbox.WaitFor(1));
    EXPECT_EQ(beta.inbox.Messages()[0].sender, "ALICE");
    EXPECT_EQ(beta.inbox.Messages()[0].text, "hi");

    // Into the station: a personal message and a workgroup broadcast.
    beta.client.Send(Message(MsgPersonal, "BOB", "ALPHA", "to the computer"));
    beta.client.Send(Message(MsgBroadcast, "BOB", "WG", "to all"));
    ASSERT_TRUE(alpha.inbox.WaitFor(2));
    std::vector<std::pair<int32_t, std::string>> got;
    for (const auto& msg : alpha.inbox.Messages()) {
        got.emplace_back(msg.type, msg.text);
    }
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::pair<int32_t, std::string>>{{MsgPersonal, "to the computer"},
                                                                 {MsgBroadcast, "to all"}}));
}

// Accepts sessions to its name and never answers.
class SilentPeer {
public:
    explicit SilentPeer(CvVirtualLan& lan) : station(lan), port(station, 0, "SINK", {0x03}) {
        station.AttachAdapter(0, 1);
        port.SetHandler(&handler);
        port.SetSessionTimeout(30000);
        port.Start();
    }
    ~SilentPeer() {
        release.Set();
        port.Stop();
    }
    void OnConnection(CConnection* connection, void*) {
        try {
            CPduBuffer first;  // taken, never answered
            connection->ReceiveRaw(first);
            called.Set();
            release.Wait(20000);
        } catch (const CvNetworkErr&) {
        }
        connection->Close();
    }

    CvVirtualStation station;
    CNetbiosName port;
    CvEvent called{true, false};
    CvEvent release{true, false};
    CvVoidBinaryMemberFunction<SilentPeer, CConnection*, void*> handler{this,
                                                                        &SilentPeer::OnConnection};
};

TEST(CvStation, StopReturnsAtOnceWhileASendWaitsForAnAnswer) {
    CvVirtualLan lan;  // 500 ms units: the sender would wait 7 s for the reply
    SilentPeer sink(lan);
    ASSERT_TRUE(WaitUntil([&] { return sink.port.IsOpened(); }));
    StationOnLan alpha(lan, Settings(true, false, false));
    alpha.station->Start();
    ASSERT_TRUE(alpha.station->WaitRegistered(5000));

    Results results;
    // Long enough for Send Start, whose reply the peer never gives.
    const std::string text(200, 'x');
    ASSERT_TRUE(alpha.station->Enqueue(Message(MsgPersonal, "ALICE", "SINK", text), &results, 1));
    // The sender has sent Send Start and now waits for the reply.
    ASSERT_EQ(sink.called.Wait(5000), kWaitObject0);

    const auto start = Clock::now();
    alpha.station->Stop();
    const auto took = Clock::now() - start;
    EXPECT_LT(took, 5s) << "Stop waited for the reply's time-out (7 s)";
    // The send ended and reported, as a transmission failure.
    EXPECT_EQ(results.Codes(), std::vector<int32_t>{SendResultTransmission});
    EXPECT_FALSE(alpha.station->Enqueue(Message(MsgPersonal, "ALICE", "SINK", "x"), &results, 2));
}

TEST(CvStation, StopReleasesTheNamesAndDeliversNothingMore) {
    CvVirtualLan lan;
    {
        StationOnLan alpha(lan, Settings());
        alpha.station->Start();
        ASSERT_TRUE(alpha.station->WaitRegistered(5000));
        alpha.station->Stop();
        alpha.station->Stop();  // idempotent
        EXPECT_FALSE(alpha.station->IsRunning());
        EXPECT_TRUE(alpha.station->Gate().IsClosed());
        EXPECT_EQ(alpha.station->Gate().TrackedCount(), 0u);
        alpha.station->Start();  // a stopped station stays stopped
        EXPECT_FALSE(alpha.station->IsRunning());
    }
    // The names are free again for another station.
    VirtualLanStation other(lan, "ALPHA", {"ALICE", "ALPHA"}, {});
    EXPECT_TRUE(other.WaitRegistered());
}

TEST(CvStation, ANameTakenByAnotherStationStaysPartial) {
    CvVirtualLan lan;
    VirtualLanStation holder(lan, "OTHER", {"ALICE"}, {});
    ASSERT_TRUE(holder.WaitRegistered());
    StationOnLan alpha(lan, Settings(true, true, false));
    alpha.station->Start();
    // The free name gets registered; the taken one is tried and stays partial.
    EXPECT_TRUE(WaitUntil(
        [&] {
            return alpha.station->NameState({"ALPHA", MsgPersonal}) == NameStateRegistered &&
                   alpha.station->NameState({"ALICE", MsgPersonal}) == NameStatePartial;
        },
        10s));
    EXPECT_EQ(alpha.station->NameState({"ALICE", MsgPersonal}), NameStatePartial);
    EXPECT_FALSE(alpha.station->WaitRegistered(0));
}

TEST(CvStation, OwnSendersAreTheUserAndComputerName) {
    CvVirtualLan lan;
    StationOnLan alpha(lan, Settings());
    std::string canonical;
    EXPECT_TRUE(alpha.station->IsOwnSender("alice", &canonical));
    EXPECT_EQ(canonical, "ALICE");
    EXPECT_TRUE(alpha.station->IsOwnSender("Alpha"));
    EXPECT_FALSE(alpha.station->IsOwnSender("WG"));
    EXPECT_FALSE(alpha.station->IsOwnSender(""));
}

}  // namespace
