#include "messaging/CvNetNamePinger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "messaging/CvNetbiosNetwork.h"
#include "netbios/NetbiosOperations.h"
#include "platform/CvAdapterStatus.h"
#include "support/VirtualLanStation.h"

namespace {

using namespace std::chrono_literals;

// Collects ping results from the slot threads.
class ResultSink {
public:
    void OnResult(CvNetNamePingResult& result) {
        std::lock_guard guard(m_lock);
        m_results.push_back(result);
    }
    std::vector<CvNetNamePingResult> Results() {
        std::lock_guard guard(m_lock);
        return m_results;
    }
    bool WaitFor(size_t count) {
        return WaitUntil([&] { return Results().size() >= count; });
    }
    std::shared_ptr<CvVoidUnaryMemberFunctionSafe<ResultSink, CvNetNamePingResult&>> receiver =
        std::make_shared<CvVoidUnaryMemberFunctionSafe<ResultSink, CvNetNamePingResult&>>(
            this, &ResultSink::OnResult);

private:
    std::mutex m_lock;
    std::vector<CvNetNamePingResult> m_results;
};

// One adapter whose adapter status requests stay pending until the test
// answers them, so that the number of probes running at once can be seen.
class HeldStatusProvider : public CvNetbiosProvider {
public:
    uint8_t Submit(CvNcb& ncb) override {
        const uint8_t command = ncb.command & static_cast<uint8_t>(~kNcbAsync);
        std::lock_guard guard(m_lock);
        if (command == kNcbEnum) {
            ncb.buffer[0] = 1;
            ncb.buffer[1] = 0;
            return Finish(ncb, kNrcGoodRet, false);
        }
        if (command == kNcbAdapterStatus) {
            ncb.event->Reset();  // as every provider does on submission
            ncb.retcode = kNrcPending;
            m_held.push_back(&ncb);
            peak = std::max(peak, m_held.size());
            return kNrcPending;
        }
        if (command == kNcbCancel) {
            auto it = std::find(m_held.begin(), m_held.end(), ncb.cancelTarget);
            if (it == m_held.end()) {
                return Finish(ncb, kNrcCanOccr, false);
            }
            m_held.erase(it);
            Finish(*ncb.cancelTarget, kNrcCmdCan, true);
            return Finish(ncb, kNrcGoodRet, false);
        }
        return Finish(ncb, kNrcGoodRet, false);
    }

    size_t Held() {
        std::lock_guard guard(m_lock);
        return m_held.size();
    }

    // Answers the `count` oldest held requests with a table holding `name`<03>.
    void Answer(size_t count, const std::string& name) {
        std::lock_guard guard(m_lock);
        for (; count > 0 && !m_held.empty(); --count) {
            CvNcb& ncb = *m_held.front();
            m_held.pop_front();
            CvAdapterStatus status;
            CvAdapterStatus::Name entry;
            CvSetNetbiosName(reinterpret_cast<uint8_t(&)[16]>(*entry.name.data()), name.data(),
                             name.size(), 0x03);
            status.names.push_back(entry);
            Finish(ncb, status.Encode(ncb.buffer, ncb.length), true);
        }
    }

    size_t peak = 0;

private:
    static uint8_t Finish(CvNcb& ncb, uint8_t code, bool async) {
        ncb.retcode = code;
        ncb.cmdCplt = code;
        if (async && ncb.event != nullptr) {
            ncb.event->Set();
        }
        return code;
    }

    std::mutex m_lock;
    std::list<CvNcb*> m_held;
};

class HeldPinger : public ::testing::Test {
protected:
    HeldPinger() : network(provider), pinger(network) {
        network.Lock();
        network.Refresh();
        network.Unlock();
        pinger.Start();
    }
    ~HeldPinger() override { pinger.Stop(); }

