#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "app/CvAppSettingsStore.h"
#include "app/CvAppSettingsTable.h"
#include "app/CvRegistry.h"
#include "app/CvSettingsReport.h"
#include "platform/CvProfileFile.h"
#include "platform/CvRegistryHive.h"
#include "support/TestEnv.h"

namespace {

const char* const kOptionsRegPath = "Software\\Corvane Software\\Corvane Messenger\\Options";
const char* const kRunRegPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Every store the settings touch, in a temporary folder.
class SettingsStoreTest : public ::testing::Test {
protected:
    std::string ProgramFolder() const { return m_dir.File("prog"); }
    CvAppPaths Paths() const { return CvAppPaths(ProgramFolder(), m_dir.File("data")); }

    void WriteReg(const std::string& file, const std::string& hive, const std::string& values) {
        WriteFileText(m_dir.File(file), "Windows Registry Editor Version 5.00\r\n\r\n[" + hive +
                                            "\\" + kOptionsRegPath + "]\r\n" + values);
    }

    CvAppPropertyList Load(CvSettingSources* sources = nullptr) const {
        CvAppPropertyList list;
        CvAppSettingsStore(Paths()).Load(list, sources);
        return list;
    }

    TempDir m_dir;
    ScopedEnv m_user{"CORVANE_USER_REGISTRY", m_dir.File("user.reg")};
    ScopedEnv m_machine{"CORVANE_MACHINE_REGISTRY", m_dir.File("machine.reg")};
    ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir.File("config")};
    ScopedEnv m_machineAutostart{"CORVANE_MACHINE_AUTOSTART_DIR", m_dir.File("xdg-autostart")};
};

TEST_F(SettingsStoreTest, WithoutStoresEverySettingHasItsDefault) {
    CvSettingSources sources;
    const CvAppPropertyList list = Load(&sources);
    for (const CvSettingRow& row : CvAppSettingsTable()) {
        if (row.id == CvSettingId::kMsgArcDatabaseFile ||
            row.id == CvSettingId::kContactListDatabaseFile) {
            // An empty name resolves to the program folder.
            EXPECT_EQ(list.Get(row.id).GetText(), ProgramFolder() + "/") << row.key;
        } else {
            EXPECT_EQ(list.Get(row.id), row.DefaultValue()) << row.id;
        }
        EXPECT_EQ(sources.at(row.id), row.id == CvSettingId::kAutoStart ? CvSettingSource::Autostart
                                                                        : CvSettingSource::Default);
    }
    EXPECT_EQ(list.Get(CvSettingId::kNetMsgSendTimeout).GetInt(), 3500);
    EXPECT_EQ(list.Values().size(), CvAppSettingsTable().size());
}

TEST_F(SettingsStoreTest, LoadCreatesTheUserKeyUnlessInspecting) {
    CvAppSettingsStore inspector(Paths());
    inspector.SetInspectOnly(true);
    CvAppPropertyList list;
    inspector.Load(list);
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("user.reg")));

    Load();
    CvRegistry registry(CvHive::CurrentUser);
    EXPECT_TRUE(registry.OpenKey(CvAppSettingsStore::kOptionsKey, false, false));
}

