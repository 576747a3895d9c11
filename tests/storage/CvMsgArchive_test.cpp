#include "storage/CvMsgArchive.h"

#include <algorithm>
#include <atomic>
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

std::string Text(CvDataSet& dataSet, int row, const char16_t* column) {
    return CvDbText::ToUtf8(dataSet.ReadValue(row, column).AsWide());
}

std::vector<std::string> Column(CvDataSet& dataSet, const char16_t* column) {
    std::vector<std::string> values;
    for (int i = 0; i <= dataSet.GetLastIndex(); ++i) {
        values.push_back(Text(dataSet, i, column));
    }
    return values;
}

std::vector<int64_t> Rids(CvDataSet& dataSet) {
    std::vector<int64_t> rids;
    for (int i = 0; i <= dataSet.GetLastIndex(); ++i) {
        rids.push_back(dataSet.ReadValue(i, u"rid").AsInteger());
    }
    return rids;
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
    CvDataSet& dialogues = m_archive.Dialogues();
    EXPECT_EQ(Column(dialogues, u"interlocutor"),
              (std::vector<std::string>{"BOB", "WORKGROUP", "ALICE"}));
    EXPECT_EQ(dialogues.ReadValue(0, u"conttype"), CvDbValue::FromInteger(1));
    EXPECT_EQ(dialogues.ReadValue(1, u"conttype"), CvDbValue::FromInteger(2));
}