    // Outlives the pinger, whose slots may still report while it stops.
    ResultSink sink;
    HeldStatusProvider provider;
    CvNetbiosNetwork network;
    CvNetNamePinger pinger;
};

TEST(CvNetNamePinger, ProbesPresentAndAbsentNamesOnTheVirtualLan) {
    CvVirtualLan lan;
    VirtualLanStation alice(lan, "HOST-A", {"ALICE", "HOST-A"}, {"WG1"});
    ASSERT_TRUE(alice.WaitRegistered());
    uint8_t number = 0;
    ASSERT_EQ(NBAddName(alice.station, 0, "HOST-A", 0x00, number), kNrcGoodRet);

    CvVirtualStation prober(lan);
    prober.AttachAdapter(0, 1);
    CvNetbiosNetwork network(prober);
    network.Lock();
    network.Refresh();
    network.Unlock();
    CvNetNamePinger pinger(network);
    ASSERT_TRUE(pinger.Start());

    struct Case {
        std::string name;
        uint8_t suffix;
        int32_t status;
    };
    const std::vector<Case> cases = {
        {"alice", 0x03, kPingStatusAnswered},   // upper-cased before the probe
        {"HOST-A", 0x00, kPingStatusAnswered},  // the computer's own name
        {"WG1", 0x00, kPingStatusAnswered},     // a group name answers as well
        {"BOB", 0x03, kPingStatusNoAnswer},
        {"ALICE", 0x00, kPingStatusNoAnswer},  // the name with another suffix
    };
    ResultSink sink;
    const uint32_t requester = pinger.NewRequester();
    for (const auto& item : cases) {
        pinger.Ping(requester, item.suffix, item.name, sink.receiver);
    }
    ASSERT_TRUE(sink.WaitFor(cases.size()));
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        const auto results = sink.Results();
        auto found = std::find_if(results.begin(), results.end(), [&](const auto& result) {
            return result.name == item.name && result.suffix == item.suffix;
        });
        ASSERT_NE(found, results.end());
        EXPECT_EQ(found->requester, requester);
        EXPECT_EQ(found->status, item.status);
        if (item.status == kPingStatusAnswered) {
            EXPECT_EQ(found->computerName, "HOST-A");
            // In the order of the name table, where the station's ports
            // register their names concurrently.
            auto names = found->messengerNames;
            std::sort(names.begin(), names.end());
            EXPECT_EQ(names, (std::vector<std::string>{"ALICE", "HOST-A"}));
        } else {
            EXPECT_EQ(found->computerName, "");
            EXPECT_TRUE(found->messengerNames.empty());
        }
    }
}

TEST(CvNetNamePinger, NoAdapterMeansNoAnswer) {
    CvVirtualLan lan;
    CvVirtualStation prober(lan);
    CvNetbiosNetwork network(prober);
    CvNetNamePinger pinger(network);
    pinger.Start();
    ResultSink sink;
    pinger.Ping(pinger.NewRequester(), 0x03, "ALICE", sink.receiver);
    ASSERT_TRUE(sink.WaitFor(1));
    EXPECT_EQ(sink.Results()[0].status, kPingStatusNoAnswer);
}

TEST_F(HeldPinger, TwentyProbesRunAtOnceAndTheRestWaitForASlot) {
    const uint32_t requester = pinger.NewRequester();
    for (int i = 0; i < 25; ++i) {
        pinger.Ping(requester, 0x03, "NAME" + std::to_string(i), sink.receiver);
    }
    // No more than 20 at any time: the peak over the whole run is checked last.
    ASSERT_TRUE(WaitUntil([&] { return provider.Held() == 20; }));
    EXPECT_TRUE(sink.Results().empty());

    provider.Answer(3, "X");
    ASSERT_TRUE(sink.WaitFor(3));
    ASSERT_TRUE(WaitUntil([&] { return provider.Held() == 20; }));

    provider.Answer(20, "X");
    ASSERT_TRUE(WaitUntil([&] { return provider.Held() == 2; }));
    provider.Answer(2, "X");
    ASSERT_TRUE(sink.WaitFor(25));
    EXPECT_EQ(provider.peak, 20u);
    for (const auto& result : sink.Results()) {
        EXPECT_EQ(result.status, kPingStatusAnswered);
        EXPECT_EQ(result.messengerNames, std::vector<std::string>{"X"});
    }
}

