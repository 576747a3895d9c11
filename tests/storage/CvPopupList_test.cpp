#include "storage/CvPopupList.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/CvFileTime.h"
#include "app/CvLangTexts.h"
#include "storage/CvLocaleDateTimeFormat.h"

namespace {

CMsg Msg(const std::string& sender, const std::string& text, int32_t type = MsgPersonal) {
    CMsg msg;
    msg.type = type;
    msg.sender = sender;
    msg.recipient = "ALICE";
    msg.text = text;
    return msg;
}

uint64_t Ticks(int hour, int minute, int second) {
    std::tm calendar{};
    calendar.tm_year = 126;
    calendar.tm_mon = 11;
    calendar.tm_mday = 10;
    calendar.tm_hour = hour;
    calendar.tm_min = minute;
    calendar.tm_sec = second;
    return CvFileTime::FromCalendar(calendar);
}

class CvPopupListTest : public testing::Test {
protected:
    // Three messages from A, B and C; A, the first, is current.
    void Fill(int count = 3) {
        for (int i = 0; i < count; ++i) {
            m_list.Append(Msg(std::string(1, static_cast<char>('A' + i)), "text"), Ticks(9, 0, i));
        }
        m_list.Recount();
    }
    std::string Current() { return m_list.CurrentOrigin(); }
    // Marks the rows of `origins` read (moving there and back).
    void MarkRead(const std::vector<int>& rows) {
        const int keep = m_list.CurrentRow();
        for (int row : rows) {
            while (m_list.CurrentRow() > row && m_list.Previous()) {
            }
            while (m_list.CurrentRow() < row && m_list.Next()) {
            }
            m_list.MarkCurrentRead();
        }
        while (m_list.CurrentRow() > keep && m_list.Previous()) {
        }
        while (m_list.CurrentRow() < keep && m_list.Next()) {
        }
        m_list.Recount();
    }

