#include "storage/CvMsgFiler.h"

#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/CvMemberFunction.h"
#include "messaging/CvMsgQueue.h"
#include "storage/CvDbText.h"
#include "storage/CvMsgArchive.h"
#include "storage/CvPopupList.h"
#include "support/TestEnv.h"

namespace {

CMsg Msg(int32_t type, const std::string& sender, const std::string& text) {
    CMsg msg;
    msg.type = type;
    msg.sender = sender;
    msg.recipient = type == MsgPersonal ? "ALICE" : "WG";
    msg.text = text;
    return msg;
}

class CvMsgFilerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_archive.Open(m_dir.File("messages")));
        m_filer.SetArchive(&m_archive);
    }
    int ArchivedRows() {
        m_archive.SetSearchText("");
        int rows = 0;
        for (int i = 0; i <= m_archive.Dialogues().GetLastIndex(); ++i) {
            m_archive.SetPartner(
                CvDbText::ToUtf8(m_archive.Dialogues().ReadValue(i, u"interlocutor").AsWide()));
            rows += m_archive.Conversation().GetLastIndex() + 1;
        }
        return rows;
    }
    int32_t State(const std::string& name) { return m_states[name]; }

    TempDir m_dir;
    CvMsgQueue m_received;
    CvMsgQueue m_sent;
    CvPopupList m_popup;
    CvMsgArchive m_archive;
    CvMsgFiler m_filer{m_received, m_sent, &m_popup};
    std::map<std::string, int32_t> m_states;
    CvUnaryMemberFunction<CvMsgFilerTest, int32_t, const std::string&> m_state{
        this, &CvMsgFilerTest::State};
};

// Messages arrive on several transport threads faster than the user interface
// drains them; every one was acknowledged to its sender and must be kept.
TEST_F(CvMsgFilerTest, BurstReachesPopupListAndArchive) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 500;
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([this, t] {
            for (int i = 0; i < kPerThread; ++i) {
                m_received.Put(Msg(MsgPersonal, "PEER" + std::to_string(t), std::to_string(i)));
            }
        });
    }
    int drained = 0;
    for (auto& sender : senders) {
        sender.join();
        drained += m_filer.DrainReceived().kept;  // draining while others still put
    }
    drained += m_filer.DrainReceived().kept;
    EXPECT_EQ(drained, kThreads * kPerThread);
    EXPECT_EQ(m_received.Size(), 0u);
    // The popup list lists what its bound allows and counts the rest.
    EXPECT_EQ(m_popup.Count(), CvPopupList::kMaxRows);
    EXPECT_EQ(m_popup.Count() + m_popup.HeldBack(), kThreads * kPerThread);
    EXPECT_EQ(ArchivedRows(), kThreads * kPerThread);
    EXPECT_EQ(m_archive.Dialogues().GetLastIndex() + 1, kThreads);
}

// A flood is taken a batch at a time, so that the owner's thread gets to
// other work between batches; nothing is lost between them.
TEST_F(CvMsgFilerTest, ADrainTakesAtMostItsLimit) {
    for (int i = 0; i < 7; ++i) {
        m_received.Put(Msg(MsgBroadcast, "PEER", std::to_string(i)));
    }
    auto result = m_filer.DrainReceived(3);
    EXPECT_EQ(result.kept, 3);
    EXPECT_TRUE(result.more);
    result = m_filer.DrainReceived(3);
    EXPECT_EQ(result.kept, 3);
    EXPECT_TRUE(result.more);
    result = m_filer.DrainReceived(3);
    EXPECT_EQ(result.kept, 1);
    EXPECT_FALSE(result.more);
    EXPECT_EQ(m_popup.Count(), 7);
    EXPECT_EQ(ArchivedRows(), 7);
}

TEST_F(CvMsgFilerTest, OwnBroadcastsAreDroppedOnlyWhenAskedAndRegistered) {
    struct Case {
        bool discard;
        std::string sender;
        int32_t userState;
        int32_t computerState;
        int32_t type;
        bool kept;
    };
    const Case cases[] = {
        {true, "alice", 4, 0, MsgBroadcast, false},  // letter case ignored
        {true, "PC1", 3, 4, MsgBroadcast, false},
        {true, "ALICE", 3, 4, MsgBroadcast, true},  // the user name is not registered
        {false, "ALICE", 4, 4, MsgBroadcast, true},
        {true, "ALICE", 4, 4, MsgPersonal, true},
        {true, "BOB", 4, 4, MsgBroadcast, true},
    };
    for (const Case& c : cases) {
        m_states = {{"ALICE", c.userState}, {"PC1", c.computerState}};
        m_filer.SetOwnBroadcastFilter(c.discard, "ALICE", "PC1", &m_state);
        const int before = m_popup.Count();
        m_received.Put(Msg(c.type, c.sender, "hi"));
        const auto result = m_filer.DrainReceived();
        EXPECT_EQ(result.kept, c.kept ? 1 : 0) << c.sender << " " << c.discard;
        EXPECT_EQ(m_popup.Count(), before + (c.kept ? 1 : 0));
    }
}

TEST_F(CvMsgFilerTest, WithoutArchiveMessagesStillReachThePopupList) {
    m_filer.SetArchive(nullptr);
    m_received.Put(Msg(MsgPersonal, "BOB", "one"));
    m_received.Put(Msg(MsgBroadcast, "CAROL", "two"));
    const auto result = m_filer.DrainReceived();
    EXPECT_EQ(result.kept, 2);
    EXPECT_EQ(result.lastType, MsgBroadcast);
    EXPECT_EQ(m_popup.Count(), 2);
    EXPECT_EQ(ArchivedRows(), 0);
}

// A record is filed with the time it carries: a received one with the time
// the transport stamped it with on arrival, however long it waited in the
// queue (the window thread was held up by a modal dialog or an elevation
// prompt), a sent one with the time it went out.
TEST_F(CvMsgFilerTest, RecordsKeepTheirOwnTime) {
    struct Case {
        bool received;
        uint64_t time;
        const char* stamp;
    };
    const Case cases[] = {
        {true, 133000000000000000ull, "2022-06-18 04:26:40"},
        {false, 133000000010000000ull, "2022-06-18 04:26:41"},
    };
    for (const Case& c : cases) {
        CMsg msg = Msg(MsgPersonal, c.received ? "BOB" : "ALICE", c.stamp);
        msg.recipient = c.received ? "ALICE" : "BOB";
        msg.time = c.time;
        (c.received ? m_received : m_sent).Put(msg);
    }
    EXPECT_EQ(m_filer.DrainReceived().kept, 1);
    EXPECT_EQ(m_filer.DrainSent(), 1);
    m_archive.SetPartner("BOB");
    ASSERT_EQ(m_archive.Conversation().GetLastIndex(), 1);
    for (int row = 0; row < 2; ++row) {
        // The text of each message is the time it was filed with.
        EXPECT_EQ(m_archive.Conversation().ReadValue(row, u"msgtime").AsAnsi(),
                  m_archive.Conversation().ReadValue(row, u"message").AsAnsi());
    }
    EXPECT_EQ(m_archive.Conversation().ReadValue(0, u"msgtype").AsInteger(), 2);  // newest: sent
    EXPECT_EQ(m_popup.Count(), 1);
    EXPECT_EQ(m_popup.LastReceived().time, cases[0].time);
}

}  // namespace
