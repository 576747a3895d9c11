#include "messaging/CvNetworkSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "messaging/CvHostScanner.h"
#include "messaging/CvNetDirectory.h"
#include "messaging/CvNetNamePinger.h"
#include "messaging/CvNetbiosNetwork.h"
#include "netbios/NetbiosOperations.h"
#include "platform/CvVirtualNeighbourhood.h"
#include "support/VirtualLanStation.h"

namespace {

// type, name, computer, domain, comment, state, directory
using Row =
    std::tuple<int32_t, std::string, std::string, std::string, std::string, int32_t, int32_t>;

Row RowOf(const CvNetResourceInfo& info) {
    return {info.type,    info.name,  info.computerName, info.domain,
            info.comment, info.state, info.directory};
}

class Collector : public CvUnaryFunction<void, CvNetResourceInfo&>, public CvNullaryFunction<void> {
public:
    void Invoke(CvNetResourceInfo& info) override {
        std::lock_guard guard(m_lock);
        m_rows.insert(RowOf(info));
        ++m_count;
    }
    void Invoke() override { ++finished; }
    std::multiset<Row> Rows() {
        std::lock_guard guard(m_lock);
        return m_rows;
    }
    std::atomic<int> finished{0};

private:
    std::mutex m_lock;
    std::multiset<Row> m_rows;
    size_t m_count = 0;
};

class ListedDirectory : public CvNetDirectory {
public:
    std::string JoinedDomain() override { return "CORP"; }
    std::optional<std::string> FindDomainController(const std::string& domain) override {
        if (domain != "CORP") {
            return std::nullopt;
        }
        return std::string("DC1");
    }
    bool EnumerateAccounts(const std::string& controller, uint32_t filter, uint32_t& resume,
                           std::vector<CvDirectoryAccount>& batch) override {
        EXPECT_EQ(controller, "DC1");
        filters.push_back(filter);
        const std::vector<CvDirectoryAccount> all = {
            {"PC1$", "desk by the window", "", kDirectoryWorkstationTrustAccount},
            {"DAVE", "a comment", "Dave Dee", 0},
            {"OLD", "", "Old Account", kDirectoryAccountDisabled},
            {"PC2$", "", "", kDirectoryWorkstationTrustAccount | kDirectoryAccountDisabled},
        };
        // Two accounts a batch, as a small preferred buffer gives them.
        batch.assign(all.begin() + resume, all.begin() + std::min<size_t>(resume + 2, 4));
        resume += 2;
        return resume < all.size();
    }
    std::vector<uint32_t> filters;
};

// Three stations in two workgroups on a virtual LAN, a station that probes,
// and the services of the probing station.
class LanSearch : public ::testing::Test {
protected:
    LanSearch()
        : host1(lan, "HOST1", {"HOST1", "ALICE"}, {"WG1"}),
          host2(lan, "HOST2", {"BOB"}, {"WG1"}),
          host3(lan, "HOST3", {"HOST3", "CAROL"}, {"WG2"}),
          prober(lan),
          network(prober),
          pinger(network),
          neighbourhood({{&host1.station, 0}, {&host2.station, 0}, {&host3.station, 0}}),
          scanner(neighbourhood, "WG0") {
        for (auto* station : {&host1, &host2, &host3}) {
            EXPECT_TRUE(station->WaitRegistered());
        }
        uint8_t number = 0;
        EXPECT_EQ(NBAddName(host1.station, 0, "HOST1", 0x00, number), kNrcGoodRet);
        EXPECT_EQ(NBAddName(host2.station, 0, "HOST2", 0x00, number), kNrcGoodRet);
        EXPECT_EQ(NBAddName(host3.station, 0, "HOST3", 0x00, number), kNrcGoodRet);
        prober.AttachAdapter(0, 1);
        network.Lock();
        network.Refresh();
        network.Unlock();
        pinger.Start();
    }
    ~LanSearch() override { pinger.Stop(); }

