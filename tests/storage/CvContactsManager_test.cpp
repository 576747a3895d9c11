#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/CvAppPropertyList.h"
#include "app/CvAppSettingsStore.h"
#include "app/CvAppSettingsTable.h"
#include "storage/CvContactListAutocompleteData.h"
#include "storage/CvContactListFile.h"
#include "storage/CvContactsImport.h"
#include "storage/CvContactsManager.h"
#include "support/TestContact.h"
#include "support/TestEnv.h"

namespace {

int CountRows(CvDatabase2& db, const std::u16string& table) {
    CvDbQuery query;
    query.rawSql = u"SELECT count(*) FROM " + table;
    std::vector<CvDbSrvMemCursor2::Row> rows;
    db.RunQuery(query, rows);
    return rows.empty() ? -1 : static_cast<int>(rows[0][0].AsInteger());
}

struct ContactListFixture {
    TempDir dir;
    CvContactListFile file;
    ContactListFixture() { EXPECT_TRUE(file.Open(dir.File("contacts"), false)); }
};

// Answers pings from a table of names on a thread of its own; counts probes.
class FakeProbe : public CvPresenceProbe {
public:
    std::map<std::string, bool> online;  // upper-case names
    std::vector<std::string> workgroups;

    ~FakeProbe() override {
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }
    void Ping(const std::string& name, std::shared_ptr<CvNetNamePingReceiver> receiver) override {
        std::lock_guard guard(m_lock);
        ++m_pings[name];
        const bool answers = online.count(name) != 0 && online.at(name);
        m_threads.emplace_back([name, receiver, answers] {
            CvNetNamePingResult result;
            result.name = name;
            result.suffix = 3;
            result.status = answers ? kPingStatusAnswered : kPingStatusNoAnswer;
            receiver->Invoke(result);
        });
    }
    bool IsWorkgroupKnown(const std::string& name) override {
        std::lock_guard guard(m_lock);
        ++m_pings[name];
        return std::find(workgroups.begin(), workgroups.end(), name) != workgroups.end();
    }
    std::map<std::string, int> Pings() {
        std::lock_guard guard(m_lock);
        return m_pings;
    }

private:
    std::mutex m_lock;
    std::map<std::string, int> m_pings;
    std::vector<std::thread> m_threads;
};

class RepaintCounter : public CvNullaryFunction<void> {
public:
    void Invoke() override { ++count; }
    std::atomic<int> count{0};
};

TEST(CvContactsManagerTest, GroupNameDifferingOnlyInCyrillicCaseIsOneGroup) {
    ContactListFixture fx;
    CvDatabase2& db = fx.file.Database();
    EXPECT_TRUE(db.Insert(u"fav_groups", {{u"collapsed", CvDbValue::FromInteger(0)},
                                          {u"name", CvDbValue::FromAnsi("Друзья")}}));
    EXPECT_FALSE(db.Insert(u"fav_groups", {{u"collapsed", CvDbValue::FromInteger(0)},
                                           {u"name", CvDbValue::FromAnsi("ДРУЗЬЯ")}}));
    EXPECT_EQ(CountRows(db, u"fav_groups"), 1);

    CvContactsManager manager(db, fx.file.Contacts(), nullptr);
    manager.Load();
    manager.SaveContact(TestContact(1, "ivan", "Иван", "друзья"));
    // Shown, stored and loaded again under the one group.
    ASSERT_EQ(manager.Groups().size(), 1u);
    EXPECT_EQ(manager.Groups()[0].contacts.size(), 1u);
    CvContactsManager reloaded(db, fx.file.Contacts(), nullptr);
    reloaded.Load();
    ASSERT_EQ(reloaded.Groups().size(), 1u);
    EXPECT_EQ(reloaded.Groups()[0].name, "Друзья");
    EXPECT_EQ(reloaded.Groups()[0].contacts.at(0).displayname, "Иван");
}

TEST(CvContactsManagerTest, EditMatchesStoredNamesWithoutRegardToCase) {
    ContactListFixture fx;
    CvContactsManager manager(fx.file.Database(), fx.file.Contacts(), nullptr);
    manager.SaveContact(TestContact(1, "ALICE", "Алиса", "Work"));
    manager.SaveContact(TestContact(1, "ALICE", "Алиса", "Work"));  // identical duplicate
    manager.SaveContact(TestContact(2, "alice", "алиса", "Work"));  // other type: untouched

    const CvContact old = TestContact(1, "alice", "АЛИСА", "work");
    manager.SaveContact(TestContact(1, "alice2", "Alice", "Home"), &old);
    CvContactsManager reloaded(fx.file.Database(), fx.file.Contacts(), nullptr);
    reloaded.Load();
    for (CvContactsManager* m : {&manager, &reloaded}) {
        std::map<std::string, std::vector<CvContact>> byGroup;
        for (const CvContactGroup& group : m->Groups()) {
            byGroup[group.name] = group.contacts;
        }
        ASSERT_EQ(byGroup.size(), 2u);
        ASSERT_EQ(byGroup["Work"].size(), 1u);
        EXPECT_EQ(byGroup["Work"][0].conttype, 2);
        ASSERT_EQ(byGroup["Home"].size(), 2u);
        EXPECT_EQ(byGroup["Home"][1].name, "alice2");
        EXPECT_EQ(byGroup["Home"][1].displayname, "Alice");
    }
}

TEST(CvContactsManagerTest, ItemModelDeleteAndGroupStates) {
    ContactListFixture fx;
    CvContactsManager manager(fx.file.Database(), fx.file.Contacts(), nullptr);
    manager.SaveContact(TestContact(1, "bob", "Bob", "A"));
    manager.SaveContact(TestContact(2, "LAN", "Lan", "B"));
    ASSERT_EQ(manager.GetItemCount(), 4);
    EXPECT_EQ(manager.GetItemText(1), "Bob");
    EXPECT_EQ(manager.GetItemImage(0), 1);
    EXPECT_EQ(manager.GetItemImage(1), 5);
    EXPECT_EQ(manager.GetItemImage(3), 4);
    EXPECT_EQ(manager.IsGroup(2), 1);
    EXPECT_EQ(manager.GetItemText(4), "");
    EXPECT_EQ(manager.GetItemImage(4), -1);
    int index = -1;
    EXPECT_TRUE(manager.FindByPrefix(0, 4, "la", index));
    EXPECT_EQ(index, 3);
    EXPECT_FALSE(manager.FindByPrefix(0, 3, "la", index));

    manager.Toggle(0);  // collapse A
    EXPECT_EQ(manager.GetItemCount(), 3);
    manager.SaveGroupStates();
    CvContactsManager reloaded(fx.file.Database(), fx.file.Contacts(), nullptr);
    reloaded.Load();
    EXPECT_TRUE(reloaded.Groups()[0].collapsed);
    EXPECT_FALSE(reloaded.Groups()[1].collapsed);

    manager.DeleteContact(TestContact(1, "BOB", "bob", "a"));
    manager.DeleteGroup("b");
    EXPECT_EQ(CountRows(fx.file.Database(), u"favorites"), 0);
    EXPECT_EQ(CountRows(fx.file.Database(), u"fav_groups"), 1);
    EXPECT_EQ(manager.GetItemCount(), 1);
}

TEST(CvContactsManagerTest, IdenticalContactsInTwoGroupsAreProbedOnceAndChangeTogether) {
    ContactListFixture fx;
    FakeProbe probe;
    probe.online = {{"bob", true}};
    probe.workgroups = {"LAN"};
    RepaintCounter repaint;
    CvContactsManager manager(fx.file.Database(), fx.file.Contacts(), &probe);
    manager.SetRepaint(&repaint);
    manager.SaveContact(TestContact(1, "bob", "Bob", "A"));
    manager.SaveContact(TestContact(1, "bob", "Bobby", "B"));
    manager.SaveContact(TestContact(1, "carol", "Carol", "B"));
    manager.SaveContact(TestContact(2, "LAN", "Lan", "B"));
    const int repaintsBefore = repaint.count;
    manager.SetPacing(0, 60000, 0);
    ASSERT_TRUE(manager.StartPresence());
    ASSERT_TRUE(WaitUntil([&] { return manager.PassCount() == 1; }));
    manager.StopPresence();
    EXPECT_EQ(probe.Pings(), (std::map<std::string, int>{{"LAN", 1}, {"bob", 1}, {"carol", 1}}));
    const auto groups = manager.Groups();
    EXPECT_EQ(groups[0].contacts[0].online, 1);
    EXPECT_EQ(groups[1].contacts[0].online, 1);
    EXPECT_EQ(groups[1].contacts[1].online, 0);
    EXPECT_EQ(groups[1].contacts[2].online, 1);
    EXPECT_EQ(manager.GetItemImage(1), 3);
    EXPECT_EQ(manager.GetItemImage(5), 2);
    EXPECT_EQ(repaint.count, repaintsBefore + 1);
}

TEST(CvContactsImportTest, Cp1251FileIsReadInTheLocaleCodePage) {
    TempDir dir;
    ScopedEnv locale("LC_ALL", "ru_RU.UTF-8");
    ScopedEnv page("CORVANE_ANSI_CODEPAGE", std::nullopt);
    // "1;ivan;Иван;Друзья;1" in CP1251
    WriteFileText(dir.File("contacts.txt"),
                  "1;ivan;\xC8\xE2\xE0\xED;\xC4\xF0\xF3\xE7\xFC\xFF;1\r\n");
    CvContactsDataSet contacts;
    ASSERT_TRUE(contacts.Load(dir.File("contacts.txt")));
    EXPECT_EQ(contacts.ReadValue(0, u"DisplayName").AsAnsi(), "Иван");
    EXPECT_EQ(contacts.ReadValue(0, u"GroupName").AsAnsi(), "Друзья");
    // UTF-8 stays UTF-8.
    WriteFileText(dir.File("contacts.txt"), "1;ivan;Иван;Друзья;1\r\n");
    ASSERT_TRUE(contacts.Load(dir.File("contacts.txt")));
    EXPECT_EQ(contacts.ReadValue(0, u"DisplayName").AsAnsi(), "Иван");
}

TEST(CvContactsImportTest, CheckAnswerAndAutocomplete) {
    TempDir dir;
    ScopedEnv user("CORVANE_USER_REGISTRY", dir.File("user.reg"));
    ScopedEnv machine("CORVANE_MACHINE_REGISTRY", dir.File("machine.reg"));
    ContactListFixture fx;
    CvAppPropertyList settings;
    const CvAppSettingsStore store(CvAppPaths(dir.File("prog"), dir.File("data")));
    CvContactsImport import(settings, dir.Path(), &store);
    EXPECT_EQ(import.FilePath(), dir.Path() + "/Corvane Messenger/2.x/contacts.txt");
    EXPECT_EQ(import.Check(), CvContactsImport::kDisableQuestion);  // no file
    std::filesystem::create_directories(dir.Path() + "/Corvane Messenger/2.x");
    WriteFileText(import.FilePath(), "1;alice;Alice;Work;1\r\n0;LAN;Office;Work;0\r\n");
    EXPECT_EQ(import.Check(), CvContactsImport::kAsk);
    CvContactsManager manager(fx.file.Database(), fx.file.Contacts(), nullptr);
    import.Answer(CvContactsImport::kCancel, manager);
    EXPECT_EQ(settings.Get(CvSettingId::kContactListAskImportDisabled).GetInt(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("user.reg")));
    EXPECT_TRUE(import.Answer(CvContactsImport::kYes, manager));
    EXPECT_EQ(settings.Get(CvSettingId::kContactListAskImportDisabled).GetInt(), 1);
    CvAppPropertyList stored;
    store.Load(stored);
    EXPECT_EQ(stored.Get(CvSettingId::kContactListAskImportDisabled).GetInt(), 1);
    EXPECT_EQ(import.Check(), CvContactsImport::kNothing);
    ASSERT_EQ(manager.Groups().size(), 1u);
    EXPECT_EQ(manager.Groups()[0].contacts[1].conttype, 2);
    EXPECT_EQ(CountRows(fx.file.Database(), u"favorites"), 2);

    CvContactListAutocompleteData complete(&manager);
    complete.Rebuild("ali");
    ASSERT_EQ(complete.GetCount(), 1);
    EXPECT_EQ(complete.GetText(0), "alice");
    EXPECT_EQ(complete.GetSecondText(0), "Alice");
    EXPECT_EQ(complete.GetKind(0), 1);
    EXPECT_EQ(complete.GetKind(1), 0);
    complete.Rebuild("");
    EXPECT_EQ(complete.GetCount(), 3);
    EXPECT_EQ(complete.GetKind(0), CvContactListAutocompleteData::kGroupKind);

    CvAppPropertyList readOnly;
    readOnly.Set(CvSettingId::kContactListDisableEdit, CvPropertyValue::Integer(1));
    EXPECT_EQ(CvContactsImport(readOnly, dir.Path()).Check(), CvContactsImport::kDisableQuestion);
}

}  // namespace
