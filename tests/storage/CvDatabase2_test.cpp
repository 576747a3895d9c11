#include "storage/CvDatabase2.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "platform/CvTextCodec.h"
#include "storage/CvDbDataSet.h"
#include "storage/CvDbText.h"
#include "support/TestEnv.h"

namespace {

CvDbValue Wide(const char16_t* text) {
    return CvDbValue::FromWide(text);
}
CvDbValue Int(int64_t value) {
    return CvDbValue::FromInteger(value);
}

class CvDatabase2Test : public testing::Test {
protected:
    void SetUp() override {
        m_db.SetPath(m_dir.File("test.db"));
        ASSERT_TRUE(m_db.Open());
        m_db.ExecuteScript(kScript);
    }

    std::vector<CvDbSrvMemCursor2::Row> Rows(const std::u16string& sql,
                                             const CvDbRecord& parameters = {}) {
        CvDbQuery query;
        query.rawSql = sql;
        query.parameters = parameters;
        std::vector<CvDbSrvMemCursor2::Row> rows;
        m_db.RunQuery(query, rows);
        return rows;
    }

    const std::vector<CvDbScriptEntry> kScript = {
        {1, u"CREATE TABLE t (rid INTEGER PRIMARY KEY, a INT, b TEXT)"},
        {2, u"ALTER TABLE t ADD COLUMN c INTEGER"},
    };
    ScopedEnv m_locale{"LC_ALL", "ru_RU.UTF-8"};
    TempDir m_dir;
    CvDatabase2 m_db;
};

TEST(CvDbValueTest, EqualityNeedsTheSameTag) {
    EXPECT_EQ(Int(5), Int(5));
    EXPECT_NE(Int(5), Int(6));
    EXPECT_EQ(Wide(u"bob"), Wide(u"bob"));
    EXPECT_NE(CvDbValue::FromAnsi("bob"), Wide(u"bob"));
    EXPECT_NE(CvDbValue(), Int(0));
    EXPECT_EQ(CvDbValue(), CvDbValue());
    // No conversion on reading.
    EXPECT_EQ(CvDbValue::FromAnsi("7").AsInteger(), 0);
    EXPECT_EQ(Int(7).AsAnsi(), "");
    EXPECT_EQ(CvDbValue::FromAnsi("x").AsWide(), u"");
}

TEST_F(CvDatabase2Test, ReopeningRunsTheScriptAgainWithoutHarmOrNoise) {
    ASSERT_TRUE(m_db.Insert(u"t", {{u"a", Int(1)}, {u"b", CvDbValue::FromAnsi("x")}}));
    m_db.Close();
    ASSERT_TRUE(m_db.Open());
    testing::internal::CaptureStderr();
    m_db.ExecuteScript(kScript);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    const auto rows = Rows(u"SELECT a, b, c FROM t");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (CvDbSrvMemCursor2::Row{Int(1), Wide(u"x"), CvDbValue()}));
}

TEST_F(CvDatabase2Test, BindsByNameAndIgnoresUnknownColumns) {
    // A record column that is no parameter of the statement is skipped.
    EXPECT_TRUE(m_db.Insert(u"t", {{u"a", Int(1)}, {u"b", Wide(u"Ж")}}));
    EXPECT_TRUE(m_db.Update(u"t", {{u"c", Int(9)}}, u"a=:a", {{u"a", Int(1)}, {u"zz", Int(3)}}));
    // The where parameter wins over the record's value of the same name.
    EXPECT_TRUE(m_db.Update(u"t", {{u"a", Int(2)}}, u"a=:a", {{u"a", Int(1)}}));
    const auto rows = Rows(u"SELECT a, b, c FROM t");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (CvDbSrvMemCursor2::Row{Int(1), Wide(u"Ж"), Int(9)}));

    EXPECT_TRUE(m_db.Delete(u"t", u"a=:a", {{u"a", Int(1)}}));
    EXPECT_TRUE(Rows(u"SELECT a FROM t").empty());
}

TEST_F(CvDatabase2Test, FloatsBlobsAndNullsReadAsNull) {
    const auto rows = Rows(u"SELECT 1.5, x'00ff', NULL, 'text', 42");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (CvDbSrvMemCursor2::Row{CvDbValue(), CvDbValue(), CvDbValue(), Wide(u"text"),
                                               Int(42)}));
}

