#include <filesystem>

#include <gtest/gtest.h>

#include "app/CvAppPaths.h"
#include "app/CvAppPropertyList.h"
#include "app/CvAppSettingsTable.h"
#include "app/CvPath.h"
#include "support/TestEnv.h"

namespace {

TEST(CvPath, ExpandsDefinedVariablesOnly) {
    ScopedEnv dir("CVT_DIR", "/var/data");
    ScopedEnv undefined("CVT_UNDEFINED", std::nullopt);
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"%CVT_DIR%/a.db", "/var/data/a.db"},
        {"x%CVT_DIR%y%CVT_DIR%", "x/var/datay/var/data"},
        {"%CVT_UNDEFINED%/a.db", "%CVT_UNDEFINED%/a.db"},
        {"100% sure", "100% sure"},
        {"%%", "%%"},
        {"%CVT_UNDEFINED%CVT_DIR%", "%CVT_UNDEFINED/var/data"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CvPath::ExpandEnvironment(c.in), c.out) << c.in;
    }
}

TEST(CvPath, ResolvesFileSettingsAgainstTheProgramFolder) {
    ScopedEnv dir("CVT_DIR", "/var/data");
    ScopedEnv undefined("CVT_UNDEFINED", std::nullopt);
    const std::string longName(300, 'n');
    struct Case {
        std::string value;
        std::string resolved;
    };
    const Case cases[] = {
        {"archive.db", "/opt/cv/archive.db"},
        {"sub/../archive.db", "/opt/cv/archive.db"},
        {"../shared/./archive.db", "/opt/shared/archive.db"},
        {"/srv//cv/./db/../archive.db", "/srv/cv/archive.db"},
        {"%CVT_DIR%/x/../archive.db", "/var/data/archive.db"},
        {"%CVT_UNDEFINED%/a.db", "/opt/cv/%CVT_UNDEFINED%/a.db"},
        // Too long to canonicalise: joined but otherwise as written.
        {"x/../" + longName, "/opt/cv/x/../" + longName},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CvPath::ResolveFileSetting(c.value, "/opt/cv"), c.resolved) << c.value;
    }
    EXPECT_EQ(CvPath::Normalize("/a/b/../c"), "/a/c");
    EXPECT_EQ(CvPath::Normalize("/a/../" + longName), "/a/../" + longName);
    // 259 characters is the longest accepted result.
    const std::string fits = "/" + std::string(258, 'f');
    EXPECT_EQ(CvPath::Canonicalize(fits), fits);
    EXPECT_EQ(CvPath::Canonicalize(fits + "g"), std::nullopt);
}

TEST(CvPath, FileExistsIsFalseForFolders) {
    TempDir dir;
    WriteFileText(dir.File("f"), "x");
    EXPECT_TRUE(CvPath::FileExists(dir.File("f")));
    EXPECT_FALSE(CvPath::FileExists(dir.Path()));
    EXPECT_FALSE(CvPath::FileExists(dir.File("missing")));
}

TEST(CvAppPaths, RegistryModeUsesThePerUserStorageFolder) {
    TempDir dir;
    const std::string data = dir.File("data");
    CvAppPaths paths(dir.File("prog"), data);
    EXPECT_FALSE(paths.IsIniMode());
    EXPECT_EQ(paths.IniPath(), dir.File("prog") + "/corvane.ini");
    EXPECT_EQ(paths.LanguageFolder(), dir.File("prog") + "/language/");
    EXPECT_EQ(paths.StorageFolder(), data + "/Corvane Messenger/3.x");

    paths.CreateStorageFolders();
    EXPECT_TRUE(std::filesystem::is_directory(data + "/Corvane Messenger/3.x"));

    CvAppPropertyList settings;
    EXPECT_EQ(paths.MessageArchiveFile(settings), data + "/Corvane Messenger/3.x/messages");
    EXPECT_EQ(paths.ContactListFile(settings), data + "/Corvane Messenger/3.x/contacts");
    settings.Set(CvSettingId::kMsgArcDatabaseFile, CvPropertyValue::Text("/srv/m.db"));
    EXPECT_EQ(paths.MessageArchiveFile(settings), data + "/Corvane Messenger/3.x/messages")
        << "the file setting counts only when its Use setting is set";
    settings.Set(CvSettingId::kMsgArcUseDatabaseFile, CvPropertyValue::Integer(1));
    settings.Set(CvSettingId::kContactListUseDatabaseFile, CvPropertyValue::Integer(1));
    settings.Set(CvSettingId::kContactListDatabaseFile, CvPropertyValue::Text("/srv/c.db"));
    EXPECT_EQ(paths.MessageArchiveFile(settings), "/srv/m.db");
    EXPECT_EQ(paths.ContactListFile(settings), "/srv/c.db");
}

TEST(CvAppPaths, LanguageFolderBesideTheProgramOrUnderItsPrefix) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("usr/bin"));
    std::filesystem::create_directories(dir.File("usr/share/corvane-messenger/language"));
    EXPECT_EQ(CvAppPaths(dir.File("usr/bin"), "").LanguageFolder(),
              dir.File("usr/share/corvane-messenger/language/"));
    std::filesystem::create_directories(dir.File("usr/bin/language"));
    EXPECT_EQ(CvAppPaths(dir.File("usr/bin"), "").LanguageFolder(), dir.File("usr/bin/language/"))
        << "a build tree or portable copy keeps its own beside the program";
    EXPECT_EQ(CvAppPaths(dir.File("usr/bin"), "").AutostartCommand(),
              "\"" + dir.File("usr/bin") + "/corvane-messenger\"");
}

TEST(CvAppPaths, IniBesideTheProgramSelectsIniModeWithoutFolders) {
    TempDir dir;
    WriteFileText(dir.File("prog/corvane.ini"), "[Options]\n");
    CvAppPaths paths(dir.File("prog"), dir.File("data"));
    EXPECT_TRUE(paths.IsIniMode());
    EXPECT_EQ(paths.StorageFolder(), "");
    paths.CreateStorageFolders();
    EXPECT_FALSE(std::filesystem::exists(dir.File("data")));
    CvAppPropertyList settings;
    EXPECT_EQ(paths.MessageArchiveFile(settings), "messages");
    EXPECT_EQ(paths.ContactListFile(settings), "contacts");
}

TEST(CvAppPaths, DetectHonoursProgramFolderOverrideAndXdgDataHome) {
    ScopedEnv program("CORVANE_PROGRAM_DIR", "/opt/corvane/");
    ScopedEnv data("XDG_DATA_HOME", "/home/u/data");
    const CvAppPaths paths = CvAppPaths::Detect();
    EXPECT_EQ(paths.ProgramFolder(), "/opt/corvane");
    EXPECT_EQ(paths.AppDataFolder(), "/home/u/data");
    {
        ScopedEnv noProgram("CORVANE_PROGRAM_DIR", std::nullopt);
        ScopedEnv noData("XDG_DATA_HOME", std::nullopt);
        ScopedEnv home("HOME", "/home/u");
        const CvAppPaths detected = CvAppPaths::Detect();
        EXPECT_EQ(detected.AppDataFolder(), "/home/u/.local/share");
        // The test binary's own folder.
        EXPECT_TRUE(std::filesystem::is_directory(detected.ProgramFolder()))
            << detected.ProgramFolder();
        EXPECT_FALSE(detected.ProgramFolder().empty());
    }
}

}  // namespace
