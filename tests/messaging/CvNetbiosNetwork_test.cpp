#include "messaging/CvNetbiosNetwork.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "app/CvMemberFunction.h"
#include "messaging/CvNetbiosInterface.h"
#include "support/ScriptedNetbiosProvider.h"
#include "support/TestEnv.h"

namespace {

std::vector<uint8_t> Lanas(CvNetbiosNetwork& network) {
    std::vector<uint8_t> lanas;
    network.Lock();
    for (size_t i = 0; i < network.InterfaceCount(); ++i) {
        lanas.push_back(static_cast<CvNetbiosInterface*>(network.GetInterface(i))->lana);
    }
    network.Unlock();
    return lanas;
}

// Runs one refresh the way the watch thread does.
class ProbeNetwork : public CvNetbiosNetwork {
public:
    using CvNetbiosNetwork::CvNetbiosNetwork;
    // True if the pass changed the list.
    bool Pass() {
        Lock();
        m_changed = false;
        Refresh();
        const bool changed = m_changed;
        Unlock();
        return changed;
    }
};

class RefreshTest : public ::testing::Test {
protected:
    bool RefreshChanged() { return network.Pass(); }

    ScriptedNetbiosProvider provider;
    ProbeNetwork network{provider};
};

TEST_F(RefreshTest, AddsKeepsAndRemovesAdaptersInEnumerationOrder) {
    provider.SetAdapters({2, 0});
    EXPECT_TRUE(RefreshChanged());
    EXPECT_EQ(Lanas(network), (std::vector<uint8_t>{2, 0}));

    const CvNetworkInterface* kept = network.GetInterface(0);
    provider.SetAdapters({0, 2});
    EXPECT_FALSE(RefreshChanged()) << "same adapters, other order: nothing changed";
    EXPECT_EQ(network.GetInterface(0), kept) << "a known adapter keeps its interface object";

    provider.SetAdapters({0, 5});
    EXPECT_TRUE(RefreshChanged());
    EXPECT_EQ(Lanas(network), (std::vector<uint8_t>{0, 5}));
}

TEST_F(RefreshTest, FailedEnumerationRemovesEveryInterface) {
    provider.SetAdapters({0, 1});
    RefreshChanged();
    provider.SetAdapters({0, 1}, kNrcSystem);
    EXPECT_TRUE(RefreshChanged());
    EXPECT_TRUE(Lanas(network).empty());
}

TEST_F(RefreshTest, AdapterThatCannotBeResetIsLeftOutUntilItCanBe) {
    provider.SetAdapters({0});
    provider.otherResult = kNrcOpenErr;  // the ports are held elsewhere
    EXPECT_FALSE(RefreshChanged());
    EXPECT_TRUE(Lanas(network).empty());
    provider.otherResult = kNrcGoodRet;
    EXPECT_TRUE(RefreshChanged());
    EXPECT_EQ(Lanas(network), (std::vector<uint8_t>{0}));
}

TEST(CvNetbiosInterface, ResetAsksForSessionsAndNamesAndRecordsIt) {
    struct ResetProbe : CvNetbiosProvider {
        uint8_t Submit(CvNcb& ncb) override {
            command = ncb.command;
            lana = ncb.lana;
            sessions = ncb.callname[0];
            names = ncb.callname[2];
            return kNrcOpenErr;
        }
        uint8_t command = 0, lana = 0, sessions = 0, names = 0;
    } provider;
    CvNetbiosInterface adapter(provider, 3);
    EXPECT_FALSE(adapter.resetDone);
    EXPECT_EQ(adapter.Reset(), kNrcOpenErr);
    EXPECT_TRUE(adapter.resetDone) << "set whatever the result";
    EXPECT_EQ(provider.command, kNcbReset);
    EXPECT_EQ(provider.lana, 3);
    EXPECT_EQ(provider.sessions, 250);
    EXPECT_EQ(provider.names, 250);
}

struct ChangeCounter {
    std::atomic<int> changes{0};
    void OnChange() { ++changes; }
};

TEST(CvNetworkWatch, RemovingTheOnlyAdapterFiresTheListener) {
    ScriptedNetbiosProvider provider;
    provider.SetAdapters({0});
    ChangeCounter counter;
    CvVoidNullaryMemberFunction<ChangeCounter> listener(&counter, &ChangeCounter::OnChange);

    CvNetbiosNetwork network(provider);
    network.SetChangeListener(&listener);
    network.SetWatchPeriod(5);
    network.StartWatch();
    ASSERT_TRUE(WaitUntil([&] { return counter.changes == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return provider.EnumCount() >= 3; }));
    EXPECT_EQ(counter.changes, 1) << "passes without a change stay quiet";

    provider.SetAdapters({});
    ASSERT_TRUE(WaitUntil([&] { return counter.changes == 2; }));
    EXPECT_TRUE(Lanas(network).empty());
    network.StopWatch();
}

}  // namespace