TEST_F(CvDatabase2Test, FailingStatementsAreReportedAndChangeNothing) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(m_db.Insert(u"missing", {{u"a", Int(1)}}));
    const std::string report = testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find("no such table: missing"), std::string::npos) << report;

    CvDatabase2 readOnly;
    readOnly.SetPath(m_dir.File("test.db"));
    readOnly.SetReadOnly(true);
    ASSERT_TRUE(readOnly.Open());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(readOnly.Insert(u"t", {{u"a", Int(1)}}));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("readonly"), std::string::npos);
    EXPECT_TRUE(Rows(u"SELECT a FROM t").empty());

    CvDatabase2 missing;
    missing.SetPath(m_dir.File("nowhere/x.db"));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(missing.Open());
    EXPECT_FALSE(missing.Insert(u"t", {{u"a", Int(1)}}));
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
}

TEST_F(CvDatabase2Test, NoCaseIgnoresLetterCaseInEveryScriptButKeepsAccents) {
    struct Case {
        const char16_t* a;
        const char16_t* b;
        int64_t equal;
    };
    const Case cases[] = {
        {u"Привет", u"пРИВЕТ", 1}, {u"ΣΟΦΙΑ", u"σοφια", 1}, {u"Bob", u"BOB", 1},
        {u"ёж", u"ЁЖ", 1},         {u"ёж", u"еж", 0},       {u"café", u"CAFE", 0},
    };
    for (const Case& c : cases) {
        const auto rows =
            Rows(u"SELECT :a = :b COLLATE NOCASE", {{u"a", Wide(c.a)}, {u"b", Wide(c.b)}});
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0][0], Int(c.equal)) << CvDbText::ToUtf8(c.a);
    }
    // Locale order, case-blind (Russian puts Cyrillic before Latin): SQLite's
    // own NOCASE would put every Cyrillic capital before every small letter.
    for (const char16_t* name : {u"борис", u"Анна", u"ВЕРА", u"алла", u"Zoe"}) {
        m_db.Insert(u"t", {{u"b", Wide(name)}});
    }
    const auto sorted = Rows(u"SELECT b FROM t ORDER BY b COLLATE NOCASE");
    std::vector<std::u16string> names;
    for (const auto& row : sorted) {
        names.push_back(row[0].AsWide());
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"алла", u"Анна", u"борис", u"ВЕРА", u"Zoe"}));
}

TEST_F(CvDatabase2Test, UpperCoversEveryScript) {
    const auto rows = Rows(u"SELECT upper('привет, straße'), upper(NULL), upper(12)");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0],
              (CvDbSrvMemCursor2::Row{Wide(u"ПРИВЕТ, STRASSE"), CvDbValue(), Wide(u"12")}));
    // Mixed texts map as a whole: letters that lengthen, letters whose upper
    // case is ASCII, runs at either end.
    const std::u16string texts[] = {u"",
                                    u"abc",
                                    u"ß",
                                    u"aßb",
                                    u"ΐ x ΐ",
                                    u"ſ-ı",
                                    u"ﬃ office",
                                    u"Привет, world! Встреча",
                                    u"ǅ ǆ ᾳ",
                                    u"日本 text 語",
                                    std::u16string(300, u'ΐ') + u"z"};
    for (const std::u16string& text : texts) {
        const auto upper = Rows(u"SELECT upper(:t)", {{u"t", CvDbValue::FromWide(text)}});
        ASSERT_EQ(upper.size(), 1u);
        EXPECT_EQ(CvDbText::ToUtf8(upper[0][0].AsWide()),
                  CvText::UpperCase(CvDbText::ToUtf8(text)));
    }
}

TEST_F(CvDatabase2Test, MoveTakesSingleStepsAndStopsAtTheEnds) {
    for (int i = 0; i < 3; ++i) {
        m_db.Insert(u"t", {{u"a", Int(i)}});
    }
    CvDbQuery query;
    query.rawSql = u"SELECT a FROM t ORDER BY a";
    auto cursor = m_db.OpenCursor(query, false);
    EXPECT_TRUE(cursor->IsBeforeFirst());
    struct Step {
        int offset;
        int origin;
        bool result;
        int position;
    };
    const Step steps[] = {
        {0, 0, false, -1},  // no current row
        {0, 1, true, 0},   {2, 0, true, 2},  {1, 0, false, 2},  {0, 2, true, 2}, {-5, 0, false, 0},
        {5, 1, false, 2},  {-1, 2, true, 1}, {-2, 0, false, 0}, {1, 1, true, 1},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(cursor->Move(step.offset, step.origin), step.result)
            << step.offset << "/" << step.origin;
        EXPECT_EQ(cursor->GetPosition(), step.position) << step.offset << "/" << step.origin;
    }

    m_db.Delete(u"t", u"", {});
    auto empty = m_db.OpenCursor(query, false);
    EXPECT_FALSE(empty->Move(0, 1));
    EXPECT_FALSE(empty->Move(0, 2));
    CvDbRecord record{{u"x", Int(1)}};
    EXPECT_FALSE(empty->GetRecord(record));
    EXPECT_TRUE(record.empty());
}

