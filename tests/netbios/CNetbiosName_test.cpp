#include "netbios/CNetbiosName.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <ctime>
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <pthread.h>

#include "app/CvMemberFunction.h"
#include "messaging/CvError.h"
#include "netbios/CNetbiosConnection.h"
#include "netbios/CNetbiosDgName.h"
#include "netbios/CPduBuffer.h"
#include "netbios/NetbiosOperations.h"
#include "platform/CvAdapterStatus.h"
#include "platform/CvNetbiosGate.h"
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

// Passes a port's commands on; counts its attempts to add its name and notes
// the CPU clock of the thread that submits its listens, the port thread.
class PortProvider : public CvNetbiosProvider {
public:
    explicit PortProvider(CvNetbiosProvider& next) : m_next(next) {}
    uint8_t Submit(CvNcb& ncb) override {
        const uint8_t command = ncb.command & static_cast<uint8_t>(~kNcbAsync);
        if (command == kNcbAddName || command == kNcbAddGroupName) {
            ++m_adds;
        }
        if (command == kNcbListen) {
            clockid_t clock{};
            if (pthread_getcpuclockid(pthread_self(), &clock) == 0) {
                std::lock_guard guard(m_lock);
                m_clock = clock;
            }
        }
        return m_next.Submit(ncb);
    }
    int Adds() const { return m_adds; }
    // CPU time the port thread has used so far; nullopt before its first listen.
    std::optional<std::chrono::nanoseconds> PortThreadCpu() {
        std::lock_guard guard(m_lock);
        timespec used{};
        if (!m_clock || clock_gettime(*m_clock, &used) != 0) {
            return std::nullopt;
        }
        return std::chrono::seconds(used.tv_sec) + std::chrono::nanoseconds(used.tv_nsec);
    }

private:
    CvNetbiosProvider& m_next;
    std::atomic<int> m_adds{0};
    std::mutex m_lock;
    std::optional<clockid_t> m_clock;
};

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
    PortProvider provider(server);
    CNetbiosName port(provider, 0, "TAKEN", {0x03});
    port.Start();
    ASSERT_TRUE(WaitUntil([&] { return provider.Adds() >= 1; }));
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

// Holds every session it is given until released, and counts how many it
// holds at once.
struct HoldingHandler {
    std::mutex lock;
    std::condition_variable changed;
    int holding = 0;
    int most = 0;
    int served = 0;
    bool released = false;

    void OnConnection(CConnection* connection, void*) {
        {
            std::unique_lock guard(lock);
            most = std::max(most, ++holding);
            changed.notify_all();
            changed.wait_for(guard, 5s, [&] { return released; });
            --holding;
            ++served;
            changed.notify_all();
        }
        connection->Close();
    }
    void Release() {
        std::lock_guard guard(lock);
        released = true;
        changed.notify_all();
    }
    template <class Condition>
    bool WaitFor(Condition condition) {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, 5s, condition);
    }
};

TEST_F(PortTest, CallersAreServedSideBySideUpToThePoolSizeAndTheRestWaitTheirTurn) {
    HoldingHandler holder;
    CvVoidBinaryMemberFunction<HoldingHandler, CConnection*, void*> holding{
        &holder, &HoldingHandler::OnConnection};
    CNetbiosName port(server, 0, "SERVER", {0x03});
    port.SetHandler(&holding);
    port.Start();
    ASSERT_TRUE(WaitUntil([&] { return port.IsOpened(); }));

    CNetbiosName caller(client, 0, "CALLER", {0x03});
    caller.SetCallTimeout(2000);
    ASSERT_TRUE(caller.Open());
    constexpr size_t kCallers = CNetbiosName::kMaxWorkers + 8;
    std::vector<CConnection*> sessions;
    for (size_t i = 0; i < kCallers; ++i) {
        try {
            sessions.push_back(caller.Connect("SERVER"));
        } catch (const CvNetworkErr&) {
        }
    }
    EXPECT_EQ(sessions.size(), kCallers) << "callers beyond the busy workers still connect";
    EXPECT_TRUE(holder.WaitFor([&] { return holder.holding == int(CNetbiosName::kMaxWorkers); }));
    EXPECT_EQ(port.WorkerCount(), CNetbiosName::kMaxWorkers);

    holder.Release();
    EXPECT_TRUE(holder.WaitFor([&] { return holder.served == int(kCallers); }));
    {
        // Over the whole run, the waiting callers included.
        std::lock_guard guard(holder.lock);
        EXPECT_EQ(holder.most, int(CNetbiosName::kMaxWorkers));
    }
    for (CConnection* session : sessions) {
        session->Close();
    }
    port.Stop();
    EXPECT_EQ(port.ConnectionCount(), 0u);
}

