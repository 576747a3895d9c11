#include "platform/CvElevatedWriter.h"

#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/CvElevatedProtocol.h"
#include "platform/CvRegistryHive.h"
#include "support/TestEnv.h"

extern char** environ;

namespace {

const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kOptions = "Software\\Corvane Software\\Corvane Messenger\\Options";

// The helper is built beside the test folder of the build tree.
std::string HelperBinary() {
    return std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() /
           "corvane-elevated-writer";
}

class CvElevatedWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(HelperBinary()))
            << "build the corvane-elevated-writer target first";
    }

    // Runs the helper on `input` and returns its output.
    std::string RunHelper(const std::string& input) {
        const std::string in = m_dir.File("in.txt");
        const std::string out = m_dir.File("out.txt");
        WriteFileText(in, input);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        const std::string helper = HelperBinary();
        std::vector<char*> argv{const_cast<char*>(helper.c_str()), nullptr};
        pid_t pid = -1;
        const int rc = posix_spawn(&pid, helper.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(rc, 0);
        int status = 0;
        EXPECT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        return ReadFileText(out);
    }

    std::string WriteScript(const std::string& name, const std::string& body) {
        const std::string path = m_dir.File(name);
        WriteFileText(path, "#!/bin/sh\n" + body + "\n");
        chmod(path.c_str(), 0755);
        return path;
    }

    TempDir m_dir;
    ScopedEnv m_machine{"CORVANE_MACHINE_REGISTRY", m_dir.File("machine.reg")};
    ScopedEnv m_autostart{"CORVANE_MACHINE_AUTOSTART_DIR", m_dir.File("autostart")};
    ScopedEnv m_helper{"CORVANE_ELEVATED_WRITER", HelperBinary()};
};

TEST_F(CvElevatedWriterTest, HelperCarriesOutRequests) {
    using CvElevatedProtocol::FormatLine;
    const std::string input =
        FormatLine({"set-string", kOptions, "Text", "back\\slash\ttab\nline \xC3\xA9"}) + "\n" +
        FormatLine({"set-dword", kOptions, "Number", "4294967295"}) + "\n" +
        FormatLine({"set-string", kRun, "Corvane Messenger", "\"/usr/bin/corvane\""}) + "\r\n" +
        FormatLine({"delete-value", kOptions, "Number"}) + "\n" +
        FormatLine({"delete-value", kOptions, "Number"}) + "\n" + std::string(20000, 'x') + "\n" +
        "quit\n" + FormatLine({"set-dword", kOptions, "AfterQuit", "1"}) + "\n";
    EXPECT_EQ(RunHelper(input), std::string(CvElevatedProtocol::kGreeting) +
                                    "\nok\nok\nok\nok\nerror not found\nerror line too long\n");

    CvRegistryHive machine(CvHive::LocalMachine);
    EXPECT_EQ(machine.ReadValue(kOptions, "Text"),
              CvRegValue::String("back\\slash\ttab\nline \xC3\xA9"));
    EXPECT_FALSE(machine.ReadValue(kOptions, "Number"));
    EXPECT_FALSE(machine.ReadValue(kOptions, "AfterQuit"));
    EXPECT_EQ(machine.ReadValue(kRun, "Corvane Messenger"),
              CvRegValue::String("\"/usr/bin/corvane\""));
}