    CvLangTexts m_texts;
    CvPopupList m_list;
};

TEST_F(CvPopupListTest, PagingStopsAtBothEnds) {
    Fill();
    EXPECT_EQ(Current(), "A") << "appending keeps the row being read";
    EXPECT_FALSE(m_list.Previous());
    EXPECT_TRUE(m_list.Next());
    EXPECT_TRUE(m_list.Next());
    EXPECT_EQ(Current(), "C");
    EXPECT_FALSE(m_list.Next());
    EXPECT_EQ(Current(), "C");
    EXPECT_EQ(m_list.LastReceived().sender, "C");
}

TEST_F(CvPopupListTest, CountersFollowReadMarks) {
    Fill(4);
    EXPECT_EQ(m_list.GetCounters().total, 4);
    EXPECT_EQ(m_list.GetCounters().unread, 4);
    MarkRead({0, 3});
    const auto counters = m_list.GetCounters();
    EXPECT_EQ(counters.unread, 2);
    EXPECT_EQ(counters.firstUnread, 1);
    EXPECT_EQ(counters.lastUnread, 2);
    int total = 0;
    int unread = 0;
    m_list.Counts(total, unread);
    EXPECT_EQ(total, 4);
    EXPECT_EQ(unread, 2);
    MarkRead({1, 2});
    EXPECT_EQ(m_list.GetCounters().firstUnread, -1);
    EXPECT_FALSE(m_list.AnyUnread());
}

TEST_F(CvPopupListTest, DeletingTheLastRowShowsTheOneBefore) {
    Fill();
    m_list.Next();
    m_list.Next();
    m_list.DeleteCurrent();  // C, the last row
    EXPECT_TRUE(m_list.IsCurrentValid());
    EXPECT_EQ(Current(), "B");
    EXPECT_TRUE(m_list.Previous());
    m_list.DeleteCurrent();  // A, the first row: B moves up into its place
    EXPECT_EQ(Current(), "B");
    m_list.DeleteCurrent();
    EXPECT_EQ(m_list.Count(), 0);
    EXPECT_FALSE(m_list.IsCurrentValid());
    m_list.DeleteCurrent();  // nothing to delete
    EXPECT_EQ(m_list.Count(), 0);
}

TEST_F(CvPopupListTest, RemoveReadKeepsUnreadAndPicksAnEnd) {
    struct Case {
        bool removeRead;
        bool openAtNewest;
        std::vector<std::string> left;
        std::string current;
    };
    const Case cases[] = {
        {true, false, {"B", "D"}, "B"},
        {true, true, {"B", "D"}, "D"},
        {false, false, {"A", "B", "C", "D"}, "A"},
        {false, true, {"A", "B", "C", "D"}, "D"},
    };
    for (const Case& c : cases) {
        CvPopupList list;
        for (const char* sender : {"A", "B", "C", "D"}) {
            list.Append(Msg(sender, "t"), Ticks(9, 0, 0));
        }
        // A and C read.
        list.MarkCurrentRead();
        list.Next();
        list.Next();
        list.MarkCurrentRead();
        list.RemoveRead(c.removeRead, c.openAtNewest);
        std::vector<std::string> left;
        list.ChooseRow(CvPopupList::kOpenDefault, false, false);
        do {
            left.push_back(list.CurrentOrigin());
        } while (list.Next());
        EXPECT_EQ(left, c.left);
        list.RemoveRead(false, c.openAtNewest);
        EXPECT_EQ(list.CurrentOrigin(), c.current);
    }
}

TEST_F(CvPopupListTest, ChooseRowByMode) {
    Fill(5);
    MarkRead({0, 4});  // unread: B, C, D
    struct Case {
        int mode;
        bool openAtNewest;
        bool visible;
        int startRow;
        std::string expected;
    };
    const Case cases[] = {
        {CvPopupList::kOpenFirstUnread, true, true, 4, "B"},
        {CvPopupList::kOpenLastUnread, false, false, 0, "D"},
        {CvPopupList::kOpenDefault, false, true, 2, "A"},
        {CvPopupList::kOpenDefault, true, false, 2, "E"},
        // A visible popup keeps its row when it opens at the newest.
        {CvPopupList::kOpenDefault, true, true, 2, "C"},
    };
    for (const Case& c : cases) {
        m_list.ChooseRow(CvPopupList::kOpenDefault, false, false);
        for (int i = 0; i < c.startRow; ++i) {
            m_list.Next();
        }
        m_list.ChooseRow(c.mode, c.openAtNewest, c.visible);
        EXPECT_EQ(Current(), c.expected) << "mode " << c.mode << " start " << c.startRow;
    }
}

TEST_F(CvPopupListTest, ContentOfTheCurrentRow) {
    m_list.SetDateTimeFormat(std::make_unique<CvLocaleDateTimeFormat>("dd.MM.yyyy", "HH:mm:ss"));
    // A sender named like an insert must not be filled in again.
    m_list.Append(Msg("%2", "Hello\r\nthere"), Ticks(14, 5, 9));
    m_list.Append(Msg("BOB", "second"), Ticks(14, 6, 0));
    m_list.Recount();

    auto content = m_list.CurrentContent(m_texts, false);
    EXPECT_TRUE(content.valid);
    EXPECT_EQ(content.caption, "Messages received (1/2)");
    EXPECT_EQ(content.body, "10.12.2026 14:05:09\r\n%2 wrote to ALICE:\r\n \r\nHello\r\nthere");

    content = m_list.CurrentContent(m_texts, true);
    EXPECT_EQ(content.body, "Hello\r\nthere");

    m_list.DeleteCurrent();
    m_list.DeleteCurrent();
    content = m_list.CurrentContent(m_texts, false);
    EXPECT_FALSE(content.valid);
    EXPECT_EQ(content.caption, "Messages received");
    EXPECT_EQ(content.body, "No messages");
}

// A peer that floods the station must not make the list grow without end:
// beyond kMaxRows a message is only counted. The rows shown stay where they
// are, the tray's counts stay true, the popup says how many are held back,
// and the last received message (for "reply to the last") is the newest.
TEST_F(CvPopupListTest, BeyondTheBoundMessagesAreCountedNotListed) {
    constexpr int kExtra = 25;
    for (int i = 0; i < CvPopupList::kMaxRows + kExtra; ++i) {
        EXPECT_EQ(m_list.Append(Msg("P" + std::to_string(i), "flood"), Ticks(9, 0, 0)),
                  i < CvPopupList::kMaxRows);
    }
    m_list.Recount();
    EXPECT_EQ(m_list.Count(), CvPopupList::kMaxRows);
    EXPECT_EQ(m_list.HeldBack(), kExtra);
    EXPECT_EQ(Current(), "P0");
    EXPECT_EQ(m_list.LastReceived().sender,
              "P" + std::to_string(CvPopupList::kMaxRows + kExtra - 1));
    const auto counters = m_list.GetCounters();
    EXPECT_EQ(counters.unread, CvPopupList::kMaxRows);  // rows: what the popup pages through
    EXPECT_EQ(counters.heldBack, kExtra);
    int total = 0;
    int unread = 0;
    m_list.Counts(total, unread);
    EXPECT_EQ(total, CvPopupList::kMaxRows + kExtra);
    EXPECT_EQ(unread, CvPopupList::kMaxRows + kExtra);
    const std::string note =
        "25 more message(s) are not listed here; the message archive holds them.\r\n";
    EXPECT_EQ(m_list.CurrentContent(m_texts, true).body, note + "flood");

    // Room again once rows go; the held-back count stays until cleared.
    m_list.DeleteCurrent();
    EXPECT_TRUE(m_list.Append(Msg("LATE", "after"), Ticks(9, 1, 0)));
    EXPECT_FALSE(m_list.Append(Msg("LATER", "after"), Ticks(9, 1, 0)));
    EXPECT_EQ(m_list.HeldBack(), kExtra + 1);
    m_list.ClearHeldBack();
    m_list.Recount();
    m_list.Counts(total, unread);
    EXPECT_EQ(total, CvPopupList::kMaxRows);
    EXPECT_EQ(m_list.CurrentContent(m_texts, true).body, "flood");
}

// A row's id names it while rows before it go and others come, so that an
// action chosen for it reaches it; a deleted row cannot be selected.
TEST_F(CvPopupListTest, AnIdNamesItsRowWhileOthersComeAndGo) {
    Fill();
    m_list.Next();  // B
    const int64_t b = m_list.CurrentId();
    ASSERT_GE(b, 0);
    m_list.Previous();
    const int64_t a = m_list.CurrentId();
    EXPECT_NE(a, b);
    m_list.DeleteCurrent();  // A: B moves up a row
    m_list.Append(Msg("D", "text"), Ticks(9, 0, 3));
    EXPECT_TRUE(m_list.SelectId(b));
    EXPECT_EQ(Current(), "B");
    EXPECT_EQ(m_list.CurrentRow(), 0);
    EXPECT_FALSE(m_list.SelectId(a));
    EXPECT_EQ(Current(), "B");
    m_list.DeleteCurrent();
    m_list.DeleteCurrent();
    m_list.DeleteCurrent();
    EXPECT_EQ(m_list.CurrentId(), -1);
}

}  // namespace
