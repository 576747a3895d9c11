#include "app/CvTrayIcon.h"

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/CvLangTexts.h"
#include "app/CvMemberFunction.h"
#include "app/CvTrayIconManager.h"
#include "platform/CvTrayIconHost.h"

namespace {

// The notification area as a test sees it: the icon and tip last shown, the
// running timers, and a cursor the test moves. Timers fire only when the
// test says so, which makes the clock a fake one.
class FakeHost : public CvTrayIconHost {
public:
    void SetEvents(Events newEvents) override { events = std::move(newEvents); }
    bool Modify(int icon, const std::string& tip) override {
        ++modifies;
        if (!present) {
            return false;
        }
        shownIcon = icon;
        shownTip = tip;
        return true;
    }
    bool Add(int icon, const std::string& tip) override {
        ++adds;
        present = true;
        shownIcon = icon;
        shownTip = tip;
        return true;
    }
    void Remove() override { present = false; }
    void StartTimer(int id, uint32_t ms) override { timers[id] = ms; }
    void StopTimer(int id) override { timers.erase(id); }
    bool CursorPosition(int& x, int& y) override {
        x = cursorX;
        y = cursorY;
        return true;
    }
    // The pointer moves onto the icon (the desktop reports the move) or
    // somewhere else (it reports nothing).
    void MoveOntoIcon(int x, int y) {
        cursorX = x;
        cursorY = y;
        events.mouse(CvTrayIcon::kMouseMove, x, y);
    }
    void MoveAway() {
        cursorX = 900;
        cursorY = 100;
    }

    Events events;
    bool present = false;
    int shownIcon = 0;
    std::string shownTip;
    int modifies = 0;
    int adds = 0;
    std::map<int, uint32_t> timers;
    int cursorX = 0;
    int cursorY = 0;
};

struct Listener {
    void OnMouse(long message) { mouse.push_back(message); }
    void OnHover() { ++hovers; }
    std::vector<long> mouse;
    int hovers = 0;
    CvVoidUnaryMemberFunction<Listener, long> mouseBinding{this, &Listener::OnMouse};
    CvVoidNullaryMemberFunction<Listener> hoverBinding{this, &Listener::OnHover};
};

constexpr int kNormal = 10;
constexpr int kAlternate = 11;

class CvTrayIconTest : public testing::Test {
protected:
    CvTrayIconTest() {
        m_icon.SetIcon(kNormal);
        m_icon.SetAlternateIcon(kAlternate);
        m_icon.SetTip("tip");
        m_icon.Show();
        m_icon.SetMouseListener(&m_listener.mouseBinding);
        m_icon.SetHoverListener(&m_listener.hoverBinding);
    }
    void Tick(int id, int times = 1) {
        for (int i = 0; i < times; ++i) {
            m_host.events.timer(id);
        }
    }

    FakeHost m_host;
    CvTrayIcon m_icon{m_host};
    Listener m_listener;
};

TEST_F(CvTrayIconTest, ShowAddsTheIconOnceAndModifiesAfterwards) {
    EXPECT_EQ(m_host.adds, 1);
    m_icon.SetTip("other");
    EXPECT_EQ(m_host.adds, 1);
    EXPECT_EQ(m_host.shownTip, "other");
    // The panel restarted and lost the icon: the next refresh adds it again.
    m_host.present = false;
    m_icon.SetTip("again");
    EXPECT_EQ(m_host.adds, 2);
    EXPECT_TRUE(m_host.present);
}

TEST_F(CvTrayIconTest, TipIsCutTo127CodePoints) {
    std::string tip;
    for (int i = 0; i < 130; ++i) {
        tip += "\xd0\xaf";  // two bytes, one code point
    }
    m_icon.SetTip(tip);
    EXPECT_EQ(m_host.shownTip, tip.substr(0, 254));
    EXPECT_EQ(m_icon.Tip(), tip) << "the full tip is kept";
}

TEST_F(CvTrayIconTest, BlinkLimitEndsWithTheNormalIconSevenSecondsLater) {
    m_icon.StartBlinking();
    EXPECT_EQ(m_host.timers.at(CvTrayIcon::kBlinkTimer), 500u);
    std::vector<int> shown;
    for (int i = 0; i < 6; ++i) {
        Tick(CvTrayIcon::kBlinkTimer);
        shown.push_back(m_host.shownIcon);
    }
    EXPECT_EQ(shown,
              (std::vector<int>{kNormal, kAlternate, kNormal, kAlternate, kNormal, kAlternate}));
    m_icon.StopBlinkingAfter(14);
    m_icon.StopBlinkingAfter(2);  // a limit is set already: ignored
    Tick(CvTrayIcon::kBlinkTimer, 14);
    EXPECT_TRUE(m_icon.IsBlinking());
    Tick(CvTrayIcon::kBlinkTimer);  // the 15th step after the limit: 7.5 s
    EXPECT_FALSE(m_icon.IsBlinking());
    EXPECT_EQ(m_host.shownIcon, kNormal);
    EXPECT_EQ(m_host.timers.count(CvTrayIcon::kBlinkTimer), 0u);
}

TEST_F(CvTrayIconTest, WhileBlinkingTipChangesWaitForTheNextStep) {
    m_icon.StartBlinking();
    m_icon.SetTip("new tip");
    m_icon.SetIcon(kNormal);
    EXPECT_EQ(m_host.shownTip, "tip");
    Tick(CvTrayIcon::kBlinkTimer);
    EXPECT_EQ(m_host.shownTip, "new tip");
}

TEST_F(CvTrayIconTest, HoverIsReportedOncePerVisit) {
    EXPECT_EQ(m_host.timers.count(CvTrayIcon::kHoverTimer), 0u) << "nothing to watch yet";

    m_host.MoveOntoIcon(5, 6);
    EXPECT_EQ(m_host.timers.at(CvTrayIcon::kHoverTimer), 200u);
    Tick(CvTrayIcon::kHoverTimer, 3);
    EXPECT_EQ(m_listener.hovers, 0);
    Tick(CvTrayIcon::kHoverTimer);  // four ticks still
    EXPECT_EQ(m_listener.hovers, 1);
    EXPECT_EQ(m_listener.mouse, (std::vector<long>{CvTrayIcon::kMouseMove}));
    Tick(CvTrayIcon::kHoverTimer, 20);
    EXPECT_EQ(m_listener.hovers, 1) << "still there: no second report";
    m_host.MoveOntoIcon(7, 6);  // moving over the icon starts the count again
    Tick(CvTrayIcon::kHoverTimer, 4);
    EXPECT_EQ(m_listener.hovers, 1) << "the same visit";

    m_host.MoveAway();
    Tick(CvTrayIcon::kHoverTimer);
    EXPECT_EQ(m_host.timers.count(CvTrayIcon::kHoverTimer), 0u) << "left: the timer stops";
    m_host.MoveOntoIcon(5, 6);
    Tick(CvTrayIcon::kHoverTimer, 4);
    EXPECT_EQ(m_listener.hovers, 2) << "away and back reports again";
}

TEST_F(CvTrayIconTest, ClicksReachTheMouseListener) {
    m_host.events.mouse(CvTrayIcon::kLeftButtonDown, 0, 0);
    m_host.events.mouse(CvTrayIcon::kRightButtonUp, 0, 0);
    EXPECT_EQ(m_listener.mouse,
              (std::vector<long>{CvTrayIcon::kLeftButtonDown, CvTrayIcon::kRightButtonUp}));
}

// The tip the manager builds from the registration of the names and the
// message counts.
class CvTrayIconManagerTest : public testing::Test {
protected:
    CvTrayIconManagerTest() {
        m_manager.SetNames("PC1", "ALICE", "WG");
        m_manager.SetTexts(m_texts);
        m_manager.SetNameStates(&m_statesBinding);
        m_manager.SetCounts(&m_countsBinding);
    }
    int32_t State(const std::string& name, int32_t kind) {
        return m_states[name + (kind == 2 ? "<00>" : "<03>")];
    }
    void Counts(int& total, int& unread) {
        total = m_total;
        unread = m_unread;
    }

