// The station with its archive, queues and control socket, as both programs
// own it: what was acknowledged to a sender or reported sent before the stop
// is in the archive after it, a send that was withdrawn while under way is
// still filed, and the owner is woken once per batch.
#include "storage/CvStationHost.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/CvMemberFunction.h"
#include "messaging/CvError.h"
#include "messaging/CvStation.h"
#include "messaging/SendResultCode.h"
#include "platform/CvUnixMailslots.h"
#include "platform/CvVirtualLan.h"
#include "platform/CvVirtualStation.h"
#include "storage/CvMsgArchive.h"
#include "support/TestEnv.h"
#include "support/VirtualLanStation.h"

namespace {

using namespace std::chrono_literals;

CMsg Message(int32_t type, const std::string& sender, const std::string& to,
             const std::string& text) {
    CMsg msg;
    msg.type = type;
    msg.sender = sender;
    msg.recipient = msg.address = to;
    msg.text = text;
    return msg;
}

// The texts the archive file holds, by direction (1 received, 2 sent).
std::multiset<std::string> ArchivedTexts(const std::string& path, int msgtype) {
    std::multiset<std::string> texts;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, "SELECT message FROM messages WHERE msgtype = ?", -1, &statement,
                           nullptr);
        sqlite3_bind_int(statement, 1, msgtype);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            texts.insert(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return texts;
}

// Counts the owner's wake-ups.
class WakeUps : public CvNullaryFunction<void> {
public:
    void Invoke() override { ++count; }
    std::atomic<int> count{0};
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

// ALICE's station on a virtual LAN, run by a host that files on drain into
// an archive in a private folder; BOB and CAROL are peers.
class StationHostTest : public testing::Test {
protected:
    void StartAlice(uint32_t sendTimeoutMs = 500) {
        m_alice.AttachAdapter(0, 1);
        CvStationSettings settings;
        settings.computerName = "ALPHA";
        settings.userName = "ALICE";
        settings.workgroup = "WG";
        settings.sendTimeoutMs = sendTimeoutMs;
        auto station = std::make_unique<CvStation>(m_alice, m_local, settings);
        station->SetWatchPeriod(20);
        auto archive = std::make_unique<CvMsgArchive>();
        ASSERT_TRUE(archive->Open(ArchivePath()));
        m_host.SetArchive(std::move(archive));
        m_host.SetWakeUps(&m_receivedWakeUps, &m_sentWakeUps);
        std::string error;
        ASSERT_TRUE(m_host.Start(std::move(station), "", &error)) << error;
        ASSERT_TRUE(m_host.Station()->WaitRegistered(5000));
        ASSERT_TRUE(m_bob.WaitRegistered());
        ASSERT_TRUE(m_carol.WaitRegistered());
    }
    std::string ArchivePath() const { return m_dir.File("messages"); }

    TempDir m_dir;
    CvVirtualLan m_lan{10ms};
    CvVirtualStation m_alice{m_lan};
    CvUnixMailslots m_local{nullptr, m_dir.Path() + "/mailslot"};
    VirtualLanStation m_bob{m_lan, "PC2", {"BOB"}, {"WG"}};
    VirtualLanStation m_carol{m_lan, "PC3", {"CAROL"}, {"WG"}};
    WakeUps m_receivedWakeUps;
    WakeUps m_sentWakeUps;
    CvStationHost m_host{CvStationHost::Filing::OnDrain};
};

// Two peers send as fast as they can while the owner's thread never gets to
// drain, and the host stops in the middle: every message a sender saw
// succeed, and a message the station sent, is in the archive afterwards.
TEST_F(StationHostTest, StopFilesEverythingAcknowledgedBeforeIt) {
    StartAlice();
    Results results;
    ASSERT_TRUE(
        m_host.Station()->Enqueue(Message(MsgPersonal, "ALICE", "BOB", "from alice"), &results, 1));
    ASSERT_TRUE(WaitUntil([&] { return !results.Codes().empty(); }));
    ASSERT_EQ(results.Codes()[0], SendResultSuccess);

    std::mutex lock;
    std::vector<std::string> succeeded;
    std::atomic<bool> stopped{false};
    std::vector<std::thread> senders;
    for (VirtualLanStation* peer : {&m_bob, &m_carol}) {
        senders.emplace_back([&, peer] {
            const std::string name = peer == &m_bob ? "BOB" : "CAROL";
            // Sending goes on while the host stops, and ends after it.
            for (int i = 0; i < 400 && !stopped; ++i) {
                const std::string text = name + " " + std::to_string(i);
                try {
                    peer->client.Send(Message(MsgPersonal, name, "ALICE", text));
                } catch (const CvNetworkErr&) {
                    continue;  // not acknowledged: nothing is promised
                }
                std::lock_guard guard(lock);
                succeeded.push_back(text);
            }
        });
    }
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard guard(lock);
        return succeeded.size() >= 40;
    }));
    m_host.Stop(1s);
    stopped = true;
    for (auto& sender : senders) {
        sender.join();
    }
    EXPECT_GE(m_receivedWakeUps.count.load(), 1);

    const auto received = ArchivedTexts(ArchivePath(), 1);
    size_t missing = 0;
    for (const std::string& text : succeeded) {
        missing += received.count(text) == 0 ? 1 : 0;
    }
    EXPECT_EQ(missing, 0u) << "of " << succeeded.size() << " acknowledged";
    EXPECT_EQ(ArchivedTexts(ArchivePath(), 2), std::multiset<std::string>{"from alice"});
}

