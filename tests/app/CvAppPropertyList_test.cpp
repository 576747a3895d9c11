#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "app/CvAppPropertiesIterator.h"
#include "app/CvAppPropertyEditor.h"
#include "app/CvAppPropertyList.h"
#include "app/CvAppSettingsTable.h"

namespace {

using Pairs = std::vector<std::pair<int32_t, CvPropertyValue>>;

Pairs Walk(CvPropertyIterator& it) {
    Pairs pairs;
    it.Rewind();
    int32_t id = 0;
    CvPropertyValue value;
    while (it.Next(id, value)) {
        pairs.emplace_back(id, value);
    }
    return pairs;
}

class RecordingListener : public CvUnaryFunction<void, CvPropertyIterator&> {
public:
    void Invoke(CvPropertyIterator& changes) override {
        ++calls;
        seen = Walk(changes);
    }
    int calls = 0;
    Pairs seen;
};

TEST(CvAppSettingsTable, HoldsTheRowsInTableOrder) {
    auto rows = CvAppSettingsTable();
    ASSERT_EQ(rows.size(), 70u);
    EXPECT_EQ(rows.front().id, 1);
    EXPECT_EQ(rows.front().scope, kCvSettingScopeDerived);
    EXPECT_STREQ(rows.front().key, "");
    // The table is not sorted: 30 follows 35, 59 follows 101.
    EXPECT_EQ(rows[30].id, 35);
    EXPECT_EQ(rows[31].id, 30);
    EXPECT_EQ(rows.back().id, 117);

    std::set<int32_t> ids;
    for (const auto& row : rows) {
        EXPECT_TRUE(ids.insert(row.id).second) << row.id;
        if (row.id != 1) {
            EXPECT_EQ(row.scope, kCvSettingScopeOptions) << row.id;
            EXPECT_STRNE(row.key, "") << row.id;
        }
    }
    for (int32_t unused : {17, 18, 19, 39, 40, 41, 47, 48, 49}) {
        EXPECT_EQ(CvFindSettingRow(unused), nullptr) << unused;
    }
}

TEST(CvAppSettingsTable, RowsCarryKeyTypeDefaultAndReadOnlyFlag) {
    struct Case {
        int32_t id;
        const char* key;
        CvPropertyValue defaultValue;
        uint8_t readOnly;
    };
    const Case cases[] = {
        {CvSettingId::kNetMsgSendTimeout, "NetMsgSendTimeout", CvPropertyValue::Integer(3500), 1},
        {CvSettingId::kMsgArcCurRowHighlight, "MsgArcCurRowHighlight",
         CvPropertyValue::Text("color=004080, bkcolor=fffff0"), 0},
        {CvSettingId::kRecvMsgPopWndDeadline, "RecvMsgPopWndDeadline", CvPropertyValue::Integer(10),
         0},
        {CvSettingId::kContactListDisableSearch, "ContactListDisableSearch",
         CvPropertyValue::Integer(0), 1},
        {CvSettingId::kMsgArcDatabaseFile, "MsgArcDatabaseFile", CvPropertyValue::Text(""), 1},
        {CvSettingId::kSysLanguageFile, "SysLanguageFile", CvPropertyValue::Text(""), 0},
        {CvSettingId::kRecvMsgDiscardOwnBcMsg, "RecvMsgDiscardOwnBcMsg",
         CvPropertyValue::Integer(0), 0},
    };
    for (const auto& c : cases) {
        const CvSettingRow* row = CvFindSettingRow(c.id);
        ASSERT_NE(row, nullptr) << c.id;
        EXPECT_STREQ(row->key, c.key);
        EXPECT_EQ(row->DefaultValue(), c.defaultValue) << c.key;
        EXPECT_EQ(row->readOnly, c.readOnly) << c.key;
    }
}

TEST(CvAppPropertyList, GetOfAnUnknownIdentifierIsIntegerZero) {
    CvAppPropertyList list;
    EXPECT_EQ(list.Get(999), CvPropertyValue::Integer(0));
    list.Set(2, CvPropertyValue::Text("de.lng"));
    list.Set(2, CvPropertyValue::Text("fr.lng"));
    EXPECT_EQ(list.Get(2).GetText(), "fr.lng");
    EXPECT_EQ(list.Get(2).GetInt(), 0);
    EXPECT_EQ(list.Get(2).GetKind(), CvPropertyValue::Kind::Text);
}

TEST(CvAppPropertyEditor, GetFallsBackToTheListAndCommitNotifiesOnce) {
    CvAppPropertyList list;
    list.Set(3, CvPropertyValue::Integer(0));
    list.Set(15, CvPropertyValue::Integer(10));
    RecordingListener listener;
    list.SetListener(&listener);

    CvAppPropertyEditor editor(list);
    editor.Set(15, CvPropertyValue::Integer(30));
    editor.Set(2, CvPropertyValue::Text("x.lng"));
    EXPECT_EQ(editor.Get(15).GetInt(), 30);
    EXPECT_EQ(editor.Get(3).GetInt(), 0);
    EXPECT_EQ(editor.Get(500), CvPropertyValue::Integer(0));
    EXPECT_EQ(list.Get(15).GetInt(), 10) << "nothing applied before Commit";
    EXPECT_EQ(listener.calls, 0);

    editor.Commit();
    EXPECT_EQ(listener.calls, 1);
    const Pairs expected{{2, CvPropertyValue::Text("x.lng")}, {15, CvPropertyValue::Integer(30)}};
    EXPECT_EQ(listener.seen, expected);
    EXPECT_EQ(list.Get(15).GetInt(), 30);
    EXPECT_EQ(list.Get(2).GetText(), "x.lng");

    editor.Discard();
    editor.Set(3, CvPropertyValue::Integer(1));
    editor.Discard();
    EXPECT_EQ(editor.Get(3).GetInt(), 0);
    editor.Commit();
    EXPECT_EQ(listener.calls, 2);
    EXPECT_TRUE(listener.seen.empty());
}

TEST(CvAppPropertyList, ApplyChangesWithoutListenerSetsValues) {
    CvAppPropertyList list;
    std::map<int32_t, CvPropertyValue> changes{{8, CvPropertyValue::Integer(2)}};
    CvAppPropertiesIterator it(changes);
    list.ApplyChanges(it);
    EXPECT_EQ(list.Get(8).GetInt(), 2);
}

}  // namespace
