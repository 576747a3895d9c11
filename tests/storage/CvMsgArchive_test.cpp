#include "storage/CvMsgArchive.h"

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/CvFileTime.h"
#include "storage/CvArchiveSearch.h"
#include "storage/CvDbText.h"
#include "support/TestEnv.h"

namespace {

uint64_t Ticks(int day, int hour, int minute, int second = 0) {
    std::tm calendar{};
    calendar.tm_year = 124;
    calendar.tm_mon = 2;
    calendar.tm_mday = day;
    calendar.tm_hour = hour;
    calendar.tm_min = minute;
    calendar.tm_sec = second;
    return CvFileTime::FromCalendar(calendar);
}

CMsg Msg(int32_t type, const std::string& sender, const std::string& recipient,
         const std::string& text, uint64_t time = 0) {
    CMsg msg;
    msg.type = type;
    msg.sender = sender;
    msg.recipient = recipient;
    msg.text = text;
    if (time) {
        msg.time = time;
    }
    return msg;
}

std::string Text(CvDbDataSet& dataSet, int row, const char16_t* column) {
    return CvDbText::ToUtf8(dataSet.ReadValue(row, column).AsWide());
}

std::vector<std::string> Column(CvDbDataSet& dataSet, const char16_t* column) {
    std::vector<std::string> values;
    for (int i = 0; i <= dataSet.GetLastIndex(); ++i) {
        values.push_back(Text(dataSet, i, column));
    }
    return values;
}

class CvMsgArchiveTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_archive.Open(m_dir.File("messages"))); }

    ScopedEnv m_locale{"LC_ALL", "ru_RU.UTF-8"};
    TempDir m_dir;
    CvMsgArchive m_archive;
};

TEST_F(CvMsgArchiveTest, ReceivedAndSentMessagesBecomeRows) {
    ASSERT_TRUE(m_archive.StoreReceived(Msg(MsgPersonal, "ALICE", "ME",
                                            "a\x14"
                                            "b"),
                                        Ticks(1, 9, 5, 7)));
    ASSERT_TRUE(
        m_archive.StoreSent(Msg(MsgBroadcast, "ME", "WORKGROUP", "x\x14y", Ticks(2, 23, 59))));
    m_archive.SetPartner("alice");
    CvDbDataSet& alice = m_archive.Conversation();
    ASSERT_EQ(alice.GetLastIndex(), 0);
    EXPECT_EQ(Text(alice, 0, u"message"), "a\r\nb");
    EXPECT_EQ(Text(alice, 0, u"msgtime"), "2024-03-01 09:05:07");
    EXPECT_EQ(alice.ReadValue(0, u"msgtype"), CvDbValue::FromInteger(1));
    EXPECT_EQ(alice.ReadValue(0, u"conttype"), CvDbValue::FromInteger(1));

    m_archive.SetPartner("WORKGROUP");
    CvDbDataSet& group = m_archive.Conversation();
    ASSERT_EQ(group.GetLastIndex(), 0);
    EXPECT_EQ(Text(group, 0, u"message"), "x\x14y");  // sent text is stored as written
    EXPECT_EQ(Text(group, 0, u"msgtime"), "2024-03-02 23:59:00");
    EXPECT_EQ(group.ReadValue(0, u"msgtype"), CvDbValue::FromInteger(2));

    // Broadcasts: sent to a workgroup shows conttype 2, received shows 1.
    m_archive.StoreReceived(Msg(MsgBroadcast, "BOB", "WORKGROUP", "hi"), Ticks(3, 8, 0));
    CvDbDataSet& dialogues = m_archive.Dialogues();
    EXPECT_EQ(Column(dialogues, u"interlocutor"),
              (std::vector<std::string>{"BOB", "WORKGROUP", "ALICE"}));
    EXPECT_EQ(dialogues.ReadValue(0, u"conttype"), CvDbValue::FromInteger(1));
    EXPECT_EQ(dialogues.ReadValue(1, u"conttype"), CvDbValue::FromInteger(2));
}