TEST_F(CvElevatedWriterTest, HelperRefusesBadRequests) {
    using CvElevatedProtocol::FormatLine;
    struct Case {
        std::string line;
        const char* reply;
    };
    const auto request = [](std::string keyPath, std::string name, std::string value) {
        return FormatLine({"set-string", std::move(keyPath), std::move(name), std::move(value)});
    };
    const auto dword = [](std::string value) {
        return FormatLine({"set-dword", "Software\\A", "X", std::move(value)});
    };
    const std::vector<Case> cases = {
        {request("Software\\..\\..\\etc", "X", "v"), "error bad key path"},
        {request("Software\\.\\A", "X", "v"), "error bad key path"},
        {request("Software\\\\A", "X", "v"), "error bad key path"},
        {request("\\Software\\A", "X", "v"), "error bad key path"},
        {request("Software\\A\\", "X", "v"), "error bad key path"},
        {request("System\\A", "X", "v"), "error bad key path"},
        {request("Software/../etc", "X", "v"), "error bad key path"},
        {request("Software\\A\x01", "X", "v"), "error bad key path"},
        {request("Software\\A\nB", "X", "v"), "error bad key path"},
        {request("Software\\\xC0\xAF", "X", "v"), "error bad key path"},  // overlong UTF-8
        {request("Software\\" + std::string(300, 'k'), "X", "v"), "error bad key path"},
        {request("Software\\A", "", "v"), "error bad value name"},
        {request("Software\\A", "..", "v"), "error bad value name"},
        {request(kRun, "../../etc/profile", "v"), "error bad value name"},
        {request("Software\\A", "X\n", "v"), "error bad value name"},
        {request("Software\\A", "X", "a\x7f"), "error bad value"},
        {request("Software\\A", "X", "\xFF"), "error bad value"},
        {dword("4294967296"), "error bad value"},
        {dword("-1"), "error bad value"},
        {dword("0x10"), "error bad value"},
        {dword(""), "error bad value"},
        {"set-string\tSoftware\tX", "error malformed"},
        {"delete-value\tSoftware\tX\textra", "error malformed"},
        {"set-string\tSoftware\\A\tX\tv", "error malformed"},  // unknown escape \A
        {"set-string\tSoftware\tX\ttrailing\\", "error malformed"},
        {"format-disk", "error unknown command"},
        {"", "error unknown command"},
    };
    std::string input;
    std::string expected = std::string(CvElevatedProtocol::kGreeting) + "\n";
    for (const Case& c : cases) {
        input += c.line + "\n";
        expected += std::string(c.reply) + "\n";
    }
    EXPECT_EQ(RunHelper(input), expected);
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("machine.reg")));
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("autostart")));
}

TEST_F(CvElevatedWriterTest, ObtainedThroughPkexecWritesTheMachineHive) {
    ScopedEnv pkexec("CORVANE_PKEXEC", WriteScript("fake-pkexec", "exec \"$@\""));
    auto writer = ObtainElevatedWriter();
    ASSERT_TRUE(writer);
    EXPECT_TRUE(writer->SetStringValue(kRun, "Corvane Messenger", "\"/usr/bin/corvane\""));
    EXPECT_TRUE(writer->SetDwordValue(kOptions, "NetMsgSendTimeout", 3500));
    EXPECT_TRUE(writer->SetStringValue(kOptions, "Multi", "a\tb\nc\\d"));
    EXPECT_TRUE(writer->DeleteValue(kOptions, "NetMsgSendTimeout"));
    EXPECT_FALSE(writer->DeleteValue(kOptions, "NetMsgSendTimeout"));
    EXPECT_FALSE(writer->SetStringValue("Software\\..\\x", "A", "b"));
    EXPECT_TRUE(writer->SetStringValue(kOptions, "StillWorking", "yes"));
    writer.reset();

    CvRegistryHive machine(CvHive::LocalMachine);
    EXPECT_EQ(machine.ReadValue(kRun, "Corvane Messenger"),
              CvRegValue::String("\"/usr/bin/corvane\""));
    EXPECT_EQ(machine.ReadValue(kOptions, "Multi"), CvRegValue::String("a\tb\nc\\d"));
    EXPECT_FALSE(machine.ReadValue(kOptions, "NetMsgSendTimeout"));
    EXPECT_EQ(machine.ReadValue(kOptions, "StillWorking"), CvRegValue::String("yes"));
}

TEST_F(CvElevatedWriterTest, NotObtainedWithoutPkexecOrConsent) {
    {
        ScopedEnv pkexec("CORVANE_PKEXEC", std::nullopt);
        ScopedEnv path("PATH", m_dir.File("empty-bin"));
        EXPECT_FALSE(ObtainElevatedWriter());
    }
    {
        // pkexec's exit code when the user dismisses the dialog.
        ScopedEnv pkexec("CORVANE_PKEXEC", WriteScript("declining-pkexec", "exit 126"));
        EXPECT_FALSE(ObtainElevatedWriter());
    }
    {
        ScopedEnv pkexec("CORVANE_PKEXEC", WriteScript("fake-pkexec", "exec \"$@\""));
        ScopedEnv helper("CORVANE_ELEVATED_WRITER", m_dir.File("no-such-helper"));
        EXPECT_FALSE(ObtainElevatedWriter());
    }
    {
        // Something that is not the helper answers.
        ScopedEnv pkexec("CORVANE_PKEXEC", WriteScript("chatty-pkexec", "echo hello; cat"));
        EXPECT_FALSE(ObtainElevatedWriter());
    }
}

}  // namespace