TEST_F(PortTest, SessionsServedLongMakeWayForACallerWhoWaits) {
    // Slow callers take every worker and never send; the echo handler's
    // receives would hold them for ever.
    CNetbiosName port(server, 0, "SERVER", {0x03});
    port.SetHandler(&handler);
    port.Start();
    ASSERT_TRUE(WaitUntil([&] { return port.IsOpened(); }));
    CNetbiosName slow(client, 0, "SLOW", {0x03});
    ASSERT_TRUE(slow.Open());
    std::vector<CConnection*> held;
    for (size_t i = 0; i < CNetbiosName::kMaxWorkers; ++i) {
        held.push_back(slow.Connect("SERVER"));
    }
    ASSERT_TRUE(WaitUntil([&] { return port.WorkerCount() == CNetbiosName::kMaxWorkers; }));

    CNetbiosName honest(client, 0, "HONEST", {0x03});
    ASSERT_TRUE(honest.Open());
    CConnection* session = honest.Connect("SERVER");
    auto answered = std::async(std::launch::async, [session] {
        CPduBuffer buffer;
        buffer.WriteBytes("ping", 4);
        try {
            session->SendRaw(buffer);
            session->ReceiveRaw(buffer);
        } catch (const CvNetworkErr&) {
            return false;
        }
        return buffer.Length() == 4;
    });
    const auto limit = std::chrono::milliseconds(CNetbiosName::kMakeWayAfterMs) + 2s;
    const bool inTime = answered.wait_for(limit) == std::future_status::ready;
    session->Close();  // ends a receive still waiting
    EXPECT_TRUE(inTime) << "the honest caller waited beyond the make-way time";
    EXPECT_TRUE(answered.get());
    std::this_thread::sleep_for(500ms);
    EXPECT_LT(echo.served, 1 + int(CNetbiosName::kMaxWorkers) / 2)
        << "only as many slow sessions end as callers wait";

    for (CConnection* connection : held) {
        connection->Close();
    }
    port.Stop();
}

TEST_F(PortTest, StopEndsTheSessionsStillBeingServed) {
    // Without a session time-out the handler's receive would wait for ever.
    std::promise<bool> ended;
    struct Reader {
        std::promise<bool>* ended;
        std::atomic<bool> reading{false};
        void OnConnection(CConnection* connection, void*) {
            CPduBuffer buffer;
            reading = true;
            try {
                connection->ReceiveRaw(buffer);
                ended->set_value(false);
            } catch (const CvDataTransmissionErr&) {
                ended->set_value(true);
            }
            connection->Close();
        }
    } reader{&ended};
    CvVoidBinaryMemberFunction<Reader, CConnection*, void*> reading{&reader, &Reader::OnConnection};
    CNetbiosName port(server, 0, "SERVER", {0x03});
    port.SetHandler(&reading);
    port.Start();
    ASSERT_TRUE(WaitUntil([&] { return port.IsOpened(); }));
    CNetbiosName caller(client, 0, "CALLER", {0x03});
    ASSERT_TRUE(caller.Open());
    CConnection* session = caller.Connect("SERVER");
    ASSERT_TRUE(WaitUntil([&] { return reader.reading.load(); }));

    auto stopped = std::async(std::launch::async, [&] { port.Stop(); });
    const bool prompt = stopped.wait_for(2s) == std::future_status::ready;
    if (!prompt) {
        session->Close();  // lets a stop that waits for the handler finish
    }
    stopped.wait();
    EXPECT_TRUE(prompt);
    auto result = ended.get_future();
    ASSERT_EQ(result.wait_for(1s), std::future_status::ready);
    EXPECT_TRUE(result.get()) << "the receive ended with the session";
    if (prompt) {
        session->Close();
    }
}

