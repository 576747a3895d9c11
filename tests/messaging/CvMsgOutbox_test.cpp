#include "messaging/CvMsgOutbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "app/CvMemberFunction.h"
#include "messaging/CvError.h"
#include "messaging/CvMessagingClient.h"
#include "messaging/SendResultCode.h"
#include "platform/CvNcb.h"
#include "platform/CvVirtualLan.h"
#include "support/TestEnv.h"
#include "support/VirtualLanStation.h"

namespace {

using namespace std::chrono_literals;

// Sends by looking the text up in a script: "ok", "notfound", "transmission",
// "nointerface", "unknown", "crash" (not a network error), "slow" (waits
// until released). Records the order and how many sends overlapped.
class ScriptedClient : public CvMessagingClient {
public:
    int32_t TransportId() override { return MsgPersonal; }
    void Send(CMsg msg) override {
        const int now = ++m_running;
        int seen = maxConcurrent;
        while (now > seen && !maxConcurrent.compare_exchange_weak(seen, now)) {
        }
        {
            std::lock_guard guard(lock);
            order.push_back(msg.text);
        }
        struct Done {
            std::atomic<int>& running;
            ~Done() { --running; }
        } done{m_running};
        if (msg.text == "slow") {
            started = true;
            while (!release) {
                std::this_thread::sleep_for(1ms);
            }
            slowReturned = true;
            return;
        }
        if (msg.text == "notfound")
            throw CvAddrNotFoundErr("NBCallAsy3");
        if (msg.text == "transmission")
            throw CvDataTransmissionErr("NBSend24");
        if (msg.text == "nointerface")
            throw CvNoInterfaceAvailErr();
        if (msg.text == "unknown")
            throw CvUnknownNetworkErr();
        if (msg.text == "crash")
            throw std::runtime_error("not a network error");
    }

    std::mutex lock;
    std::vector<std::string> order;
    std::atomic<int> maxConcurrent{0};
    std::atomic<bool> started{false};
    std::atomic<bool> release{false};
    std::atomic<bool> slowReturned{false};

private:
    std::atomic<int> m_running{0};
};

class ResultLog {
public:
    void OnResult(CvMsgOutboxSendResult& result) {
        std::lock_guard guard(m_lock);
        codes[result.id] = result.code;
        ++count;
    }
    int Code(int id) {
        std::lock_guard guard(m_lock);
        return codes.count(id) != 0 ? codes[id] : -1;
    }
    std::atomic<int> count{0};
    CvVoidUnaryMemberFunction<ResultLog, CvMsgOutboxSendResult&> receiver{this,
                                                                          &ResultLog::OnResult};

private:
    std::mutex m_lock;
    std::map<int, int> codes;
};

CMsg Text(const std::string& text) {
    CMsg msg;
    msg.type = MsgPersonal;
    msg.text = text;
    return msg;
}

TEST(CvMsgOutbox, SendsOneAtATimeInOrderWithOneResultEach) {
    ScriptedClient client;
    ResultLog log;
    CvMsgOutbox outbox;
    outbox.SetClient(&client);
    const std::vector<std::string> texts = {
        "ok", "notfound", "transmission", "nointerface", "unknown", "crash", "ok"};
    for (size_t i = 0; i < texts.size(); ++i) {
        outbox.Enqueue(Text(texts[i]), &log.receiver, static_cast<int>(i));
    }
    outbox.Start();
    ASSERT_TRUE(WaitUntil([&] { return log.count == static_cast<int>(texts.size()); }));
    const std::vector<int> expected = {1, 3, 4, 5, 2, 2, 1};
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(log.Code(static_cast<int>(i)), expected[i]) << texts[i];
    }
    EXPECT_EQ(client.order, texts);
    EXPECT_EQ(client.maxConcurrent, 1);
}

TEST(CvMsgOutbox, WithdrawDropsAQueuedEntryAndSilencesARunningOne) {
    ScriptedClient client;
    ResultLog log;
    CvMsgOutbox outbox;
    outbox.SetClient(&client);
    outbox.Start();
    outbox.Enqueue(Text("slow"), &log.receiver, 1);
    ASSERT_TRUE(WaitUntil([&] { return client.started.load(); }));
    outbox.Enqueue(Text("ok"), &log.receiver, 2);
    outbox.Enqueue(Text("ok"), &log.receiver, 3);
    outbox.Withdraw(2);  // still queued
    outbox.Withdraw(1);  // running: goes on, but reports nothing
    client.release = true;
    // Entry 3 starts only after the send of entry 1 has ended, result and all.
    ASSERT_TRUE(WaitUntil([&] { return log.Code(3) != -1; }));
    EXPECT_EQ(log.count, 1);
    EXPECT_EQ(log.Code(3), 1);
    EXPECT_EQ(log.Code(1), -1);
    EXPECT_EQ(log.Code(2), -1);
    EXPECT_EQ(client.order, (std::vector<std::string>{"slow", "ok"}));
}

