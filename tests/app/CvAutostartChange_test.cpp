// Moving the autostart entry between the three states, on temporary autostart
// folders: directly where the folders are writable, and through the elevated
// writer with a stand-in pkexec that refuses or accepts.
#include "app/CvAutostartChange.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/CvAppPaths.h"
#include "app/CvAppSettingsStore.h"
#include "platform/CvAutostartEntries.h"
#include "support/TestEnv.h"

namespace {

const std::string kName = "Corvane Messenger";
const std::string kOldCommand = "\"/opt/old/corvane-messenger\"";

// The helper is built at the top of the build tree.
std::string HelperBinary() {
    return std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() /
           "corvane-elevated-writer";
}

struct Entries {
    std::optional<std::string> user;
    std::optional<std::string> machine;
    bool operator==(const Entries&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Entries& e) {
    return out << "user " << e.user.value_or("(none)") << ", machine "
               << e.machine.value_or("(none)");
}

class CvAutostartChangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(HelperBinary()))
            << "build the corvane-elevated-writer target first";
        WriteFileText(m_dir.File("plainfile"), "not a folder");
    }

    std::string UserFolder() const { return m_dir.File("config/autostart"); }
    std::string MachineFolder() const { return m_dir.File("machine-autostart"); }
    std::string Command() const {
        return CvAppPaths(m_dir.File("prog"), m_dir.File("data")).AutostartCommand();
    }

    // The entries of `state`, written with the old command.
    void Put(int32_t state) {
        if (state == CvAutostartChange::kCurrentUser) {
            ASSERT_TRUE(CvAutostartEntries(UserFolder()).Write(kName, kOldCommand));
        } else if (state == CvAutostartChange::kAllUsers) {
            ASSERT_TRUE(CvAutostartEntries(MachineFolder()).Write(kName, kOldCommand));
        }
    }

    Entries Read() const {
        return {CvAutostartEntries(UserFolder()).Read(kName),
                CvAutostartEntries(MachineFolder()).Read(kName)};
    }

    // What the entries of `state` look like after a change to it.
    Entries Expected(int32_t state, const std::string& command) const {
        Entries e;
        if (state == CvAutostartChange::kCurrentUser) {
            e.user = command;
        } else if (state == CvAutostartChange::kAllUsers) {
            e.machine = command;
        }
        return e;
    }

    // The program may no longer write the machine's folder; pkexec, when it
    // accepts, lets the writer write it.
    void NeedElevation(bool accept) {
        m_machineDir.emplace("CORVANE_MACHINE_AUTOSTART_DIR", m_dir.File("plainfile/autostart"));
        m_pkexec.emplace("CORVANE_PKEXEC",
                         Script("pkexec", accept ? "CORVANE_MACHINE_AUTOSTART_DIR='" +
                                                       MachineFolder() + "' exec \"$@\""
                                                 : "exit 126"));
    }

    bool Asked() const { return std::filesystem::exists(m_dir.File("asked")); }

    // A stand-in pkexec that leaves a mark when it is run.
    std::string Script(const std::string& name, const std::string& body) {
        const std::string path = m_dir.File(name);
        WriteFileText(path, "#!/bin/sh\ntouch '" + m_dir.File("asked") + "'\n" + body + "\n");
        chmod(path.c_str(), 0755);
        return path;
    }

    TempDir m_dir;
    ScopedEnv m_user{"CORVANE_USER_REGISTRY", m_dir.File("user.reg")};
    ScopedEnv m_machine{"CORVANE_MACHINE_REGISTRY", m_dir.File("machine.reg")};
    ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir.File("config")};
    ScopedEnv m_helper{"CORVANE_ELEVATED_WRITER", HelperBinary()};
    std::optional<ScopedEnv> m_machineDir{std::in_place, "CORVANE_MACHINE_AUTOSTART_DIR",
                                          MachineFolder()};
    // No test may reach the real pkexec.
    std::optional<ScopedEnv> m_pkexec{std::in_place, "CORVANE_PKEXEC",
                                      Script("refusing-pkexec", "exit 126")};
};

