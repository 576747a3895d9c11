#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/CvElevatedRegistry.h"
#include "app/CvIniFile.h"
#include "app/CvRegistry.h"
#include "support/TestEnv.h"

namespace {

// Registry hives in a temporary folder.
class CvRegistryTest : public ::testing::Test {
protected:
    TempDir m_dir;
    ScopedEnv m_user{"CORVANE_USER_REGISTRY", m_dir.File("user.reg")};
    ScopedEnv m_machine{"CORVANE_MACHINE_REGISTRY", m_dir.File("machine.reg")};
};

TEST_F(CvRegistryTest, OpenKeyFollowsTheLeadingBackslashRule) {
    CvRegistry registry(CvHive::CurrentUser);
    EXPECT_FALSE(registry.WriteInt("x", 1)) << "no key open";
    EXPECT_FALSE(registry.OpenKey("\\Software\\Vendor", false, false)) << "missing, no create";
    ASSERT_TRUE(registry.OpenKey("\\Software\\Vendor", true, true));
    EXPECT_EQ(registry.OpenedKey(), "Software\\Vendor");
    ASSERT_TRUE(registry.OpenKey("App\\Options", true, true));
    EXPECT_EQ(registry.OpenedKey(), "Software\\Vendor\\App\\Options");
    EXPECT_FALSE(registry.OpenKey("Missing", false, false));
    EXPECT_EQ(registry.OpenedKey(), "Software\\Vendor\\App\\Options") << "kept after a failure";

    EXPECT_TRUE(registry.WriteString("Name", "text"));
    EXPECT_TRUE(registry.WriteInt("Number", -2));
    std::string text;
    int32_t number = 0;
    EXPECT_TRUE(registry.TryReadString("Name", text));
    EXPECT_EQ(text, "text");
    EXPECT_TRUE(registry.TryReadInt("Number", number));
    EXPECT_EQ(number, -2);
    EXPECT_FALSE(registry.TryReadInt("Name", number)) << "a text is no number";
    EXPECT_FALSE(registry.TryReadString("Number", text)) << "a number is no text";
    EXPECT_EQ(registry.ReadString("Missing"), "");
    EXPECT_EQ(registry.ReadInt("Missing"), 0);

    CvRegistry reader(CvHive::CurrentUser);
    ASSERT_TRUE(reader.OpenKey("\\Software\\Vendor\\App\\Options", false, false));
    EXPECT_EQ(reader.ReadInt("Number"), -2);
    EXPECT_FALSE(reader.WriteInt("Number", 3)) << "opened read-only";
    EXPECT_FALSE(reader.DeleteValue("Number"));
    EXPECT_TRUE(registry.DeleteValue("Number"));
    EXPECT_FALSE(registry.ValueExists("Number"));
    EXPECT_FALSE(registry.DeleteValue("Number"));
}

TEST(CvIniFile, MarkerCountsAsMissingAndLongTextsAreCut) {
    TempDir dir;
    const std::string path = dir.File("corvane.ini");
    WriteFileText(path, "[Options]\nMarked=[~!@#$%^&*()_+]\nEmpty=\nNum=12abc\nLong=" +
                            std::string(3000, 'x') + "\n");
    CvIniFile ini(path, "Options");
    EXPECT_FALSE(ini.ValueExists("Marked"));
    EXPECT_FALSE(ini.ValueExists("Missing"));
    EXPECT_TRUE(ini.ValueExists("Empty"));
    std::string text = "untouched";
    EXPECT_FALSE(ini.TryReadString("Marked", text));
    EXPECT_EQ(text, "untouched");
    EXPECT_EQ(ini.ReadString("Long").size(), 2047u);
    int32_t number = 0;
    EXPECT_TRUE(ini.TryReadInt("Num", number));
    EXPECT_EQ(number, 12);
    EXPECT_FALSE(ini.TryReadInt("Missing", number));
    EXPECT_EQ(ini.ReadInt("Missing"), 0);

    EXPECT_TRUE(ini.WriteInt("Written", -7));
    EXPECT_EQ(ini.ReadString("Written"), "-7");
    EXPECT_FALSE(ini.DeleteValue("Written"));
    EXPECT_TRUE(ini.ValueExists("Written"));
}

// Records the elevated writer's calls.
class FakeWriter : public CvElevatedWriter {
public:
    explicit FakeWriter(std::vector<std::string>& log) : m_log(log) {}
    bool SetStringValue(const std::string& key, const std::string& name,
                        const std::string& value) override {
        m_log.push_back("str " + key + "|" + name + "|" + value);
        return true;
    }
    bool SetDwordValue(const std::string& key, const std::string& name, uint32_t value) override {
        m_log.push_back("dword " + key + "|" + name + "|" + std::to_string(value));
        return true;
    }
    bool DeleteValue(const std::string& key, const std::string& name) override {
        m_log.push_back("del " + key + "|" + name);
        return false;
    }

private:
    std::vector<std::string>& m_log;
};

TEST(CvElevatedRegistry, WritesThroughTheWriterAndReadsNothing) {
    std::vector<std::string> log;
    CvElevatedRegistry storage("\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                               std::make_unique<FakeWriter>(log));
    EXPECT_TRUE(storage.WriteString("Corvane Messenger", "\"/usr/bin/corvane\""));
    EXPECT_TRUE(storage.WriteInt("N", -1));
    EXPECT_FALSE(storage.DeleteValue("Corvane Messenger"));
    const std::vector<std::string> expected{
        "str Software\\Microsoft\\Windows\\CurrentVersion\\Run|Corvane "
        "Messenger|\"/usr/bin/corvane\"",
        "dword Software\\Microsoft\\Windows\\CurrentVersion\\Run|N|4294967295",
        "del Software\\Microsoft\\Windows\\CurrentVersion\\Run|Corvane Messenger"};
    EXPECT_EQ(log, expected);

    std::string text = "old";
    int32_t number = 5;
    EXPECT_TRUE(storage.ValueExists("anything"));
    EXPECT_TRUE(storage.TryReadString("anything", text));
    EXPECT_EQ(text, "");
    EXPECT_TRUE(storage.TryReadInt("anything", number));
    EXPECT_EQ(number, 0);

    CvElevatedRegistry refused("Software\\X", nullptr);
    EXPECT_FALSE(refused.HasWriter());
    EXPECT_FALSE(refused.WriteString("a", "b"));
    EXPECT_FALSE(refused.WriteInt("a", 1));
}

}  // namespace
