#include "platform/CvRegistryHive.h"

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/CvRegFile.h"
#include "support/TestEnv.h"

namespace {

const std::string kOptions = "Software\\Corvane Software\\Corvane Messenger\\Options";
const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class CvRegistryHiveTest : public ::testing::Test {
protected:
    TempDir m_dir;
    ScopedEnv m_user{"CORVANE_USER_REGISTRY", m_dir.File("user.reg")};
    ScopedEnv m_machine{"CORVANE_MACHINE_REGISTRY", m_dir.File("etc/machine.reg")};
    ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir.File("config")};
    ScopedEnv m_autostart{"CORVANE_MACHINE_AUTOSTART_DIR", m_dir.File("xdg-autostart")};
};

// Waits for a forked child and tells whether it ended with exit code 0.
bool ChildSucceeded(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(CvRegistryHiveTest, FileLocations) {
    EXPECT_EQ(CvRegistryHive(CvHive::CurrentUser).FilePath(), m_dir.File("user.reg"));
    EXPECT_EQ(CvRegistryHive(CvHive::LocalMachine).FilePath(), m_dir.File("etc/machine.reg"));
    EXPECT_EQ(CvRegistryHive(CvHive::CurrentUser).AutostartFolder(),
              m_dir.File("config/autostart"));
    EXPECT_EQ(CvRegistryHive(CvHive::LocalMachine).AutostartFolder(), m_dir.File("xdg-autostart"));

    ScopedEnv noUser("CORVANE_USER_REGISTRY", std::nullopt);
    ScopedEnv noMachine("CORVANE_MACHINE_REGISTRY", std::nullopt);
    ScopedEnv noAutostart("CORVANE_MACHINE_AUTOSTART_DIR", std::nullopt);
    EXPECT_EQ(CvRegistryHive(CvHive::CurrentUser).FilePath(),
              m_dir.File("config/corvane/user.reg"));
    EXPECT_EQ(CvRegistryHive(CvHive::LocalMachine).FilePath(), "/etc/corvane/machine.reg");
    EXPECT_EQ(CvRegistryHive(CvHive::LocalMachine).AutostartFolder(), "/etc/xdg/autostart");
    ScopedEnv noConfig("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv home("HOME", m_dir.File("home"));
    EXPECT_EQ(CvRegistryHive(CvHive::CurrentUser).FilePath(),
              m_dir.File("home/.config/corvane/user.reg"));
}

TEST_F(CvRegistryHiveTest, WritesReadsAndDeletesInTheFile) {
    CvRegistryHive hive(CvHive::LocalMachine);
    EXPECT_FALSE(hive.KeyExists(kOptions));
    EXPECT_TRUE(hive.CanWrite());
    ASSERT_TRUE(hive.WriteValue(kOptions, "PopupMsgWndFontMsgText",
                                CvRegValue::String("name=Arial, size=10")));
    ASSERT_TRUE(hive.WriteValue(kOptions, "NetMsgSendTimeout", CvRegValue::Dword(3500)));
    EXPECT_TRUE(hive.KeyExists(kOptions));
    EXPECT_EQ(hive.ReadValue(kOptions, "netmsgsendtimeout"), CvRegValue::Dword(3500));
    EXPECT_EQ(ReadFileText(hive.FilePath()),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Corvane Software\\Corvane Messenger\\Options]\n"
              "\"PopupMsgWndFontMsgText\"=\"name=Arial, size=10\"\n"
              "\"NetMsgSendTimeout\"=dword:00000dac\n");

    EXPECT_TRUE(hive.DeleteValue(kOptions, "NetMsgSendTimeout"));
    EXPECT_FALSE(hive.DeleteValue(kOptions, "NetMsgSendTimeout"));
    EXPECT_FALSE(hive.ReadValue(kOptions, "NetMsgSendTimeout"));

    EXPECT_TRUE(hive.CreateKey("Software\\Corvane Software\\Corvane Messenger\\Windows\\sendmsg"));
    EXPECT_TRUE(hive.KeyExists("Software\\Corvane Software\\Corvane Messenger\\Windows"));
    // The user hive is a file of its own.
    EXPECT_FALSE(CvRegistryHive(CvHive::CurrentUser).KeyExists(kOptions));
}

TEST_F(CvRegistryHiveTest, MissingOrUnreadableFileReadsAsEmpty) {
    CvRegistryHive hive(CvHive::CurrentUser);
    EXPECT_FALSE(hive.ReadValue(kOptions, "X"));
    EXPECT_FALSE(hive.KeyExists(kOptions));
    EXPECT_FALSE(hive.DeleteValue(kOptions, "X"));
    EXPECT_FALSE(std::filesystem::exists(hive.FilePath()));

    // A folder where the file should be cannot be read (even by root).
    std::filesystem::create_directories(hive.FilePath());
    EXPECT_FALSE(hive.ReadValue(kOptions, "X"));
    EXPECT_FALSE(hive.KeyExists(kOptions));
    EXPECT_FALSE(hive.WriteValue(kOptions, "X", CvRegValue::Dword(1)));
}

TEST_F(CvRegistryHiveTest, StoreThatCannotBeWrittenRefusesWrites) {
    WriteFileText(m_dir.File("plainfile"), "not a folder");
    ScopedEnv machine("CORVANE_MACHINE_REGISTRY", m_dir.File("plainfile/machine.reg"));
    ScopedEnv autostart("CORVANE_MACHINE_AUTOSTART_DIR", m_dir.File("plainfile/autostart"));
    CvRegistryHive hive(CvHive::LocalMachine);
    EXPECT_FALSE(hive.CanWrite());
    EXPECT_FALSE(hive.CanWriteKey(kRun));
    EXPECT_FALSE(hive.CreateKey(kOptions));
    EXPECT_FALSE(hive.CreateKey(kRun));
    EXPECT_FALSE(hive.WriteValue(kOptions, "X", CvRegValue::Dword(1)));
    EXPECT_FALSE(hive.WriteValue(kRun, "Corvane Messenger", CvRegValue::String("x")));
}

TEST_F(CvRegistryHiveTest, RunKeyIsServedFromAutostartEntries) {
    CvRegistryHive user(CvHive::CurrentUser);
    CvRegistryHive machine(CvHive::LocalMachine);
    const std::string value = "\"/opt/corvane/bin/corvane messenger\"";
    EXPECT_TRUE(user.KeyExists(kRun));
    EXPECT_TRUE(user.KeyExists("Software\\Microsoft"));
    EXPECT_TRUE(user.CanWriteKey(kRun));
    EXPECT_TRUE(user.CreateKey(kRun));
    EXPECT_FALSE(user.ReadValue(kRun, "Corvane Messenger"));

    ASSERT_TRUE(user.WriteValue("\\" + kRun, "Corvane Messenger", CvRegValue::String(value)));
    const std::string entry = m_dir.File("config/autostart/Corvane Messenger.desktop");
    EXPECT_EQ(ReadFileText(entry),
              "[Desktop Entry]\nType=Application\nName=Corvane Messenger\nExec=" + value + "\n");
    EXPECT_EQ(
        user.ReadValue("software\\microsoft\\windows\\currentversion\\run", "corvane messenger"),
        CvRegValue::String(value));
    EXPECT_FALSE(machine.ReadValue(kRun, "Corvane Messenger"));
    EXPECT_FALSE(std::filesystem::exists(user.FilePath()));
    EXPECT_FALSE(user.WriteValue(kRun, "Corvane Messenger", CvRegValue::Dword(1)));

    ASSERT_TRUE(machine.WriteValue(kRun, "Corvane Messenger", CvRegValue::String(value)));
    EXPECT_TRUE(std::filesystem::exists(m_dir.File("xdg-autostart/Corvane Messenger.desktop")));

    EXPECT_TRUE(user.DeleteValue(kRun, "CORVANE MESSENGER"));
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_FALSE(user.DeleteValue(kRun, "Corvane Messenger"));
    EXPECT_TRUE(machine.ReadValue(kRun, "Corvane Messenger"));
}

TEST_F(CvRegistryHiveTest, RunValuesRoundTripThroughExecEscapes) {
    CvRegistryHive user(CvHive::CurrentUser);
    const std::vector<std::string> values = {
        "\"/usr/bin/corvane\"",
        "C:\\Program Files\\x.exe %1 100%",
        "  leading and trailing  ",
        "tab\there\nnewline \xC3\xA9",
        "",
    };
    for (const std::string& value : values) {
        ASSERT_TRUE(user.WriteValue(kRun, "Entry/With Slash", CvRegValue::String(value)));
        EXPECT_EQ(user.ReadValue(kRun, "entry/with slash"), CvRegValue::String(value)) << value;
    }
    EXPECT_TRUE(std::filesystem::exists(m_dir.File("config/autostart/Entry%2FWith Slash.desktop")));
}

TEST_F(CvRegistryHiveTest, HandWrittenAutostartEntries) {
    WriteFileText(m_dir.File("config/autostart/tool.desktop"),
                  "# written by another program\n"
                  "[Desktop Entry]\n"
                  "Name=Tool\n"
                  "Exec = /usr/bin/tool --flag %U \\\\x\n"
                  "[Desktop Action extra]\n"
                  "Exec=/usr/bin/other\n");
    WriteFileText(m_dir.File("config/autostart/disabled.desktop"),
                  "[Desktop Entry]\nExec=/usr/bin/disabled\nHidden=true\n");
    CvRegistryHive user(CvHive::CurrentUser);
    EXPECT_EQ(user.ReadValue(kRun, "TOOL"), CvRegValue::String("/usr/bin/tool --flag %U \\x"));
    EXPECT_FALSE(user.ReadValue(kRun, "disabled"));
    EXPECT_FALSE(user.DeleteValue(kRun, "disabled"));
    ASSERT_TRUE(user.WriteValue(kRun, "Disabled", CvRegValue::String("on")));
    EXPECT_EQ(user.ReadValue(kRun, "disabled"), CvRegValue::String("on"));
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("config/autostart/Disabled.desktop")));
}