    std::multiset<Row> Run(const CvNetworkSearchOptions& options, CvNetDirectory& directory) {
        scanner.ScanOnce();
        CvNetworkSearch search(pinger, scanner, directory);
        search.SetOptions(options);
        search.Start(&collector, &collector);
        EXPECT_TRUE(WaitUntil([&] { return search.IsFinished(); }));
        EXPECT_EQ(collector.finished.load(), 1);
        return collector.Rows();
    }

    CvVirtualLan lan;
    VirtualLanStation host1;
    VirtualLanStation host2;
    VirtualLanStation host3;
    CvVirtualStation prober;
    CvNetbiosNetwork network;
    CvNetNamePinger pinger;
    CvVirtualNeighbourhood neighbourhood;
    CvHostScanner scanner;
    CvNoNetDirectory noDirectory;
    Collector collector;
};

TEST_F(LanSearch, TheScannerTreeHoldsEveryWorkgroupWithItsComputers) {
    scanner.ScanOnce();
    const CvNetResourceNode tree = scanner.Tree();
    std::vector<std::string> lines;
    for (const auto& domain : tree.children) {
        EXPECT_EQ(domain.info.type, kNetResourceDomain);
        std::string line = domain.info.name + ":";
        for (const auto& computer : domain.children) {
            EXPECT_EQ(computer.info.type, kNetResourceComputerNode);
            EXPECT_EQ(computer.info.computerName, computer.info.name);
            EXPECT_EQ(computer.info.domain, domain.info.name);
            line += " " + computer.info.name;
        }
        lines.push_back(line);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"WG0:", "WG1: HOST1 HOST2", "WG2: HOST3"}));
    EXPECT_TRUE(scanner.Contains(kNetResourceDomain, "wg2"));
    EXPECT_TRUE(scanner.Contains(kNetResourceComputerNode, "HOST3"));
    EXPECT_FALSE(scanner.Contains(kNetResourceDomain, "HOST3"));
    EXPECT_FALSE(scanner.Contains(kNetResourceDomain, "WG9"));
    // Gentle: two broadcasts, then one per workgroup; one table per station.
    EXPECT_EQ(neighbourhood.QueryCount(), 2u + 3u);
    EXPECT_EQ(neighbourhood.StatusCount(), 3u);
}

TEST_F(LanSearch, ReportsWorkgroupsComputersAndTheirUsers) {
    const auto rows = Run(CvNetworkSearchOptions{}, noDirectory);
    const std::multiset<Row> expected = {
        {2, "WG0", "", "WG0", "", 1, 0},
        {2, "WG1", "", "WG1", "", 1, 0},
        {2, "WG2", "", "WG2", "", 1, 0},
        // Its messenger names include its own: available.
        {3, "HOST1", "HOST1", "WG1", "", 1, 0},
        {3, "ALICE", "HOST1", "WG1", "", 1, 0},
        // Answers, but without a messenger name of its own.
        {3, "HOST2", "HOST2", "WG1", "", 0, 0},
        {3, "BOB", "HOST2", "WG1", "", 1, 0},
        {3, "HOST3", "HOST3", "WG2", "", 1, 0},
        {3, "CAROL", "HOST3", "WG2", "", 1, 0},
    };
    EXPECT_EQ(rows, expected);
}

TEST_F(LanSearch, AnsweringOnlyLeavesOutComputersWithoutTheirOwnName) {
    CvNetworkSearchOptions options;
    options.answeringOnly = true;
    options.domains = false;
    options.users = false;
    const auto rows = Run(options, noDirectory);
    const std::multiset<Row> expected = {
        {3, "HOST1", "HOST1", "WG1", "", 1, 0},
        {3, "HOST3", "HOST3", "WG2", "", 1, 0},
    };
    EXPECT_EQ(rows, expected);
}