// A window that closes withdraws all its sends at once: the running one
// finishing in between must not let the next one start.
TEST(CvMsgOutbox, WithdrawingSeveralLeavesNoneOfThemToSend) {
    // `race`: the send ends on another thread while the withdrawal runs, in
    // whatever order they come; else it ends while the test holds the result
    // lock (which Withdraw takes again), so its thread waits there until
    // the withdrawal is done.
    for (const bool race : {false, true}) {
        SCOPED_TRACE(race ? "racing" : "held");
        ScriptedClient client;
        ResultLog log;
        CvMsgOutbox outbox;
        outbox.SetClient(&client);
        outbox.Start();
        outbox.Enqueue(Text("slow"), &log.receiver, 1);
        ASSERT_TRUE(WaitUntil([&] { return client.started.load(); }));
        outbox.Enqueue(Text("two"), &log.receiver, 2);
        outbox.Enqueue(Text("three"), &log.receiver, 3);
        outbox.Enqueue(Text("four"), &log.receiver, 4);
        if (race) {
            std::thread releaser([&] { client.release = true; });
            outbox.Withdraw(std::vector<int32_t>{1, 2, 3});
            releaser.join();
        } else {
            std::lock_guard hold(outbox.ResultLock());
            client.release = true;
            ASSERT_TRUE(WaitUntil([&] { return client.slowReturned.load(); }));
            outbox.Withdraw(std::vector<int32_t>{1, 2, 3});
        }
        // The last entry's result comes after whatever the others could report.
        ASSERT_TRUE(WaitUntil([&] { return log.Code(4) != -1; }));
        EXPECT_EQ(log.Code(4), 1);
        if (log.Code(1) == -1) {
            // Withdrawn before its result: nothing of the three may follow.
            EXPECT_EQ(log.count, 1);
            EXPECT_EQ(client.order, (std::vector<std::string>{"slow", "four"}));
        } else {
            // The send ended (result and all) before the withdrawal began, so
            // the outbox may have started the next one already.
            EXPECT_TRUE(race);
            EXPECT_NE(std::find(client.order.begin(), client.order.end(), "four"),
                      client.order.end());
            EXPECT_EQ(std::find(client.order.begin(), client.order.end(), "three"),
                      client.order.end());
        }
    }
}

TEST(CvMsgOutbox, NullReceiverStillSendsAndDestructionWaitsForARunningSend) {
    ScriptedClient client;
    {
        CvMsgOutbox outbox;
        outbox.SetClient(&client);
        outbox.Start();
        outbox.Enqueue(Text("slow"), nullptr, 1);
        ASSERT_TRUE(WaitUntil([&] { return client.started.load(); }));
        std::thread releaser([&] {
            std::this_thread::sleep_for(30ms);
            client.release = true;
        });
        releaser.detach();
    }
    EXPECT_TRUE(client.release) << "the outbox went away while its send still ran";
}

// The codes for what the session client really throws when the NetBIOS under
// it fails: the outbox and its send thread in front of the client of a
// station on a virtual LAN, whose calls and sends fail as the case scripts.
TEST(CvMsgOutbox, ReportsTheSessionClientsFailuresByTheirCodes) {
    struct Case {
        const char* what;
        uint8_t command;  // 0: nothing fails
        uint8_t code;
        bool noNames;  // the sender holds no name, so it has no port to send from
        int32_t expected;
    };
    const Case cases[] = {
        {"delivered", 0, 0, false, SendResultSuccess},
        {"nobody answers the call", kNcbCall, kNrcNoCall, false, SendResultAddrNotFound},
        {"the call times out", kNcbCall, kNrcCmdTmo, false, SendResultAddrNotFound},
        {"the callee's session table is full", kNcbCall, kNrcRemTFul, false,
         SendResultUnknownError},
        {"the session breaks under the send", kNcbSend, kNrcSAbort, false, SendResultTransmission},
        {"the session closes under the send", kNcbSend, kNrcSClosed, false, SendResultTransmission},
        {"no port to send from", 0, 0, true, SendResultNoInterface},
    };
    CvVirtualLan lan{20ms};
    VirtualLanStation bob(lan, "PC-B", {"BOB"}, {});
    ASSERT_TRUE(bob.WaitRegistered());
    int id = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VirtualLanStation alice(
            lan, "PC-A", c.noNames ? std::vector<std::string>{} : std::vector<std::string>{"ALICE"},
            {});
        ASSERT_TRUE(alice.WaitRegistered());
        if (c.command != 0) {
            alice.station.InjectFailure(c.command, c.code, 1000);  // every try fails
        }
        ResultLog log;
        CvMsgOutbox outbox;
        outbox.SetClient(&alice.client);
        outbox.Start();
        CMsg msg = Text(c.what);
        msg.sender = "ALICE";
        msg.recipient = msg.address = "BOB";
        outbox.Enqueue(msg, &log.receiver, ++id);
        ASSERT_TRUE(WaitUntil([&] { return log.count == 1; }, 10s));
        EXPECT_EQ(log.Code(id), c.expected);
        const auto arrived = [&] {
            const auto messages = bob.inbox.Messages();
            return std::any_of(messages.begin(), messages.end(),
                               [&](const CMsg& m) { return m.text == c.what; });
        };
        if (c.expected == SendResultSuccess) {
            EXPECT_TRUE(WaitUntil(arrived));
        } else {
            EXPECT_FALSE(arrived()) << "a failed call or send puts nothing on the wire";
        }
    }
}

}  // namespace