TEST_F(PortTest, ListensCancelledUnderThePortCloseItWithoutSpinning) {
    // A station that stops closes its gate first, which cancels the listens
    // while the port thread still runs.
    CvNetbiosGate gate(server);
    PortProvider provider(gate);
    CNetbiosName port(provider, 0, "SERVER", {0x03});
    port.SetHandler(&handler);
    port.Start();
    ASSERT_TRUE(WaitUntil([&] { return port.IsOpened(); }));

    gate.Close();
    EXPECT_TRUE(WaitUntil([&] { return !port.IsOpened(); }, 2s))
        << "the port no longer listens, so it is not open";
    // Only the port thread counts: other threads of the process (the LAN's
    // timer, the sanitizers') may be busy meanwhile.
    const auto before = provider.PortThreadCpu();
    ASSERT_TRUE(before.has_value());
    std::this_thread::sleep_for(300ms);
    const auto after = provider.PortThreadCpu();
    ASSERT_TRUE(after.has_value());
    EXPECT_LT(*after - *before, 100ms) << "the port thread waits instead of spinning";
    port.Stop();
}

// Another station claims `name` while `port` serves it: the port stops
// serving and shows the conflict until the name is free again, then
// registers it afresh and `serves` succeeds again.
void ExpectConflictCycle(CvVirtualStation& owner, CvVirtualStation& other, CPort& port,
                         const PortProvider& provider, const std::string& name, uint8_t suffix,
                         const std::function<bool()>& serves) {
    ASSERT_TRUE(WaitUntil([&] { return port.IsOpened(); }));
    ASSERT_TRUE(serves());
    ASSERT_TRUE(owner.InjectConflict(0, name, suffix));
    uint8_t number = 0;
    ASSERT_EQ(NBAddName(other, 0, name, suffix, number), kNrcGoodRet);
    EXPECT_TRUE(WaitUntil([&] { return !port.IsOpened() && port.IsInConflict(); }, 2s));
    const int adds = provider.Adds();
    EXPECT_TRUE(WaitUntil([&] { return provider.Adds() >= adds + 2; }, 5s))
        << "the port tries to register again";
    EXPECT_FALSE(port.IsOpened());
    EXPECT_TRUE(port.IsInConflict());
    EXPECT_TRUE(NamesOn(owner).empty()) << "deleted, and not added while the other holds it";

    ASSERT_EQ(NBDeleteName(other, 0, name, suffix, number), kNrcGoodRet);
    EXPECT_TRUE(WaitUntil([&] { return port.IsOpened() && !port.IsInConflict(); }, 2s));
    EXPECT_TRUE(serves());
}

TEST_F(PortTest, SessionPortInConflictStopsServingAndRegistersAgainWhenTheNameIsFree) {
    PortProvider provider(server);
    CNetbiosName port(provider, 0, "SERVER", {0x03});
    port.SetHandler(&handler);
    port.SetSessionTimeout(2000);
    port.SetReopenPause(100);
    port.Start();
    CNetbiosName caller(client, 0, "CALLER", {0x03});
    ASSERT_TRUE(caller.Open());
    caller.SetCallTimeout(500);
    caller.SetSessionTimeout(2000);
    ExpectConflictCycle(server, client, port, provider, "SERVER", 0x03, [&] {
        try {
            CConnection* connection = caller.Connect("SERVER");
            CPduBuffer buffer;
            buffer.WriteBytes("ping", 4);
            connection->SendRaw(buffer);
            connection->ReceiveRaw(buffer);
            connection->Close();
            return buffer.Length() == 4;
        } catch (const CvNetworkErr&) {
            return false;
        }
    });
    port.Stop();
}

TEST_F(PortTest, DatagramPortInConflictStopsServingAndRegistersAgainWhenTheNameIsFree) {
    DatagramCounter counter;
    CvVoidBinaryMemberFunction<DatagramCounter, CConnection*, void*> dgHandler{
        &counter, &DatagramCounter::OnConnection};
    PortProvider provider(server);
    CNetbiosDgName port(provider, nullptr, 0, "GROUP");
    port.SetHandler(&dgHandler);
    port.SetReopenPause(100);
    port.Start();
    uint8_t sender = 0;
    ASSERT_EQ(NBAddName(client, 0, "SENDER", 0x00, sender), kNrcGoodRet);
    ExpectConflictCycle(server, client, port, provider, "GROUP", 0x00, [&] {
        const int before = counter.count;
        uint8_t data[] = {'d'};
        CvNcb ncb;
        ncb.command = kNcbSendDatagram;
        ncb.num = sender;
        CvSetNetbiosName(ncb.callname, "GROUP", 5, 0x00);
        ncb.buffer = data;
        ncb.length = 1;
        return client.Submit(ncb) == kNrcGoodRet &&
               WaitUntil([&] { return counter.count == before + 1; }, 2s);
    });
    port.Stop();
}

}  // namespace