TEST_F(LanSearch, ADepartedComputerIsReportedWithoutAnswer) {
    scanner.ScanOnce();
    host3.client.Stop();
    host3.station.DetachAdapter(0);
    CvNetworkSearchOptions options;
    options.domains = false;
    options.inDirectory = false;
    CvNetworkSearch search(pinger, scanner, noDirectory);
    search.SetOptions(options);
    search.Start(&collector, &collector);
    ASSERT_TRUE(WaitUntil([&] { return search.IsFinished(); }));
    EXPECT_EQ(collector.Rows().count({3, "HOST3", "HOST3", "WG2", "", 0, 0}), 1u);
    EXPECT_EQ(collector.Rows().count({3, "CAROL", "HOST3", "WG2", "", 1, 0}), 0u);
}

TEST_F(LanSearch, DirectoryAccountsAreListedWithoutDisabledOnesOrTrailingDollar) {
    ListedDirectory directory;
    CvNetworkSearchOptions options;
    options.inNeighbourhood = false;
    const auto rows = Run(options, directory);
    const std::multiset<Row> expected = {
        {2, "CORP", "", "CORP", "", 1, 1},
        {3, "PC1", "", "CORP", "desk by the window", 3, 1},
        {3, "DAVE", "", "CORP", "Dave Dee", 3, 1},
    };
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(directory.filters, (std::vector<uint32_t>{0x12, 0x12}));
}

TEST_F(LanSearch, StopEndsTheSearchWithoutFinishedAndANewStartRunsAgain) {
    scanner.ScanOnce();
    CvNetworkSearch search(pinger, scanner, noDirectory);
    search.Start(&collector, &collector);
    search.Stop();
    const int finishedAfterStop = collector.finished.load();
    EXPECT_LE(finishedAfterStop, 1);  // it may have ended before the stop
    search.Start(&collector, &collector);
    ASSERT_TRUE(WaitUntil([&] { return search.IsFinished(); }));
    EXPECT_EQ(collector.finished.load(), finishedAfterStop + 1);
}

// A search may ask the running scanner for a pass of its own (a station that
// came up since the last pass is in it), and lists the station it runs on,
// which no scan of that station finds, once.
TEST_F(LanSearch, AFreshPassIsReadAndThisStationIsListedOnce) {
    scanner.SetPeriod(600000);  // no pass of its own during the test
    ASSERT_TRUE(scanner.Start());
    ASSERT_TRUE(WaitUntil([&] { return scanner.PassCount() == 1; }));
    auto search = [&](const CvNetworkSearchOptions& options) {
        Collector found;
        CvNetworkSearch running(pinger, scanner, noDirectory);
        running.SetOptions(options);
        running.Start(&found, &found);
        EXPECT_TRUE(WaitUntil([&] { return running.IsFinished(); }));
        return found.Rows();
    };
    const std::multiset<Row> scanned = search(CvNetworkSearchOptions{});
    EXPECT_EQ(scanner.PassCount(), 1u);
    const std::multiset<Row> mine = {
        {2, "WG9", "", "WG9", "", 1, 0},
        {3, "MYPC", "MYPC", "WG9", "", 1, 0},
        {3, "ME", "MYPC", "WG9", "", 1, 0},
    };
    const struct {
        bool fresh;
        const char* own;
        const char* workgroup;
        const char* user;
        uint64_t passes;  // after the search
        std::multiset<Row> ownRows;
    } cases[] = {
        {false, "MYPC", "WG9", "ME", 1, mine},
        {true, "MYPC", "WG9", "ME", 2, mine},
        // Found by the scan: probed like any other, not listed twice.
        {true, "HOST1", "WG1", "ALICE", 3, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.own) + (c.fresh ? ", fresh" : ""));
        CvNetworkSearchOptions options;
        options.freshPass = c.fresh;
        options.ownComputer = c.own;
        options.ownWorkgroup = c.workgroup;
        options.ownMessengerNames = {c.own, c.user};
        std::multiset<Row> rows = search(options);
        EXPECT_EQ(scanner.PassCount(), c.passes);
        // Beside what the scan found, the rows of this station.
        for (const Row& row : scanned) {
            auto it = rows.find(row);
            ASSERT_NE(it, rows.end());
            rows.erase(it);
        }
        EXPECT_EQ(rows, c.ownRows);
    }
    scanner.Stop();
}

}  // namespace