TEST_F(CvMsgArchiveTest, PartnersDifferingInCaseAreTwoDialoguesThatEachOpenBoth) {
    m_archive.StoreReceived(Msg(MsgPersonal, "Bob", "ME", "one"), Ticks(1, 10, 0));
    m_archive.StoreSent(Msg(MsgPersonal, "ME", "BOB", "two", Ticks(1, 11, 0)));
    m_archive.StoreReceived(Msg(MsgPersonal, "Боб", "ME", "три"), Ticks(1, 12, 0));
    m_archive.StoreSent(Msg(MsgPersonal, "ME", "БОБ", "четыре", Ticks(1, 13, 0)));
    EXPECT_EQ(Column(m_archive.Dialogues(), u"interlocutor"),
              (std::vector<std::string>{"БОБ", "Боб", "BOB", "Bob"}));
    for (const char* partner : {"Bob", "BOB"}) {
        m_archive.SetPartner(partner);
        EXPECT_EQ(Column(m_archive.Conversation(), u"message"),
                  (std::vector<std::string>{"two", "one"}));
    }
    m_archive.SetPartner("боб");
    EXPECT_EQ(Column(m_archive.Conversation(), u"message"),
              (std::vector<std::string>{"четыре", "три"}));
}

TEST_F(CvMsgArchiveTest, SearchIsCaseBlindForAllLettersAndKeepsLikeWildcards) {
    m_archive.StoreReceived(Msg(MsgPersonal, "ANNA", "ME", "Встреча в 10%"), Ticks(1, 10, 0));
    m_archive.StoreReceived(Msg(MsgPersonal, "BORIS", "ME", "a_b"), Ticks(1, 11, 0));
    m_archive.StoreReceived(Msg(MsgPersonal, "VERA", "ME", "axb"), Ticks(1, 12, 0));
    struct Case {
        const char* text;
        std::vector<std::string> dialogues;
    };
    const Case cases[] = {
        {"", {"VERA", "BORIS", "ANNA"}},
        {"ВСТРЕЧА", {"ANNA"}},
        {"vera", {"VERA"}},
        {"a_b", {"VERA", "BORIS"}},  // "_" matches any one character
        {"10%", {"ANNA"}},
        {"%", {"VERA", "BORIS", "ANNA"}},
        {"nothing", {}},
    };
    for (const Case& c : cases) {
        m_archive.SetSearchText(c.text);
        EXPECT_EQ(Column(m_archive.Dialogues(), u"interlocutor"), c.dialogues) << c.text;
    }
}

TEST_F(CvMsgArchiveTest, DataSetsFollowWritesDeletesAndClearing) {
    m_archive.SetPartner("ANNA");
    m_archive.StoreReceived(Msg(MsgPersonal, "ANNA", "ME", "first"), Ticks(1, 10, 0));
    m_archive.StoreReceived(Msg(MsgPersonal, "ANNA", "ME", "second"), Ticks(1, 10, 0));
    // Same second: the later stored comes first.
    EXPECT_EQ(Column(m_archive.Conversation(), u"message"),
              (std::vector<std::string>{"second", "first"}));
    m_archive.Conversation().DeleteRecord(0);
    EXPECT_EQ(Column(m_archive.Conversation(), u"message"), (std::vector<std::string>{"first"}));
    EXPECT_EQ(Column(m_archive.Dialogues(), u"message"), (std::vector<std::string>{"first"}));

    EXPECT_TRUE(m_archive.Clear());
    EXPECT_EQ(m_archive.Dialogues().GetLastIndex(), -1);
    EXPECT_EQ(m_archive.Conversation().GetLastIndex(), -1);
    m_archive.StoreSent(Msg(MsgPersonal, "ME", "VERA", "new", Ticks(2, 1, 0)));
    EXPECT_EQ(Column(m_archive.Dialogues(), u"interlocutor"), (std::vector<std::string>{"VERA"}));
}