    FakeHost m_host;
    CvLangTexts m_texts;
    CvTrayIconManager m_manager{m_host};
    std::map<std::string, int32_t> m_states;
    int m_total = 0;
    int m_unread = 0;
    CvBinaryMemberFunction<CvTrayIconManagerTest, int32_t, const std::string&, int32_t>
        m_statesBinding{this, &CvTrayIconManagerTest::State};
    CvVoidBinaryMemberFunction<CvTrayIconManagerTest, int&, int&> m_countsBinding{
        this, &CvTrayIconManagerTest::Counts};
};

TEST_F(CvTrayIconManagerTest, TipAndPicture) {
    struct Case {
        int32_t user, computer, group;
        int total, unread;
        std::string tip;
        int icon;
    };
    const Case cases[] = {
        {4, 3, 4, 0, 0, "Online\n(ALICE, WG)", CvTrayIconManager::kIconOnline},
        {3, 4, 3, 0, 0, "Online\n(PC1)", CvTrayIconManager::kIconOnline},
        {4, 4, 4, 3, 1, "Online\n(ALICE, PC1, WG)\n3 message(s) / 1 unread",
         CvTrayIconManager::kIconOnline},
        {1, 1, 1, 0, 0, "Network not found", CvTrayIconManager::kIconOffline},
        {3, 3, 4, 2, 2, "Registering on the net...\n2 message(s) / 2 unread",
         CvTrayIconManager::kIconOffline},
        {0, 0, 0, 0, 5, "Registering on the net...", CvTrayIconManager::kIconOffline},
    };
    m_manager.Start();
    m_manager.Shutdown();  // the thread is not needed: updates run here
    m_host.present = true;
    m_manager.Icon().Show();
    for (const Case& c : cases) {
        m_states = {{"ALICE<03>", c.user}, {"PC1<03>", c.computer}, {"WG<00>", c.group}};
        m_total = c.total;
        m_unread = c.unread;
        m_manager.Update();
        EXPECT_EQ(m_manager.LastTip(), c.tip);
        EXPECT_EQ(m_host.shownTip, c.tip);
        EXPECT_EQ(m_host.shownIcon, c.icon) << c.tip;
    }
}

TEST_F(CvTrayIconManagerTest, ThreadShowsTheIconAndShutdownRemovesIt) {
    m_states = {{"ALICE<03>", 4}};
    m_manager.Start();
    for (int i = 0; i < 500 && m_manager.LastTip().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(m_manager.LastTip(), "Online\n(ALICE)");
    EXPECT_TRUE(m_host.present);
    m_manager.Shutdown();
    EXPECT_FALSE(m_host.present);
}

TEST(CvTrayIconManagerDisabled, NeverShowsAndIgnoresBlinking) {
    FakeHost host;
    CvTrayIconManager manager(host);
    manager.SetIconDisabled(true);
    manager.Start();
    manager.Blink();
    manager.Update();
    EXPECT_FALSE(host.present);
    EXPECT_EQ(host.adds, 0);
    EXPECT_FALSE(manager.Icon().IsBlinking());
}

}  // namespace
