#include <string>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "app/CvTimeStamp.h"
#include "messaging/CvMsgQueue.h"
#include "storage/CvDbText.h"
#include "storage/CvMsgArchive.h"
#include "storage/CvMsgFiler.h"
#include "storage/CvPopupList.h"
#include "support/TestEnv.h"

namespace {

std::string Text(CvDbDataSet& dataSet, const char16_t* column) {
    return CvDbText::ToUtf8(dataSet.ReadValue(0, column).AsWide());
}

// corvane history, an export or another station's archive writer holds the
// file's write lock for longer than the busy time-out. The received message
// was already acknowledged to its sender and the sent one went out: both must
// reach the archive once the lock goes, the received one with its time of
// arrival, and neither may show in the popup list twice.
TEST(CvMsgFilerLockedArchive, MessagesTheFileRefusedAreFiledOnceTheLockGoes) {
    TempDir dir;
    CvMsgArchive archive;
    ASSERT_TRUE(archive.Open(dir.File("messages")));
    CvMsgQueue received;
    CvMsgQueue sent;
    CvPopupList popup;
    CvMsgFiler filer(received, sent, &popup);
    filer.SetArchive(&archive);
    const auto rows = [&archive] {
        archive.SetSearchText("");
        return archive.Dialogues().GetLastIndex() + 1;  // one partner each
    };

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(dir.File("messages").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    CMsg in;
    in.type = MsgPersonal;
    in.sender = "BOB";
    in.recipient = "ALICE";
    in.text = "while locked";
    received.Put(in);
    CMsg out = in;
    out.sender = "ALICE";
    out.recipient = "CAROL";
    out.text = "answer while locked";
    sent.Put(out);
    testing::internal::CaptureStderr();
    EXPECT_EQ(filer.DrainReceived().kept, 1);
    EXPECT_EQ(filer.DrainSent(), 1);
    const std::string reported = testing::internal::GetCapturedStderr();
    EXPECT_NE(reported.find("database is locked"), std::string::npos) << reported;
    const std::string arrival = CvTimeStampText(popup.LastReceived().time);
    EXPECT_EQ(rows(), 0);

    ASSERT_EQ(sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    // The filer tries again when it next drains, however little it drains.
    testing::internal::CaptureStderr();
    EXPECT_TRUE(WaitUntil([&] {
        filer.DrainReceived();
        filer.DrainSent();
        return rows() == 2;
    }));
    testing::internal::GetCapturedStderr();
    archive.SetPartner("BOB");
    ASSERT_EQ(archive.Conversation().GetLastIndex(), 0);
    EXPECT_EQ(Text(archive.Conversation(), u"msgtime"), arrival);
    archive.SetPartner("CAROL");
    ASSERT_EQ(archive.Conversation().GetLastIndex(), 0);
    EXPECT_EQ(Text(archive.Conversation(), u"message"), "answer while locked");
    EXPECT_EQ(popup.Count(), 1);
}

}  // namespace