// The open conversation places each new row itself; it must stand where
// running the query again puts it, whatever its time.
TEST_F(CvMsgArchiveTest, ConversationPlacesNewRowsWhereTheQueryWould) {
    m_archive.SetPartner("anna");
    struct Write {
        const char* sender;
        const char* recipient;
        uint64_t time;  // 0: no time
        bool received;
    };
    const Write writes[] = {
        {"ANNA", "ME", Ticks(5, 10, 0), true},   {"ME", "Anna", Ticks(7, 10, 0), false},
        {"ANNA", "ME", Ticks(6, 10, 0), true},   {"BORIS", "ME", Ticks(9, 10, 0), true},
        {"ANNA", "ME", Ticks(6, 10, 0), true},   {"ME", "ANNA", Ticks(1, 10, 0), false},
        {"ME", "BORIS", Ticks(2, 10, 0), false}, {"anna", "ME", Ticks(9, 9, 0), true},
    };
    for (const Write& w : writes) {
        const CMsg msg = Msg(MsgPersonal, w.sender, w.recipient, "t", w.time);
        ASSERT_TRUE(w.received ? m_archive.StoreReceived(msg, w.time) : m_archive.StoreSent(msg));
        auto rids = [this] {
            std::vector<int64_t> values;
            CvDbDataSet& conversation = m_archive.Conversation();
            for (int i = 0; i <= conversation.GetLastIndex(); ++i) {
                values.push_back(conversation.ReadValue(i, u"rid").AsInteger());
            }
            return values;
        };
        const std::vector<int64_t> placed = rids();
        m_archive.SetPartner("anna");
        EXPECT_EQ(placed, rids()) << w.sender << w.time;
    }
    EXPECT_EQ(m_archive.Conversation().GetLastIndex(), 5);
}

TEST(CvMsgArchiveMigrationTest, AnOldArchiveGainsConttype) {
    TempDir dir;
    {
        CvDatabase2 old;
        old.SetPath(dir.File("messages"));
        ASSERT_TRUE(old.Open());
        old.ExecuteScript(&CvMsgArchive::Script()[0], 1);
        for (int64_t type : {1, 2}) {
            old.Insert(u"messages",
                       {{u"msgtype", CvDbValue::FromInteger(type)},
                        {u"msgtime",
                         CvDbValue::FromAnsi("2020-01-0" + std::to_string(type) + " 00:00:00")},
                        {u"sender", CvDbValue::FromAnsi("OLD")},
                        {u"recipient", CvDbValue::FromAnsi("PEER")},
                        {u"message", CvDbValue::FromAnsi("m")}});
        }
    }
    CvMsgArchive archive;
    ASSERT_TRUE(archive.Open(dir.File("messages")));
    archive.StoreReceived(Msg(MsgPersonal, "NEW", "ME", "n"), Ticks(1, 1, 1));
    CvDbDataSet& dialogues = archive.Dialogues();
    ASSERT_EQ(Column(dialogues, u"interlocutor"), (std::vector<std::string>{"NEW", "PEER", "OLD"}));
    EXPECT_EQ(dialogues.ReadValue(2, u"conttype"), CvDbValue::FromInteger(1));
    EXPECT_EQ(dialogues.ReadValue(1, u"conttype"), CvDbValue());  // sent before conttype
    archive.SetPartner("PEER");
    EXPECT_EQ(archive.Conversation().ReadValue(0, u"conttype"), CvDbValue());
}

// Rows of every shape the fast statements must agree on with the defining
// ones: partners differing only in case, LIKE wildcards, missing values.
class CvMsgArchiveEquivalenceTest : public CvMsgArchiveTest {
protected:
    void SetUp() override {
        CvMsgArchiveTest::SetUp();
        m_archive.Dialogues().Close();  // no refresh after every insert
        m_archive.Conversation().Close();
        CvDatabase2& db = m_archive.Database();
        std::mt19937 random(7);
        const std::vector<std::string> names = {"Bob", "BOB", "anna", "Борис", "БОРИС", "x%y", ""};
        const std::vector<std::string> texts = {"hello",      "Привет", "10% off",  "a_b",
                                                "",           "HELLO",  "Straße",   "say \"hi\" x",
                                                "мир ПРИВЕТ", "𝄞 clef", "xxhelloxx"};
        for (int i = 0; i < 400; ++i) {
            CvDbRecord record = {
                {u"msgtype", CvDbValue::FromInteger(1 + random() % 2)},
                // Few distinct times, so that dialogues share their newest time
                // and the newest time is not always on the newest row.
                {u"msgtime",
                 CvDbValue::FromAnsi("2024-01-0" + std::to_string(1 + random() % 5) + " 00:00:00")},
                {u"sender", CvDbValue::FromAnsi(names[random() % names.size()])},
                {u"recipient", CvDbValue::FromAnsi(names[random() % names.size()])},
                {u"message", CvDbValue::FromAnsi(texts[random() % texts.size()])},
                {u"conttype", CvDbValue::FromInteger(1 + random() % 2)},
            };
            // Some rows lack values, as rows of other writers may.
            for (const char16_t* column : {u"sender", u"recipient", u"message", u"conttype"}) {
                if (random() % 12 == 0) {
                    record.erase(column);
                }
            }
            db.Insert(u"messages", record);
        }
        db.Insert(u"messages", {{u"msgtype", CvDbValue::FromInteger(1)}});  // all NULL
        db.Insert(u"messages", {{u"msgtype", CvDbValue::FromInteger(2)},
                                {u"msgtime", CvDbValue::FromAnsi("2024-01-09 00:00:00")},
                                {u"message", CvDbValue::FromAnsi("only text")}});
    }
};