TEST_F(CvRegistryHiveTest, ConcurrentWritersFromTwoProcessesKeepAllValues) {
    constexpr int kWrites = 250;
    const auto writeAll = [](const std::string& prefix) {
        CvRegistryHive hive(CvHive::CurrentUser);
        bool ok = true;
        for (int i = 0; i < kWrites; ++i) {
            ok = hive.WriteValue(kOptions, prefix + std::to_string(i),
                                 CvRegValue::Dword(static_cast<uint32_t>(i))) &&
                 ok;
        }
        return ok;
    };
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        _exit(writeAll("child") ? 0 : 1);
    }
    const bool parentOk = writeAll("parent");
    ASSERT_TRUE(ChildSucceeded(child));
    ASSERT_TRUE(parentOk);

    const CvRegFile file = CvRegFile::Parse(
        ReadFileText(CvRegistryHive(CvHive::CurrentUser).FilePath()), CvHive::CurrentUser);
    for (int i = 0; i < kWrites; ++i) {
        EXPECT_EQ(file.ReadValue(kOptions, "child" + std::to_string(i)),
                  CvRegValue::Dword(static_cast<uint32_t>(i)));
        EXPECT_EQ(file.ReadValue(kOptions, "parent" + std::to_string(i)),
                  CvRegValue::Dword(static_cast<uint32_t>(i)));
    }
}

