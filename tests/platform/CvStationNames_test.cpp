#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/CvStationNames.h"
#include "support/TestEnv.h"

namespace {

TEST(CvStationNames, ComputerNameIsTheShortHostNameUpperCaseCutTo15) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"jsmith-pc", "JSMITH-PC"},
        {"jsmith-pc.example.org", "JSMITH-PC"},
        {"averyveryverylonghostname", "AVERYVERYVERYLO"},
        {"straße-büro-rechner.lan", "STRASSE-BÜRO-RE"},
        {"рабочая-станция-один", "РАБОЧАЯ-СТАНЦИЯ"},
        {".leadingdot", ""},
        {"", ""},
    };
    for (const auto& [host, name] : cases) {
        EXPECT_EQ(CvStationNames::ComputerNameFromHost(host), name) << host;
    }
}

TEST(CvStationNames, OverridesWinAndAreUpperCased) {
    ScopedEnv computer("CORVANE_COMPUTER_NAME", "office-pc-number-seventeen");
    ScopedEnv user("CORVANE_USER_NAME", "jörg");
    ScopedEnv workgroup("CORVANE_WORKGROUP", "sales");
    EXPECT_EQ(CvStationNames::ComputerName(), "OFFICE-PC-NUMBE");
    EXPECT_EQ(CvStationNames::UserName(), "JÖRG");
    EXPECT_EQ(CvStationNames::Workgroup(), "SALES");
}

TEST(CvStationNames, WithoutOverridesNamesComeFromTheSystem) {
    ScopedEnv computer("CORVANE_COMPUTER_NAME", std::nullopt);
    ScopedEnv user("CORVANE_USER_NAME", "");
    ScopedEnv workgroup("CORVANE_WORKGROUP", std::nullopt);
    TempDir dir;
    ScopedEnv conf("CORVANE_SMB_CONF", dir.File("missing.conf"));

    const std::string computerName = CvStationNames::ComputerName();
    EXPECT_FALSE(computerName.empty());
    EXPECT_EQ(computerName.find('.'), std::string::npos);
    EXPECT_LE(computerName.size(), 15u * 4);
    const std::string userName = CvStationNames::UserName();
    EXPECT_FALSE(userName.empty());
    EXPECT_EQ(userName.find_first_of("abcdefghijklmnopqrstuvwxyz"), std::string::npos);
    EXPECT_EQ(CvStationNames::Workgroup(), "WORKGROUP");

    WriteFileText(dir.File("smb.conf"), "[global]\n   workgroup = finance\n");
    ScopedEnv present("CORVANE_SMB_CONF", dir.File("smb.conf"));
    EXPECT_EQ(CvStationNames::Workgroup(), "FINANCE");
}

TEST(CvStationNames, ReadsTheWorkgroupFromSmbConf) {
    struct Case {
        const char* what;
        std::string text;
        std::optional<std::string> workgroup;
    };
    const std::vector<Case> cases = {
        {"plain", "[global]\nworkgroup = sales\n", "SALES"},
        {"spaces and tabs", "[global]\n\t  workgroup\t=   Home Office  \n", "HOME OFFICE"},
        {"key case and blanks", "[Global]\nWork Group=lab\n", "LAB"},
        {"crlf lines", "[global]\r\nworkgroup = lab\r\n", "LAB"},
        {"commented out", "[global]\n; workgroup = old\n# workgroup = older\n", std::nullopt},
        {"other section", "[homes]\nworkgroup = wrong\n[global]\nserver string = x\n",
         std::nullopt},
        {"global after another", "[printers]\nworkgroup = wrong\n[global]\nworkgroup = right\n",
         "RIGHT"},
        {"section after global", "[global]\nworkgroup = right\n[data]\nworkgroup = wrong\n",
         "RIGHT"},
        {"before any section", "workgroup = early\n[data]\npath = /srv\n", "EARLY"},
        {"last one wins", "[global]\nworkgroup = first\nworkgroup = second\n", "SECOND"},
        {"empty value", "[global]\nworkgroup =\n", std::nullopt},
        {"continued line", "[global]\nworkgroup = \\\n  team\n", "TEAM"},
        {"similar key", "[global]\nworkgroups = no\nnetbios name = pc\n", std::nullopt},
        {"long name cut", "[global]\nworkgroup = engineering-department\n", "ENGINEERING-DEP"},
        {"no newline at end", "[global]\nworkgroup = tail", "TAIL"},
        {"empty file", "", std::nullopt},
    };
    TempDir dir;
    for (const Case& c : cases) {
        WriteFileText(dir.File("smb.conf"), c.text);
        EXPECT_EQ(CvStationNames::WorkgroupFromSmbConf(dir.File("smb.conf")), c.workgroup)
            << c.what;
    }
    EXPECT_EQ(CvStationNames::WorkgroupFromSmbConf(dir.File("absent.conf")), std::nullopt);
}

}  // namespace
