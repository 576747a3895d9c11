#include "storage/CvArchiveBacklog.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "app/CvTimeStamp.h"
#include "storage/CvDbText.h"
#include "support/TestEnv.h"

namespace {

using namespace std::chrono_literals;

CvMsgArchive::Record Received(const std::string& text, uint64_t time = 133500000000000000ull) {
    CvMsgArchive::Record record;
    record.msg.type = MsgPersonal;
    record.msg.sender = "BOB";
    record.msg.recipient = "ALICE";
    record.msg.text = text;
    record.msg.time = time;
    return record;
}

// Another connection holding the archive's write lock, as another program
// writing to it does.
class WriteLock {
public:
    explicit WriteLock(const std::string& path) {
        EXPECT_EQ(sqlite3_open(path.c_str(), &m_db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    ~WriteLock() {
        Release();
        sqlite3_close(m_db);
    }
    void Release() {
        if (m_held) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            m_held = false;
        }
    }

private:
    sqlite3* m_db = nullptr;
    bool m_held = true;
};

class CvArchiveBacklogTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_archive.Open(m_path));
        m_archive.Database().SetBusyTimeout(50);
    }

    // The texts and times of the stored rows, in the order they were stored.
    std::vector<std::string> Rows() {
        CvDbQuery query;
        query.rawSql = u"SELECT message || ' @ ' || msgtime FROM messages ORDER BY rid";
        std::vector<CvDbSrvMemCursor2::Row> rows;
        m_archive.Database().RunQuery(query, rows);
        std::vector<std::string> texts;
        for (const auto& row : rows) {
            texts.push_back(CvDbText::ToUtf8(row[0].AsWide()));
        }
        return texts;
    }

    TempDir m_dir;
    std::string m_path = m_dir.File("messages");
    CvMsgArchive m_archive;
};

TEST_F(CvArchiveBacklogTest, WhatALockedFileRefusedIsFiledLaterInOrderWithItsOwnTime) {
    CvArchiveBacklog backlog(CvArchiveBacklog::kMaxPendingBytes, 0ms);
    const uint64_t arrived = 133500000000000000ull;
    const std::string stamp = " @ " + CvTimeStampText(arrived);
    {
        WriteLock lock(m_path);
        testing::internal::CaptureStderr();
        EXPECT_EQ(backlog.Store(m_archive, {Received("one", arrived), Received("two", arrived)}),
                  0u);
        EXPECT_EQ(backlog.Store(m_archive, {Received("three", arrived)}), 0u);
        EXPECT_FALSE(backlog.Retry(m_archive));
        const std::string reported = testing::internal::GetCapturedStderr();
        EXPECT_NE(reported.find("could not be filed yet"), std::string::npos) << reported;
        EXPECT_EQ(backlog.PendingCount(), 3u);
    }
    EXPECT_TRUE(Rows().empty());
    // Newer messages queue behind the waiting ones.
    testing::internal::CaptureStderr();
    EXPECT_EQ(backlog.Store(m_archive, {Received("four", arrived)}), 4u);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("the waiting messages are filed"),
              std::string::npos);
    EXPECT_EQ(backlog.PendingCount(), 0u);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"one" + stamp, "two" + stamp, "three" + stamp,
                                                "four" + stamp}));
    EXPECT_EQ(m_archive.Dialogues().GetLastIndex(), 0) << "the views follow the late write";
}

TEST_F(CvArchiveBacklogTest, AfterAFailureTheNextAttemptWaitsItsPause) {
    CvArchiveBacklog backlog(CvArchiveBacklog::kMaxPendingBytes, 300ms);
    WriteLock lock(m_path);
    testing::internal::CaptureStderr();
    EXPECT_EQ(backlog.Store(m_archive, {Received("one")}), 0u);
    lock.Release();
    // Within the pause a new message only joins the queue.
    EXPECT_EQ(backlog.Store(m_archive, {Received("two")}), 0u);
    EXPECT_EQ(backlog.PendingCount(), 2u);
    EXPECT_TRUE(WaitUntil([&] { return backlog.Retry(m_archive); }, 5s));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(Rows().size(), 2u);
}

TEST_F(CvArchiveBacklogTest, FlushIgnoresThePause) {
    CvArchiveBacklog backlog(CvArchiveBacklog::kMaxPendingBytes, 60000ms);
    testing::internal::CaptureStderr();
    {
        WriteLock lock(m_path);
        backlog.Store(m_archive, {Received("one")});
    }
    EXPECT_FALSE(backlog.Retry(m_archive)) << "a minute's pause runs";
    EXPECT_TRUE(backlog.Flush(m_archive));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(Rows().size(), 1u);
}

// An archive that stays unwritable must not take all the memory: beyond the
// bound the oldest waiting messages go, and each one is reported.
TEST_F(CvArchiveBacklogTest, TheQueueIsBoundedAndDropsTheOldest) {
    const std::string text(1000, 'x');
    CvMsgArchive closed;                  // every write fails at once
    CvArchiveBacklog backlog(2500, 0ms);  // room for two such messages
    testing::internal::CaptureStderr();
    for (const char* name : {"a", "b", "c", "d"}) {
        backlog.Store(closed, {Received(name + text)});
    }
    const std::string reported = testing::internal::GetCapturedStderr();
    EXPECT_EQ(backlog.PendingCount(), 2u);
    EXPECT_EQ(backlog.DroppedCount(), 2u);
    EXPECT_NE(reported.find("dropped the message from BOB"), std::string::npos) << reported;

    testing::internal::CaptureStderr();
    EXPECT_TRUE(backlog.Retry(m_archive));
    testing::internal::GetCapturedStderr();
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].substr(0, 2), "cx");
    EXPECT_EQ(rows[1].substr(0, 2), "dx");
}

TEST_F(CvArchiveBacklogTest, MessagesStillWaitingAtTheEndAreReportedLost) {
    CvMsgArchive closed;
    testing::internal::CaptureStderr();
    {
        CvArchiveBacklog backlog(CvArchiveBacklog::kMaxPendingBytes, 0ms);
        backlog.Store(closed, {Received("one"), Received("two")});
    }
    const std::string reported = testing::internal::GetCapturedStderr();
    EXPECT_NE(reported.find("2 message(s) could not be filed and are lost"), std::string::npos)
        << reported;
}

}  // namespace