TEST_F(SettingsStoreTest, HandEditedRegFilesLayerUserOverMachine) {
    WriteReg("machine.reg", "HKEY_LOCAL_MACHINE",
             "\"SoundEnabled\"=dword:00000001\r\n"
             "\"NetMsgSendTimeout\"=dword:00001388\r\n"
             "\"TrayMenuExitDisabled\"=dword:00000001\r\n"
             "\"SysLanguageFile\"=\"machine.lng\"\r\n"
             "\"MsgArcUseDatabaseFile\"=dword:00000001\r\n"
             "\"MsgArcDatabaseFile\"=\"db/../archive.db\"\r\n");
    WriteReg("user.reg", "HKEY_CURRENT_USER",
             "\"SoundEnabled\"=dword:00000000\r\n"
             "\"TrayMenuExitDisabled\"=dword:00000000\r\n"
             "\"RecvMsgPopWndDeadline\"=\"not a number\"\r\n"
             "\"UserSignMsgWith\"=dword:ffffffff\r\n");
    CvSettingSources sources;
    const CvAppPropertyList list = Load(&sources);

    struct Case {
        int32_t id;
        CvPropertyValue value;
        CvSettingSource source;
    };
    const Case cases[] = {
        {CvSettingId::kSoundEnabled, CvPropertyValue::Integer(0), CvSettingSource::User},
        {CvSettingId::kNetMsgSendTimeout, CvPropertyValue::Integer(5000), CvSettingSource::Machine},
        {CvSettingId::kTrayMenuExitDisabled, CvPropertyValue::Integer(0), CvSettingSource::User},
        {CvSettingId::kSysLanguageFile, CvPropertyValue::Text("machine.lng"),
         CvSettingSource::Machine},
        {CvSettingId::kMsgArcDatabaseFile, CvPropertyValue::Text(ProgramFolder() + "/archive.db"),
         CvSettingSource::Machine},
        // A value of the wrong type is ignored.
        {CvSettingId::kRecvMsgPopWndDeadline, CvPropertyValue::Integer(10),
         CvSettingSource::Default},
        {CvSettingId::kUserSignMsgWith, CvPropertyValue::Integer(-1), CvSettingSource::User},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(list.Get(c.id), c.value) << c.id;
        EXPECT_EQ(sources.at(c.id), c.source) << c.id;
    }
    EXPECT_EQ(Paths().MessageArchiveFile(list), ProgramFolder() + "/archive.db");
}

TEST_F(SettingsStoreTest, SavingWritesEverySavedSettingAndNoReadOnlyOne) {
    WriteReg("user.reg", "HKEY_CURRENT_USER", "\"NetMsgSendTimeout\"=dword:00001b58\r\n");
    CvAppPropertyList list = Load();
    list.Set(CvSettingId::kNetMsgSendTimeout, CvPropertyValue::Integer(1));
    list.Set(CvSettingId::kMsgArcDisabled, CvPropertyValue::Integer(1));
    list.Set(CvSettingId::kAutoStart, CvPropertyValue::Integer(2));
    list.Set(CvSettingId::kSysLanguageFile, CvPropertyValue::Text("de.lng"));
    list.Set(CvSettingId::kRecvMsgPopWndDeadline, CvPropertyValue::Integer(25));
    ASSERT_TRUE(CvAppSettingsStore(Paths()).Save(list));

    CvRegistryHive hive(CvHive::CurrentUser);
    for (const CvSettingRow& row : CvAppSettingsTable()) {
        const auto stored = hive.ReadValue(kOptionsRegPath, row.key);
        if (row.id == CvSettingId::kNetMsgSendTimeout) {
            EXPECT_EQ(stored, CvRegValue::Dword(7000)) << "left as the administrator set it";
        } else if (row.readOnly != 0 || row.scope != kCvSettingScopeOptions) {
            EXPECT_FALSE(stored.has_value()) << row.key;
        } else if (row.type == CvSettingType::Text) {
            EXPECT_EQ(stored, CvRegValue::String(list.Get(row.id).GetText())) << row.key;
        } else {
            EXPECT_EQ(stored, CvRegValue::Dword(static_cast<uint32_t>(list.Get(row.id).GetInt())))
                << row.key;
        }
    }
    // Defaults are written too, and everything reads back.
    EXPECT_EQ(hive.ReadValue(kOptionsRegPath, "MsgArcCurRowHighlight"),
              CvRegValue::String("color=004080, bkcolor=fffff0"));
    const CvAppPropertyList reloaded = Load();
    EXPECT_EQ(reloaded.Get(CvSettingId::kSysLanguageFile).GetText(), "de.lng");
    EXPECT_EQ(reloaded.Get(CvSettingId::kRecvMsgPopWndDeadline).GetInt(), 25);
    EXPECT_EQ(reloaded.Get(CvSettingId::kNetMsgSendTimeout).GetInt(), 7000);
    EXPECT_EQ(reloaded.Get(CvSettingId::kAutoStart).GetInt(), 0);
}