TEST_F(HeldPinger, AnUnboundReceiverIsNotCalledAndItsSlotsComeBack) {
    struct Gone {
        std::atomic<int> calls{0};
        void OnResult(CvNetNamePingResult&) { ++calls; }
    } gone;
    auto receiver = std::make_shared<CvVoidUnaryMemberFunctionSafe<Gone, CvNetNamePingResult&>>(
        &gone, &Gone::OnResult);
    const uint32_t requester = pinger.NewRequester();
    for (int i = 0; i < 22; ++i) {
        pinger.Ping(requester, 0x03, "NAME", receiver);
    }
    ASSERT_TRUE(WaitUntil([&] { return provider.Held() == 20; }));
    receiver->Unbind();
    pinger.ReleaseRequester(requester);  // what still waits in the queue goes
    EXPECT_EQ(pinger.QueuedCount(), 0u);

    pinger.Ping(pinger.NewRequester(), 0x03, "LATER", sink.receiver);
    ASSERT_TRUE(WaitUntil([&] {
        provider.Answer(20, "X");
        return !sink.Results().empty();
    }));
    EXPECT_EQ(sink.Results()[0].name, "LATER");
    EXPECT_EQ(gone.calls.load(), 0);
}

TEST_F(HeldPinger, StopCancelsRunningProbesWhichReportNoAnswer) {
    pinger.Ping(pinger.NewRequester(), 0x03, "NAME", sink.receiver);
    ASSERT_TRUE(WaitUntil([&] { return provider.Held() == 1; }));
    pinger.Stop();
    EXPECT_EQ(provider.Held(), 0u);
    ASSERT_EQ(sink.Results().size(), 1u);
    EXPECT_EQ(sink.Results()[0].status, kPingStatusNoAnswer);
}

TEST(CvNetNamePingThread, ReadsUniqueNamesAndSkipsGroupsAndCutEntries) {
    CvAdapterStatus status;
    const auto add = [&](const std::string& name, uint8_t suffix, uint8_t flags) {
        CvAdapterStatus::Name entry;
        CvSetNetbiosName(reinterpret_cast<uint8_t(&)[16]>(*entry.name.data()), name.data(),
                         name.size(), suffix);
        entry.flags = flags;
        status.names.push_back(entry);
    };
    add("HOST", 0x00, kNameFlagRegistered);
    add("WG", 0x00, kNameFlagGroup | kNameFlagRegistered);
    add("ALICE", 0x03, kNameFlagRegistered);
    add("LIST", 0x03, kNameFlagGroup);
    add("HOST", 0x20, kNameFlagRegistered);
    add("BOB", 0x03, kNameFlagRegistered);
    std::vector<uint8_t> buffer(CvAdapterStatus::EncodedSize(6));
    uint16_t length = static_cast<uint16_t>(buffer.size());
    ASSERT_EQ(status.Encode(buffer.data(), length), kNrcGoodRet);

    CvNetNamePingResult whole;
    CvNetNamePingThread::ReadNameTable(buffer.data(), length, whole);
    EXPECT_EQ(whole.computerName, "HOST");
    EXPECT_EQ(whole.messengerNames, (std::vector<std::string>{"ALICE", "BOB"}));

    // The last entry is cut short: it is not read.
    CvNetNamePingResult cut;
    CvNetNamePingThread::ReadNameTable(buffer.data(), length - 1, cut);
    EXPECT_EQ(cut.messengerNames, std::vector<std::string>{"ALICE"});

    CvNetNamePingResult tooShort;
    CvNetNamePingThread::ReadNameTable(buffer.data(), 10, tooShort);
    EXPECT_TRUE(tooShort.messengerNames.empty());
}

}  // namespace