// The dialogue list runs a statement built for speed; it must give the rows
// of the defining statement, whatever the data and the search.
TEST_F(CvMsgArchiveEquivalenceTest, DialogueListMatchesTheDefiningStatement) {
    CvDatabase2& db = m_archive.Database();
    // The list is ordered by the time of each dialogue's newest row (largest
    // rid); rows with equal keys may come in either order. Compare the order
    // of the keys and the set of rows under each key.
    std::vector<CvDbSrvMemCursor2::Row> times;
    CvDbQuery byRid;
    byRid.rawSql = u"SELECT rid, msgtime FROM messages";
    ASSERT_TRUE(db.RunQuery(byRid, times));
    std::map<int64_t, std::u16string> timeOfRid;
    for (const auto& row : times) {
        timeOfRid[row[0].AsInteger()] = row[1].AsWide();
    }
    auto normalised = [&](const std::vector<CvDbSrvMemCursor2::Row>& rows) {
        std::vector<std::pair<std::u16string, std::vector<std::u16string>>> result;
        for (const auto& row : rows) {
            std::u16string text;
            for (const CvDbValue& value : row) {
                text += u"|" + std::u16string(1, char16_t(u'0' + value.GetTag())) +
                        (value.GetTag() == CvDbValue::Integer
                             ? CvDbText::ToWide(std::to_string(value.AsInteger()))
                             : value.AsWide());
            }
            const std::u16string key = timeOfRid[row[6].AsInteger()];
            if (result.empty() || result.back().first != key) {
                result.push_back({key, {}});
            }
            result.back().second.push_back(text);
        }
        for (auto& group : result) {
            std::sort(group.second.begin(), group.second.end());
        }
        return result;
    };
    for (const char* pattern :
         {"%%",        "%",        "%%%",      "",          "%hello%",      "%ПРИВЕТ%",
          "%привет%",  "%ривет%",  "%10%%",    "%a_b%",     "%bob%",        "%борис%",
          "%x%y%",     "%only%",   "_%",       "%nothing%", "%hel%lo%",     "%he_lo%",
          "%strasse%", "%STRAßE%", "%\"hi\"%", "%𝄞 c%",     "%мир%привет%", "%xxhel%"}) {
        CvDbQuery reference;
        reference.rawSql = CvMsgArchive::kDialogueReferenceSql;
        reference.parameters[u"srchstr"] = CvDbValue::FromAnsi(pattern);
        CvDbQuery fast = reference;
        fast.rawSql = CvMsgArchive::DialogueSql();
        std::vector<CvDbSrvMemCursor2::Row> expected, actual, indexed;
        ASSERT_TRUE(db.RunQuery(reference, expected));
        ASSERT_TRUE(db.RunQuery(fast, actual));
        ASSERT_TRUE(
            CvArchiveSearch::Run(db, reference.parameters[u"srchstr"], fast, true, indexed));
        EXPECT_EQ(expected.empty(), pattern == std::string("%nothing%")) << pattern;
        EXPECT_EQ(normalised(actual), normalised(expected)) << pattern;
        EXPECT_EQ(normalised(indexed), normalised(expected)) << pattern;
    }
}