class Counter : public CvObserver {
public:
    void Update(CvObservationSubject*) override { ++count; }
    int count = 0;
};

TEST_F(CvDatabase2Test, DataSetsFollowEveryWriteAndDeleteByKey) {
    CvDbDataSet dataSet(&m_db);
    dataSet.Query().selectList = {u"rid", u"a", u"b"};
    dataSet.Query().columnNames = {u"rid", u"number"};  // b is not exposed
    dataSet.Query().from = u"t";
    dataSet.Query().orderBy = u"a";
    dataSet.SetUpdateTable(u"t");
    dataSet.SetKeyCondition(u"rid =:rid");
    CvDbDataSet frozen(&m_db);
    frozen.Query() = dataSet.Query();
    frozen.SetAutoRefresh(false);
    Counter counter;
    dataSet.Attach(&counter);

    EXPECT_EQ(dataSet.GetLastIndex(), -1);
    dataSet.Open();
    frozen.Open();
    EXPECT_EQ(counter.count, 1);
    for (int i = 3; i > 0; --i) {
        m_db.Insert(u"t", {{u"a", Int(i * 10)}, {u"b", Wide(u"x")}});
    }
    EXPECT_EQ(dataSet.GetLastIndex(), 2);
    EXPECT_EQ(frozen.GetLastIndex(), -1);
    EXPECT_EQ(dataSet.ReadValue(1, u"number"), Int(20));
    EXPECT_EQ(dataSet.ReadValue(1, u"b"), CvDbValue());
    EXPECT_EQ(dataSet.ReadValue(3, u"number"), CvDbValue());
    EXPECT_EQ(dataSet.Find(u"number", Int(30)), 2);
    EXPECT_EQ(dataSet.Find(u"number", Int(31)), -1);
    EXPECT_EQ(dataSet.Find(u"b", Int(30)), -1);

    testing::internal::CaptureStderr();
    dataSet.WriteValue(0, u"number", Int(99));
    dataSet.InsertRecord({{u"a", Int(5)}});
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "CvDbDataSet::WriteValue\nCvDbDataSet::InsertRecord\n");
    EXPECT_EQ(dataSet.GetLastIndex(), 2);

    dataSet.SetCurrentRow(0);
    dataSet.DeleteCurrentRow();  // DeleteRecord notifies, and so does the caller
    EXPECT_EQ(counter.count, 3);
    EXPECT_EQ(dataSet.GetLastIndex(), 1);
    EXPECT_EQ(dataSet.ReadValue(0, u"number"), Int(20));
    EXPECT_EQ(Rows(u"SELECT a FROM t ORDER BY a").size(), 2u);
    dataSet.Detach(&counter);
}

// Writes the followers were told of, as "+table:rid,rid" and "changed".
class Log : public CvDbFollower {
public:
    void RowsInserted(const std::u16string& table, const std::vector<int64_t>& rowids) override {
        std::string entry = "+" + CvDbText::ToUtf8(table) + ":";
        for (size_t i = 0; i < rowids.size(); ++i) {
            entry += (i ? "," : "") + std::to_string(rowids[i]);
        }
        told.push_back(entry);
    }
    void RowsChanged() override { told.push_back("changed"); }
    std::vector<std::string> told;
};