// A sender that withdraws its sends (a write window that closes) withdraws
// only those that have not started: the one under way goes out and is filed,
// the waiting one is never sent, and no result reaches the sender.
TEST_F(StationHostTest, ASendWithdrawnWhileUnderWayIsStillFiled) {
    StartAlice(5000);
    Results results;
    m_bob.inbox.Hold();
    ASSERT_TRUE(
        m_host.Station()->Enqueue(Message(MsgPersonal, "ALICE", "BOB", "under way"), &results, 1));
    ASSERT_TRUE(
        m_host.Station()->Enqueue(Message(MsgPersonal, "ALICE", "BOB", "waiting"), &results, 2));
    ASSERT_TRUE(m_bob.inbox.WaitHeld());
    m_host.Station()->Withdraw(std::vector<int32_t>{1, 2});
    m_bob.inbox.Release();

    ASSERT_TRUE(WaitUntil([&] { return m_sentWakeUps.count > 0; }));
    EXPECT_EQ(m_host.DrainSent(), 1);
    EXPECT_EQ(ArchivedTexts(ArchivePath(), 2), std::multiset<std::string>{"under way"});
    // A marker through the outbox: once it arrived, "waiting" would have too.
    ASSERT_TRUE(
        m_host.Station()->Enqueue(Message(MsgPersonal, "ALICE", "BOB", "marker"), nullptr, 3));
    ASSERT_TRUE(m_bob.inbox.WaitFor(2));
    const auto got = m_bob.inbox.Messages();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].text, "under way");
    EXPECT_EQ(got[1].text, "marker");
    EXPECT_TRUE(results.Codes().empty());
}

// However many records the transport threads queue before the owner's
// thread drains, the owner is woken once for them; a record after the drain
// wakes it again.
TEST(CvStationHost, WakesItsOwnerOncePerBatch) {
    CvStationHost host(CvStationHost::Filing::OnDrain);
    WakeUps received;
    WakeUps sent;
    host.SetWakeUps(&received, &sent);
    std::vector<std::thread> transports;
    for (int t = 0; t < 4; ++t) {
        transports.emplace_back([&host, t] {
            for (int i = 0; i < 250; ++i) {
                CMsg msg = Message(MsgBroadcast, "PEER" + std::to_string(t), "WG", "flood");
                host.ReceivedBinding()(msg);
            }
        });
    }
    for (auto& transport : transports) {
        transport.join();
    }
    EXPECT_EQ(received.count.load(), 1);
    EXPECT_EQ(host.DrainReceived().kept, 1000);
    CMsg one = Message(MsgPersonal, "BOB", "ALICE", "after");
    host.ReceivedBinding()(one);
    host.SentBinding()(one);
    EXPECT_EQ(received.count.load(), 2);
    EXPECT_EQ(sent.count.load(), 1);
    EXPECT_EQ(host.DrainReceived().kept, 1);
    EXPECT_EQ(host.DrainSent(), 1);
}

// Filing on arrival (the command-line station): the message is in the
// archive before the binding returns, and so before its sender hears of
// success; the tap sees it filed.
TEST(CvStationHost, FilesOnArrivalBeforeTheTapAndTheReply) {
    TempDir dir;
    CvStationHost host(CvStationHost::Filing::OnArrival);
    auto archive = std::make_unique<CvMsgArchive>();
    ASSERT_TRUE(archive->Open(dir.File("messages")));
    host.SetArchive(std::move(archive));
    struct Tap : CvUnaryFunction<void, const CMsg&> {
        void Invoke(const CMsg& msg) override {
            filed.push_back(ArchivedTexts(path, 1).count(msg.text));
        }
        std::string path;
        std::vector<size_t> filed;
    } watcher;
    watcher.path = dir.File("messages");
    host.SetReceiveTap(&watcher);
    for (const char* text : {"one", "two"}) {
        CMsg msg = Message(MsgPersonal, "BOB", "ALICE", text);
        host.ReceivedBinding()(msg);
        EXPECT_EQ(ArchivedTexts(dir.File("messages"), 1).count(text), 1u) << text;
    }
    EXPECT_EQ(watcher.filed, (std::vector<size_t>{1, 1}));
}

}  // namespace