TEST_F(SettingsStoreTest, AutostartStateComesFromBothRunKeys) {
    struct Case {
        bool user;
        bool machine;
        int32_t state;
    };
    for (const Case c :
         {Case{false, false, 0}, Case{true, false, 1}, Case{false, true, 2}, Case{true, true, 2}}) {
        for (CvHive hive : {CvHive::CurrentUser, CvHive::LocalMachine}) {
            CvRegistryHive(hive).DeleteValue(kRunRegPath, "Corvane Messenger");
        }
        if (c.user) {
            ASSERT_TRUE(CvRegistryHive(CvHive::CurrentUser)
                            .WriteValue(kRunRegPath, "Corvane Messenger",
                                        CvRegValue::String("\"/usr/bin/corvane\"")));
        }
        if (c.machine) {
            ASSERT_TRUE(CvRegistryHive(CvHive::LocalMachine)
                            .WriteValue(kRunRegPath, "Corvane Messenger",
                                        CvRegValue::String("\"/usr/bin/corvane\"")));
        }
        EXPECT_EQ(Load().Get(CvSettingId::kAutoStart).GetInt(), c.state)
            << "user " << c.user << " machine " << c.machine;
    }
}

TEST_F(SettingsStoreTest, IniModeReadsAndWritesTheOptionsSection) {
    const std::string ini = ProgramFolder() + "/corvane.ini";
    WriteFileText(ini,
                  "[Options]\r\n"
                  "SoundEnabled=1\r\n"
                  "NetMsgSendTimeout=4000\r\n"
                  "SysLanguageFile=[~!@#$%^&*()_+]\r\n"
                  "RecvMsgPopWndDeadline=12abc\r\n"
                  "ContactListUseDatabaseFile=1\r\n"
                  "ContactListDatabaseFile=lists/contacts.db\r\n");
    // Machine-wide registry values play no part in INI mode.
    WriteReg("machine.reg", "HKEY_LOCAL_MACHINE", "\"TrayLeftMouseBtn\"=dword:00000002\r\n");

    const CvAppPaths paths = Paths();
    ASSERT_TRUE(paths.IsIniMode());
    CvSettingSources sources;
    CvAppPropertyList list = Load(&sources);
    EXPECT_EQ(list.Get(CvSettingId::kSoundEnabled).GetInt(), 1);
    EXPECT_EQ(sources.at(CvSettingId::kSoundEnabled), CvSettingSource::Ini);
    EXPECT_EQ(list.Get(CvSettingId::kNetMsgSendTimeout).GetInt(), 4000);
    EXPECT_EQ(list.Get(CvSettingId::kSysLanguageFile).GetText(), "");
    EXPECT_EQ(sources.at(CvSettingId::kSysLanguageFile), CvSettingSource::Default);
    EXPECT_EQ(list.Get(CvSettingId::kRecvMsgPopWndDeadline).GetInt(), 12);
    EXPECT_EQ(list.Get(CvSettingId::kTrayLeftMouseBtn).GetInt(), 1);
    EXPECT_EQ(paths.ContactListFile(list), ProgramFolder() + "/lists/contacts.db");
    EXPECT_EQ(paths.MessageArchiveFile(list), "messages");

    list.Set(CvSettingId::kNetMsgSendTimeout, CvPropertyValue::Integer(1));
    ASSERT_TRUE(CvAppSettingsStore(paths).Save(list));
    EXPECT_EQ(CvProfileFile::ReadString(ini, "Options", "NetMsgSendTimeout", ""), "4000");
    EXPECT_EQ(CvProfileFile::ReadString(ini, "Options", "RecvMsgPopWndDeadline", ""), "12");
    EXPECT_EQ(CvProfileFile::ReadString(ini, "Options", "SysLanguageFile", "?"), "");
    EXPECT_EQ(CvProfileFile::ReadString(ini, "Options", "MsgArcCurRowHighlight", ""),
              "color=004080, bkcolor=fffff0");
    size_t saved = 0;
    for (const CvSettingRow& row : CvAppSettingsTable()) {
        saved += row.scope == kCvSettingScopeOptions && row.readOnly == 0 ? 1 : 0;
    }
    // The saved settings plus the three read-only ones the file already had
    // (NetMsgSendTimeout, ContactListUseDatabaseFile, ContactListDatabaseFile).
    EXPECT_EQ(CvProfileFile::ReadKeys(ini, "Options").size(), saved + 3);
}