TEST_F(CvAutostartChangeTest, EveryTransitionWhereBothFoldersAreWritable) {
    for (int32_t from = 0; from <= 2; ++from) {
        for (int32_t to = 0; to <= 2; ++to) {
            std::filesystem::remove_all(UserFolder());
            std::filesystem::remove_all(MachineFolder());
            Put(from);
            const bool changed = CvAutostartChange(Command()).Apply(from, to);
            const std::string what = std::to_string(from) + " -> " + std::to_string(to);
            EXPECT_EQ(changed, from != to) << what;
            // The same state writes nothing: the old command stays.
            EXPECT_EQ(Read(), Expected(to, from == to ? kOldCommand : Command())) << what;
            EXPECT_EQ(CvAppSettingsStore::ReadAutostartState(), to) << what;
        }
    }
    EXPECT_FALSE(Asked());
}

// Entries on both sides read as "all users"; disabling removes both, or the
// user's entry would still start the program.
TEST_F(CvAutostartChangeTest, DisablingRemovesBothEntries) {
    Put(1);
    Put(2);
    ASSERT_EQ(CvAppSettingsStore::ReadAutostartState(), 2);
    ASSERT_TRUE(CvAutostartChange(Command()).Apply(2, 0));
    EXPECT_EQ(Read(), Expected(0, Command()));
    EXPECT_EQ(CvAppSettingsStore::ReadAutostartState(), 0);
}

TEST_F(CvAutostartChangeTest, UserEntryStartsTheDesktopProgram) {
    ASSERT_TRUE(CvAutostartChange(Command()).Apply(0, 1));
    const std::string entry = ReadFileText(UserFolder() + "/Corvane Messenger.desktop");
    EXPECT_NE(entry.find("\nExec=\"" + m_dir.File("prog") + "/corvane-messenger\"\n"),
              std::string::npos)
        << entry;
}

TEST_F(CvAutostartChangeTest, StatesOutOfRangeChangeNothing) {
    Put(1);
    EXPECT_FALSE(CvAutostartChange(Command()).Apply(1, 3));
    EXPECT_FALSE(CvAutostartChange(Command()).Apply(1, -1));
    EXPECT_EQ(Read(), Expected(1, kOldCommand));
}

TEST_F(CvAutostartChangeTest, MachineEntryThroughTheElevatedWriter) {
    struct Case {
        int32_t from;
        int32_t to;
        bool accept;
    };
    const std::vector<Case> cases = {
        {0, 2, false}, {0, 2, true}, {1, 2, false}, {1, 2, true},
        {2, 1, false}, {2, 1, true}, {2, 0, false}, {2, 0, true},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(UserFolder());
        std::filesystem::remove_all(MachineFolder());
        std::filesystem::remove(m_dir.File("asked"));
        Put(c.from);
        NeedElevation(c.accept);
        const std::string what = std::to_string(c.from) + " -> " + std::to_string(c.to) +
                                 (c.accept ? " accepted" : " refused");
        EXPECT_EQ(CvAutostartChange(Command()).Apply(c.from, c.to), c.accept) << what;
        EXPECT_TRUE(Asked()) << what;
        // Refused: nothing written or deleted on either side.
        EXPECT_EQ(Read(), c.accept ? Expected(c.to, Command()) : Expected(c.from, kOldCommand))
            << what;
    }
}

TEST_F(CvAutostartChangeTest, UserSideChangesNeedNoElevation) {
    NeedElevation(false);
    ASSERT_TRUE(CvAutostartChange(Command()).Apply(0, 1));
    EXPECT_EQ(Read(), Expected(1, Command()));
    ASSERT_TRUE(CvAutostartChange(Command()).Apply(1, 0));
    EXPECT_EQ(Read(), Expected(0, Command()));
    EXPECT_FALSE(Asked());
}

TEST_F(CvAutostartChangeTest, NewEntryThatCannotBeWrittenKeepsTheOldOne) {
    ScopedEnv config("XDG_CONFIG_HOME", m_dir.File("plainfile/config"));
    Put(2);
    EXPECT_FALSE(CvAutostartChange(Command()).Apply(2, 1));
    EXPECT_EQ(CvAutostartEntries(MachineFolder()).Read(kName), kOldCommand);
    EXPECT_EQ(CvAppSettingsStore::ReadAutostartState(), 2);
    EXPECT_FALSE(CvAutostartChange(Command()).Apply(0, 1));

    // Nobody is asked for a password for a change that cannot be made.
    NeedElevation(true);
    EXPECT_FALSE(CvAutostartChange(Command()).Apply(2, 1));
    EXPECT_FALSE(Asked());
    EXPECT_EQ(CvAutostartEntries(MachineFolder()).Read(kName), kOldCommand);
}

}  // namespace