// The conversation compares only the distinct partner names with the
// locale's collation; its statement must list the rows of the defining
// condition, newest first.
TEST_F(CvMsgArchiveEquivalenceTest, ConversationMatchesTheDefiningCondition) {
    for (const char* partner :
         {"Bob", "bob", "BOB", "ANNA", "борис", "БОРИС", "x%y", "x_y", "", "nobody"}) {
        CvDbQuery reference;
        reference.selectList = {u"rid", u"msgtime"};
        reference.from = u"messages";
        reference.where = CvMsgArchive::kConversationReferenceWhere;
        reference.orderBy = u"msgtime DESC, rid DESC";
        reference.parameters[u"addr"] = CvDbValue::FromAnsi(partner);
        CvDbQuery fast;
        fast.rawSql = CvMsgArchive::ConversationSql();
        fast.parameters = reference.parameters;
        std::vector<CvDbSrvMemCursor2::Row> expected, actual;
        ASSERT_TRUE(m_archive.Database().RunQuery(reference, expected));
        ASSERT_TRUE(m_archive.Database().RunQuery(fast, actual));
        const bool absent = partner == std::string("nobody") || partner == std::string("x_y");
        EXPECT_EQ(expected.empty(), absent) << partner;
        EXPECT_EQ(actual, expected) << partner;
    }
}

// The index query keeps every literal run of three or more characters of the
// pattern, with its quotes doubled, for each column.
TEST(CvArchiveSearchTest, MatchExpressionTakesTheLongRunsOfThePattern) {
    struct Case {
        std::u16string pattern;
        std::u16string phrases;  // "" = no run long enough
    };
    const Case cases[] = {
        {u"%HELLO%", u"\"HELLO\""},
        {u"%HE%LLO%", u"\"LLO\""},
        {u"%AB_CDE%XY%", u"\"CDE\""},
        {u"%ПРИВЕТ%МИР%", u"\"ПРИВЕТ\" AND \"МИР\""},
        {u"%SAY \"HI\"%", u"\"SAY \"\"HI\"\"\""},
        {u"%𝄞C%", u""},  // two characters, three UTF-16 units
        {u"%𝄞CD%", u"\"𝄞CD\""},
        {u"%%", u""},
        {u"A_B", u""},
    };
    for (const Case& c : cases) {
        const std::u16string expected =
            c.phrases.empty() ? u""
                              : u"message : (" + c.phrases + u") OR sender : (" + c.phrases +
                                    u") OR recipient : (" + c.phrases + u")";
        EXPECT_EQ(CvArchiveSearch::MatchExpression(c.pattern), expected)
            << CvDbText::ToUtf8(c.pattern);
    }
}

// An archive written before the index existed is indexed when opened, and a
// text that is not valid UTF-8 is archived and found like any other.
TEST(CvArchiveSearchTest, OldArchivesAreIndexedAndOddTextsStored) {
    TempDir dir;
    {
        CvMsgArchive archive;
        ASSERT_TRUE(archive.Open(dir.File("messages")));
        ASSERT_TRUE(
            archive.StoreReceived(Msg(MsgPersonal, "ANNA", "ME", "old message"), Ticks(1, 1, 0)));
        for (const char16_t* drop :
             {u"DROP TRIGGER messages_search_insert", u"DROP TRIGGER messages_search_delete",
              u"DROP TRIGGER messages_search_update", u"DROP TABLE messages_search"}) {
            ASSERT_TRUE(archive.Database().Execute(drop));
        }
        ASSERT_TRUE(archive.StoreReceived(Msg(MsgPersonal, "BORIS", "ME", "older message"),
                                          Ticks(1, 2, 0)));
    }
    CvMsgArchive archive;
    ASSERT_TRUE(archive.Open(dir.File("messages")));
    ASSERT_TRUE(archive.StoreReceived(Msg(MsgPersonal, "VERA", "ME", "bad \xff\xfe message"),
                                      Ticks(1, 3, 0)));
    archive.SetSearchText("MESSAGE");
    EXPECT_EQ(Column(archive.Dialogues(), u"interlocutor"),
              (std::vector<std::string>{"VERA", "BORIS", "ANNA"}));
    archive.SetSearchText("older");
    EXPECT_EQ(Column(archive.Dialogues(), u"interlocutor"), (std::vector<std::string>{"BORIS"}));
}

}  // namespace