// NetBIOS names ignore letter case: "Bob" and "BOB" are one correspondent,
// one dialogue that opens the messages of both, shown under the name of its
// newest message. Names that differ otherwise stay apart.
TEST_F(CvMsgArchiveTest, PartnersDifferingOnlyInCaseAreOneDialogue) {
    m_archive.StoreReceived(Msg(MsgPersonal, "Bob", "ME", "one"), Ticks(1, 10, 0));
    m_archive.StoreSent(Msg(MsgPersonal, "ME", "BOB", "two", Ticks(1, 11, 0)));
    m_archive.StoreReceived(Msg(MsgPersonal, "Боб", "ME", "три"), Ticks(1, 12, 0));
    m_archive.StoreSent(Msg(MsgPersonal, "ME", "БОБ", "четыре", Ticks(1, 13, 0)));
    m_archive.StoreReceived(Msg(MsgPersonal, "bób", "ME", "accent"), Ticks(1, 9, 0));
    EXPECT_EQ(Column(m_archive.Dialogues(), u"interlocutor"),
              (std::vector<std::string>{"БОБ", "BOB", "bób"}));
    EXPECT_EQ(Column(m_archive.Dialogues(), u"message"),
              (std::vector<std::string>{"четыре", "two", "accent"}));
    for (int row = 0; row < 3; ++row) {
        m_archive.SetPartner(Text(m_archive.Dialogues(), row, u"interlocutor"));
        EXPECT_EQ(m_archive.Conversation().GetLastIndex(), row < 2 ? 1 : 0) << row;
    }
    m_archive.SetPartner("bob");
    EXPECT_EQ(Column(m_archive.Conversation(), u"message"),
              (std::vector<std::string>{"two", "one"}));
    m_archive.SetPartner("боб");
    EXPECT_EQ(Column(m_archive.Conversation(), u"message"),
              (std::vector<std::string>{"четыре", "три"}));
    // A newer message under the other spelling moves the dialogue and its name.
    m_archive.StoreReceived(Msg(MsgPersonal, "bob", "ME", "five"), Ticks(1, 14, 0));
    EXPECT_EQ(Column(m_archive.Dialogues(), u"interlocutor"),
              (std::vector<std::string>{"bob", "БОБ", "bób"}));
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
    m_archive.Conversation().SetFollowing(true);
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

// Storing messages while both lists are shown places each stored row in them
// by a lookup or two: the search behind the dialogue list and the
// conversation's query do not run again, however large the archive, also
// when the messages come in one batch. Lists nobody shows do less still, and
// are right when next read.
TEST_F(CvMsgArchiveTest, StoringPlacesRowsInsteadOfSearchingAgain) {
    std::vector<CvMsgArchive::Record> old;
    for (int i = 0; i < 3000; ++i) {
        CMsg msg = Msg(MsgPersonal, "P" + std::to_string(i % 20), "ME",
                       "text " + std::to_string(i), Ticks(1 + i / 1000, (i / 60) % 24, i % 60));
        old.push_back({msg, i % 3 != 0});
    }
    ASSERT_EQ(m_archive.Store(old), old.size());
    CvDatabase2& db = m_archive.Database();
    int minute = 0;
    const auto store = [&] {
        const uint64_t before = db.Steps();
        const std::vector<CvMsgArchive::Record> batch = {
            {Msg(MsgPersonal, "P7", "ME", "text new", Ticks(9, 10, minute++)), true},
            {Msg(MsgPersonal, "ME", "p7", "text reply", Ticks(9, 10, minute++)), false},
            {Msg(MsgPersonal, "NEWBIE", "ME", "text hello", Ticks(2, 10, minute++)), true},
        };
        EXPECT_EQ(m_archive.Store(batch), batch.size());
        return static_cast<int64_t>(db.Steps() - before);
    };
    m_archive.SetPartner("P7");
    // "e" is checked on every row, "ext 2" through the trigram index.
    for (const char* search : {"e", "ext 2"}) {
        m_archive.Dialogues().SetFollowing(false);
        m_archive.Conversation().SetFollowing(false);
        const int64_t unseen = store();
        m_archive.Dialogues().SetFollowing(true);
        m_archive.Conversation().SetFollowing(true);
        uint64_t before = db.Steps();
        m_archive.SetSearchText(search);
        const auto searching = static_cast<int64_t>(db.Steps() - before);
        before = db.Steps();
        m_archive.SetPartner("P7");
        const auto opening = static_cast<int64_t>(db.Steps() - before);
        const int64_t shown = store();
        EXPECT_LT(shown - unseen, (searching + opening) / 10) << search;

        const std::vector<int64_t> dialogues = Rids(m_archive.Dialogues());
        const std::vector<int64_t> conversation = Rids(m_archive.Conversation());
        m_archive.SetSearchText(search);
        m_archive.SetPartner("P7");
        EXPECT_EQ(dialogues, Rids(m_archive.Dialogues())) << search;
        EXPECT_EQ(conversation, Rids(m_archive.Conversation())) << search;
        EXPECT_EQ(Text(m_archive.Conversation(), 0, u"message"), "text reply");
    }
    // Not shown: right when read again.
    m_archive.Dialogues().SetFollowing(false);
    m_archive.Conversation().SetFollowing(false);
    store();
    const std::vector<int64_t> dialogues = Rids(m_archive.Dialogues());
    const std::vector<int64_t> conversation = Rids(m_archive.Conversation());
    m_archive.SetSearchText("ext 2");
    m_archive.SetPartner("P7");
    EXPECT_EQ(dialogues, Rids(m_archive.Dialogues()));
    EXPECT_EQ(conversation, Rids(m_archive.Conversation()));
}

// Searches on the reader thread: the list keeps its rows (still following
// the archive) until the result is taken, the newest search wins, messages
// stored while one ran are in its result, and a deletion while one ran makes
// it search again.
TEST_F(CvMsgArchiveTest, BackgroundSearchesKeepTheListUntilTheirResultIsTaken) {
    m_archive.StoreReceived(Msg(MsgPersonal, "ANNA", "ME", "hello"), Ticks(1, 10, 0));
    m_archive.StoreReceived(Msg(MsgPersonal, "BORIS", "ME", "bye"), Ticks(1, 11, 0));
    m_archive.StoreReceived(Msg(MsgPersonal, "VERA", "ME", "hello again"), Ticks(1, 12, 0));
    CvArchiveDialogues& dialogues = m_archive.Dialogues();
    dialogues.SetFollowing(true);
    using Names = std::vector<std::string>;
    ASSERT_EQ(Column(dialogues, u"interlocutor"), (Names{"VERA", "BORIS", "ANNA"}));
    std::atomic<int> ready{0};
    m_archive.ReadInBackground([&ready] { ++ready; });

    m_archive.SetSearchText("hello");
    EXPECT_TRUE(dialogues.IsSearching());
    EXPECT_EQ(Column(dialogues, u"interlocutor"), (Names{"VERA", "BORIS", "ANNA"}));
    m_archive.StoreReceived(Msg(MsgPersonal, "GLEB", "ME", "hello there"), Ticks(1, 13, 0));
    EXPECT_EQ(Column(dialogues, u"interlocutor"), (Names{"GLEB", "VERA", "BORIS", "ANNA"}));
    ASSERT_TRUE(WaitUntil([&] { return ready > 0; }));
    EXPECT_TRUE(dialogues.FinishSearch());
    EXPECT_FALSE(dialogues.IsSearching());
    EXPECT_EQ(Column(dialogues, u"interlocutor"), (Names{"GLEB", "VERA", "ANNA"}));
    EXPECT_FALSE(dialogues.FinishSearch());  // nothing more to take

    m_archive.SetSearchText("bye");
    m_archive.SetSearchText("again");
    ASSERT_TRUE(WaitUntil([&] { return dialogues.FinishSearch(); }));
    EXPECT_EQ(dialogues.Pattern().AsUtf8(), "%again%");
    EXPECT_EQ(Column(dialogues, u"interlocutor"), (Names{"VERA"}));

    m_archive.SetSearchText("hello");
    m_archive.SetPartner("GLEB");
    m_archive.Conversation().DeleteRecord(0);
    ASSERT_TRUE(WaitUntil([&] { return dialogues.FinishSearch(); }));
    EXPECT_EQ(Column(dialogues, u"interlocutor"), (Names{"VERA", "ANNA"}));

    // Stopped: searches run at once again.
    m_archive.ReadInBackground(nullptr);
    m_archive.SetSearchText("bye");
    EXPECT_EQ(Column(dialogues, u"interlocutor"), (Names{"BORIS"}));
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
    CvDataSet& dialogues = archive.Dialogues();
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

const char* const kPatterns[] = {
    "%%",        "%",        "%%%",      "",          "%hello%",      "%ПРИВЕТ%",
    "%привет%",  "%ривет%",  "%10%%",    "%a_b%",     "%bob%",        "%борис%",
    "%x%y%",     "%only%",   "_%",       "%nothing%", "%hel%lo%",     "%he_lo%",
    "%strasse%", "%STRAßE%", "%\"hi\"%", "%𝄞 c%",     "%мир%привет%", "%xxhel%",
    "%e%",       "%o%"};

using Rows = std::vector<CvDbSrvMemCursor2::Row>;

// The list is ordered by the time of each dialogue's row; rows with equal
// times may come in either order. Compares the order of the times and the
// set of rows under each, in the defining statement's eight columns.
std::vector<std::pair<std::u16string, std::vector<std::u16string>>> Normalised(
    CvDatabase2& db, const Rows& rows) {
    std::vector<std::pair<std::u16string, std::vector<std::u16string>>> result;
    for (const auto& row : rows) {
        std::u16string text;
        for (size_t i = 0; i < 8; ++i) {
            const CvDbValue& value = row[i];
            text += u"|" + std::u16string(1, char16_t(u'0' + value.GetTag())) +
                    (value.GetTag() == CvDbValue::Integer
                         ? CvDbText::ToWide(std::to_string(value.AsInteger()))
                         : value.AsWide());
        }
        CvDbQuery timeOfRid;
        timeOfRid.rawSql = u"SELECT msgtime FROM messages WHERE rid = :rid";
        timeOfRid.parameters[u"rid"] = row[6];
        Rows time;
        EXPECT_TRUE(db.RunQuery(timeOfRid, time));
        const std::u16string key = time.empty() ? u"?" : time[0][0].AsWide();
        if (result.empty() || result.back().first != key) {
            result.push_back({key, {}});
        }
        result.back().second.push_back(text);
    }
    for (auto& group : result) {
        std::sort(group.second.begin(), group.second.end());
    }
    return result;
}

// The dialogue list is found by searches built for speed (the indexes, the
// trigram index, a window of rows per statement); it must give the rows of
// the defining statement, whatever the data, the search and the window.
TEST_F(CvMsgArchiveEquivalenceTest, DialogueListMatchesTheDefiningStatement) {
    CvDatabase2& db = m_archive.Database();
    struct Way {
        bool indexReady;
        int64_t windowRows;
    };
    for (const char* pattern : kPatterns) {
        CvDbQuery reference;
        reference.rawSql = CvMsgArchive::kDialogueReferenceSql;
        reference.parameters[u"srchstr"] = CvDbValue::FromAnsi(pattern);
        Rows expected;
        ASSERT_TRUE(db.RunQuery(reference, expected));
        EXPECT_EQ(expected.empty(), pattern == std::string("%nothing%")) << pattern;
        for (const Way way : {Way{true, CvArchiveSearch::kWindowRows}, Way{true, 7},
                              Way{false, CvArchiveSearch::kWindowRows}, Way{false, 7}}) {
            CvArchiveSearch::Options options;
            options.indexReady = way.indexReady;
            options.windowRows = way.windowRows;
            Rows found;
            int64_t covered = 0;
            ASSERT_TRUE(CvArchiveSearch::Run(db, reference.parameters[u"srchstr"], options, found,
                                             covered));
            EXPECT_EQ(covered, 402);
            EXPECT_EQ(Normalised(db, found), Normalised(db, expected))
                << pattern << " index " << way.indexReady << " window " << way.windowRows;
        }
    }
}

// What the case-blind grouping changed, and only that: each dialogue of the
// list is the union of the dialogues the byte-wise grouping made of the names
// NOCASE finds equal, with the newest row and the newest time among them.
TEST_F(CvMsgArchiveEquivalenceTest, OnlyNamesDifferingInCaseAreJoined) {
    CvDatabase2& db = m_archive.Database();
    std::u16string byteWise = CvMsgArchive::kDialogueReferenceSql;
    const std::u16string grouping = u"group by dlg COLLATE NOCASE";
    ASSERT_NE(byteWise.find(grouping), std::u16string::npos);
    byteWise.replace(byteWise.find(grouping), grouping.size(), u"group by dlg");
    size_t joined = 0;
    for (const char* pattern : kPatterns) {
        CvDbQuery before;
        before.rawSql = byteWise;
        before.parameters[u"srchstr"] = CvDbValue::FromAnsi(pattern);
        CvDbQuery now = before;
        now.rawSql = CvMsgArchive::kDialogueReferenceSql;
        Rows separate;
        Rows together;
        ASSERT_TRUE(db.RunQuery(before, separate));
        ASSERT_TRUE(db.RunQuery(now, together));
        // Join the separate dialogues by the partner's collation key.
        std::map<std::u16string, CvDbSrvMemCursor2::Row> merged;
        for (const auto& row : separate) {
            CvDbQuery key;
            key.rawSql = u"SELECT ifnull(nocase_key(:name), '(none)')";
            key.parameters[u"name"] = row[1];
            Rows keys;
            ASSERT_TRUE(db.RunQuery(key, keys));
            auto [entry, added] = merged.try_emplace(keys[0][0].AsWide(), row);
            if (!added) {
                CvDbSrvMemCursor2::Row& kept = entry->second;
                const CvDbValue newest =
                    kept[5].AsWide() > row[5].AsWide() || row[5].IsNull() ? kept[5] : row[5];
                if (row[6].AsInteger() > kept[6].AsInteger()) {
                    kept = row;
                }
                kept[5] = newest;
                ++joined;
            }
        }
        Rows expected;
        for (auto& entry : merged) {
            expected.push_back(entry.second);
        }
        std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
            return a[6].AsInteger() > b[6].AsInteger();
        });
        std::sort(together.begin(), together.end(), [](const auto& a, const auto& b) {
            return a[6].AsInteger() > b[6].AsInteger();
        });
        EXPECT_EQ(together, expected) << pattern;
    }
    EXPECT_GT(joined, 0u);  // the fixture has names differing only in case
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