TEST_F(SettingsStoreTest, SaveOneWritesOnlyThatSetting) {
    WriteReg("user.reg", "HKEY_CURRENT_USER", "\"RecvMsgMainAct\"=dword:00000002\r\n");
    CvAppPropertyList list = Load();
    list.Set(CvSettingId::kRecvMsgMainAct, CvPropertyValue::Integer(0));  // not saved
    list.Set(CvSettingId::kContactListAskImportDisabled, CvPropertyValue::Integer(1));
    const CvAppSettingsStore store(Paths());
    ASSERT_TRUE(store.SaveOne(list, CvSettingId::kContactListAskImportDisabled));
    const CvAppPropertyList reloaded = Load();
    EXPECT_EQ(reloaded.Get(CvSettingId::kContactListAskImportDisabled).GetInt(), 1);
    EXPECT_EQ(reloaded.Get(CvSettingId::kRecvMsgMainAct).GetInt(), 2);
    EXPECT_FALSE(store.SaveOne(list, CvSettingId::kAutoStart));  // not stored in the options
    EXPECT_FALSE(store.SaveOne(list, 99999));
}

TEST_F(SettingsStoreTest, WindowStoragesUseTheirOwnKeyOrSection) {
    CvAppSettingsStore store(Paths());
    EXPECT_EQ(store.OpenWindowStorage("sendmsg", false), nullptr) << "no key yet";
    auto writer = store.OpenWindowStorage("sendmsg", true);
    ASSERT_NE(writer, nullptr);
    EXPECT_TRUE(writer->WriteInt("Top", 12));
    EXPECT_EQ(
        CvRegistryHive(CvHive::CurrentUser)
            .ReadValue("Software\\Corvane Software\\Corvane Messenger\\Windows\\sendmsg", "Top"),
        CvRegValue::Dword(12));

    WriteFileText(ProgramFolder() + "/corvane.ini", "[Windows.lanbrowser]\nTop=5\n");
    auto ini = CvAppSettingsStore(Paths()).OpenWindowStorage("lanbrowser", false);
    ASSERT_NE(ini, nullptr);
    EXPECT_EQ(ini->ReadInt("Top"), 5);
}

TEST_F(SettingsStoreTest, ReportShowsEverySettingWithItsSource) {
    WriteReg("user.reg", "HKEY_CURRENT_USER",
             "\"SysLanguageFile\"=\"say \\\"hi\\\".lng\"\r\n\"RecvMsgMainAct\"=dword:00000002\r\n");
    CvSettingSources sources;
    const CvAppPropertyList list = Load(&sources);
    const std::string report = CvFormatSettingsReport(list, sources);

    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = report.find('\n', start)) != std::string::npos;
         start = end + 1) {
        lines.push_back(report.substr(start, end - start));
    }
    ASSERT_EQ(lines.size(), CvAppSettingsTable().size() + 1);
    const size_t valueColumn = lines[0].find("Value");
    EXPECT_EQ(lines[0].find("Id"), 1u);
    EXPECT_EQ(lines[1].substr(0, 4), "  1 ");
    EXPECT_NE(lines[1].find("autostart"), std::string::npos);
    auto lineOf = [&](const std::string& key) {
        for (const auto& line : lines) {
            if (line.find(" " + key + " ") != std::string::npos) {
                return line;
            }
        }
        return std::string();
    };
    EXPECT_EQ(lineOf("NetMsgSendTimeout").substr(valueColumn), "3500");
    EXPECT_NE(lineOf("NetMsgSendTimeout").find(" default "), std::string::npos);
    EXPECT_EQ(lineOf("RecvMsgMainAct").substr(valueColumn), "2");
    EXPECT_NE(lineOf("RecvMsgMainAct").find(" user "), std::string::npos);
    EXPECT_EQ(lineOf("SysLanguageFile").substr(valueColumn), "\"say \\\"hi\\\".lng\"");
    EXPECT_EQ(lineOf("MsgArcCurRowHighlight").substr(valueColumn),
              "\"color=004080, bkcolor=fffff0\"");
    // Ascending identifiers: 30 comes before 31 although the table has it later.
    EXPECT_LT(report.find("ContactListDisableSearch"), report.find("PopupMsgWndOpenAtNewest"));
}

}  // namespace