// Followers hear of a write once it took effect: a statement at once, a
// batch once at its commit with all its rows (so a view places each row by
// a lookup rather than running its query again), and a write that failed or
// a batch rolled back not at all.
TEST_F(CvDatabase2Test, FollowersHearOfEachWriteThatTookEffect) {
    m_db.ExecuteScript({{3, u"CREATE TABLE u (x INT)"}});
    Log log;
    m_db.AddFollower(&log);
    using Told = std::vector<std::string>;

    m_db.Insert(u"t", {{u"a", Int(1)}});
    EXPECT_EQ(log.told, (Told{"+t:1"}));

    log.told.clear();
    m_db.BeginBatch();
    m_db.Insert(u"t", {{u"a", Int(2)}});
    m_db.Insert(u"u", {{u"x", Int(9)}});
    m_db.BeginBatch();  // nested: only the outermost commits
    m_db.Insert(u"t", {{u"a", Int(3)}});
    EXPECT_TRUE(m_db.CommitBatch());
    EXPECT_TRUE(log.told.empty());
    EXPECT_TRUE(m_db.CommitBatch());
    EXPECT_EQ(log.told, (Told{"+t:2,3", "+u:1"}));

    log.told.clear();
    m_db.BeginBatch();
    m_db.Insert(u"t", {{u"a", Int(4)}});
    m_db.Update(u"t", {{u"a", Int(5)}}, u"rid = :rid", {{u"rid", Int(4)}});
    EXPECT_TRUE(m_db.CommitBatch());
    m_db.Delete(u"t", u"rid = :rid", {{u"rid", Int(4)}});
    EXPECT_EQ(log.told, (Told{"changed", "changed"}));

    // Another connection holds the file: the writes fail and are not told.
    log.told.clear();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(m_dir.File("test.db").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    m_db.SetBusyTimeout(0);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(m_db.Insert(u"t", {{u"a", Int(6)}}));
    m_db.BeginBatch();
    EXPECT_FALSE(m_db.Insert(u"t", {{u"a", Int(7)}}));
    m_db.CommitBatch();
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(log.told.empty());
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    m_db.RemoveFollower(&log);
    m_db.Insert(u"t", {{u"a", Int(8)}});
    EXPECT_TRUE(log.told.empty());
}

// A data set that nobody looks at does no work for writes: it runs its query
// again when it is read, or at once (telling its observers) when it follows
// again.
TEST_F(CvDatabase2Test, ADataSetThatDoesNotFollowCatchesUpWhenReadOrFollowing) {
    CvDbDataSet dataSet(&m_db);
    dataSet.Query().rawSql = u"SELECT a FROM t ORDER BY a";
    dataSet.Query().columnNames = {u"a"};
    dataSet.SetFollowing(false);
    dataSet.Open();
    Counter counter;
    dataSet.Attach(&counter);
    const uint64_t before = m_db.Steps();
    m_db.Insert(u"t", {{u"a", Int(1)}});
    const uint64_t inserting = m_db.Steps() - before;
    m_db.Insert(u"t", {{u"a", Int(2)}});
    EXPECT_EQ(m_db.Steps() - before, 2 * inserting);  // no query ran
    EXPECT_EQ(dataSet.GetLastIndex(), 1);
    EXPECT_EQ(counter.count, 0);

    m_db.Insert(u"t", {{u"a", Int(3)}});
    dataSet.SetFollowing(true);
    EXPECT_EQ(counter.count, 1);
    const uint64_t following = m_db.Steps();
    m_db.Insert(u"t", {{u"a", Int(0)}});
    EXPECT_GT(m_db.Steps() - following, inserting);  // it follows again
    EXPECT_EQ(dataSet.ReadValue(0, u"a"), Int(0));
    EXPECT_EQ(dataSet.GetLastIndex(), 3);
    dataSet.Detach(&counter);
}

// A statement of an interruptible connection ends when asked to, quietly,
// and so does its wait for another connection's lock.
TEST_F(CvDatabase2Test, AnInterruptEndsAStatementAndItsWaitQuietly) {
    bool stop = false;
    CvDatabase2 reader;
    reader.SetPath(m_dir.File("test.db"));
    reader.SetReadOnly(true);
    int asked = 0;
    reader.SetInterrupt([&] {
        ++asked;
        return stop || asked > 50;
    });
    ASSERT_TRUE(reader.Open());
    CvDbQuery endless;
    endless.rawSql =
        u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT count(*) FROM n";
    testing::internal::CaptureStderr();
    std::vector<CvDbSrvMemCursor2::Row> rows;
    EXPECT_FALSE(reader.RunQuery(endless, rows));
    EXPECT_GT(asked, 50);

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(m_dir.File("test.db").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    reader.SetBusyTimeout(60000);
    asked = 0;
    CvDbQuery table;
    table.rawSql = u"SELECT a FROM t";
    EXPECT_FALSE(reader.RunQuery(table, rows));  // ends long before the minute
    EXPECT_GT(asked, 50);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    const std::string reported = testing::internal::GetCapturedStderr();
    EXPECT_EQ(reported.find("interrupt"), std::string::npos) << reported;
    stop = false;
    asked = -1000000;
    EXPECT_TRUE(reader.RunQuery(table, rows));
}

TEST_F(CvDatabase2Test, CursorsOutlivingTheConnectionKeepTheirRows) {
    m_db.Insert(u"t", {{u"a", Int(1)}});
    auto db = std::make_unique<CvDatabase2>();
    db->SetPath(m_dir.File("test.db"));
    ASSERT_TRUE(db->Open());
    CvDbQuery query;
    query.rawSql = u"SELECT a FROM t";
    auto cursor = db->OpenCursor(query, true);
    db.reset();
    EXPECT_EQ(cursor->RowCount(), 1);
    cursor.reset();  // must not touch the gone connection
}

}  // namespace
