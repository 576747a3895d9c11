#include "storage/CvMemDataSet.h"

#include <gtest/gtest.h>

#include "storage/CvArrayDataSet.h"
#include "storage/CvContactsDataSet.h"
#include "support/TestEnv.h"

namespace {

CvDbValue Ansi(const char* text) {
    return CvDbValue::FromAnsi(text);
}
CvDbValue Int(int64_t value) {
    return CvDbValue::FromInteger(value);
}

TEST(CvMemDataSetTest, RowsAreAppendedCurrentWrittenAndDeleted) {
    CvArrayDataSet popups;
    EXPECT_EQ(popups.GetLastIndex(), -1);
    popups.AppendRow();
    popups.InsertRecord({{u"Origin", Ansi("BOB")}, {u"Unknown", Int(1)}, {u"Type", Int(1)}});
    EXPECT_EQ(popups.GetCurrentRow(), 1);
    EXPECT_EQ(popups.ReadValue(1, u"Origin"), Ansi("BOB"));
    EXPECT_EQ(popups.ReadValue(1, u"Read"), CvDbValue());
    EXPECT_EQ(popups.ReadValue(1, u"Unknown"), CvDbValue());
    EXPECT_EQ(popups.ReadValue(2, u"Origin"), CvDbValue());
    popups.WriteCurrentValue(u"Read", Int(1));
    popups.WriteValue(5, u"Read", Int(1));  // no such row: ignored
    EXPECT_EQ(popups.ReadValue(1, u"Read"), Int(1));
    popups.SetCurrentRow(0);
    popups.DeleteCurrentRow();
    EXPECT_EQ(popups.GetLastIndex(), 0);
    EXPECT_EQ(popups.ReadValue(0, u"Origin"), Ansi("BOB"));
}

TEST(CvMemDataSetTest, ContactFileOfTheEarlierVersionLoadsEveryLine) {
    TempDir dir;
    WriteFileText(
        dir.File("contacts.txt"),
        "1;alice;Alice;Work;1\r\n0;DOMAIN;Dom;Net;0;extra;x\r\nnoseparator\r\n\r\n1;bob\n");
    CvContactsDataSet contacts;
    ASSERT_TRUE(contacts.Load(dir.File("contacts.txt")));
    struct Row {
        int64_t type;
        const char* name;
        const char* display;
        const char* group;
        int64_t open;
    };
    const Row rows[] = {{1, "alice", "Alice", "Work", 1},
                        {2, "DOMAIN", "Dom", "Net", 0},
                        {2, "", "", "", 0},
                        {2, "", "", "", 0},
                        {1, "bob", "", "", 0}};
    ASSERT_EQ(contacts.GetLastIndex(), 4);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(contacts.ReadValue(i, u"Type"), Int(rows[i].type)) << i;
        EXPECT_EQ(contacts.ReadValue(i, u"RealName"), Ansi(rows[i].name)) << i;
        EXPECT_EQ(contacts.ReadValue(i, u"DisplayName"), Ansi(rows[i].display)) << i;
        EXPECT_EQ(contacts.ReadValue(i, u"GroupName"), Ansi(rows[i].group)) << i;
        EXPECT_EQ(contacts.ReadValue(i, u"GroupOpen"), Int(rows[i].open)) << i;
    }
    EXPECT_FALSE(contacts.Load(dir.File("missing.txt")));
    EXPECT_EQ(contacts.GetLastIndex(), -1);
}

}  // namespace