TEST_F(CvRegistryHiveTest, KilledWriterNeverLeavesABrokenFile) {
    CvRegistryHive hive(CvHive::CurrentUser);
    constexpr int kSteady = 40;
    for (int i = 0; i < kSteady; ++i) {
        ASSERT_TRUE(hive.WriteValue(kOptions, "Steady" + std::to_string(i),
                                    CvRegValue::String("value " + std::to_string(i))));
    }
    const std::string big(50000, 'a');
    ASSERT_TRUE(hive.WriteValue(kOptions, "Big", CvRegValue::String(big)));

    // Every look at the file, by a reader during the writes or after a kill,
    // must find it complete, holding the old or the new value.
    const auto checkFile = [&](const std::string& when) {
        const CvRegFile file = CvRegFile::Parse(ReadFileText(hive.FilePath()), CvHive::CurrentUser);
        EXPECT_EQ(file.MalformedLines(), 0u) << when;
        for (int i = 0; i < kSteady; ++i) {
            EXPECT_EQ(file.ReadValue(kOptions, "Steady" + std::to_string(i)),
                      CvRegValue::String("value " + std::to_string(i)))
                << when;
        }
        const auto value = file.ReadValue(kOptions, "Big");
        ASSERT_TRUE(value) << when;
        ASSERT_EQ(value->text.size(), big.size()) << when;
        EXPECT_EQ(value->text, std::string(big.size(), value->text[0])) << when;
    };

    std::mt19937 random(12345);
    for (int round = 0; round < 6; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            CvRegistryHive writer(CvHive::CurrentUser);
            for (uint32_t n = 0;; ++n) {
                writer.WriteValue(kOptions, "Big",
                                  CvRegValue::String(std::string(50000, char('a' + n % 26))));
                writer.WriteValue(kOptions, "Counter", CvRegValue::Dword(n));
            }
        }
        // Let the writer get going (it counts its rounds), then kill it at a
        // random moment.
        const uint32_t startCount =
            hive.ReadValue(kOptions, "Counter").value_or(CvRegValue()).dword;
        EXPECT_TRUE(WaitUntil(
            [&] {
                checkFile("while writing, round " + std::to_string(round));
                const auto counter = hive.ReadValue(kOptions, "Counter");
                return HasFailure() || (counter && counter->dword >= startCount + 2);
            },
            std::chrono::seconds(30)));
        const auto killAt =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(random() % 50);
        while (std::chrono::steady_clock::now() < killAt && !HasFailure()) {
            checkFile("while writing, round " + std::to_string(round));
        }
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));
        checkFile("after kill, round " + std::to_string(round));
        ASSERT_FALSE(HasFailure());
    }
    // The next write clears the temporary files the killed writers left.
    ASSERT_TRUE(hive.WriteValue(kOptions, "After", CvRegValue::Dword(1)));
    size_t files = 0;
    for (const auto& item : std::filesystem::directory_iterator(m_dir.Path())) {
        files += item.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(files, 1u);
}

}  // namespace
