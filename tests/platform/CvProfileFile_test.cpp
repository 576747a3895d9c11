#include "platform/CvProfileFile.h"

#include <string>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TestEnv.h"

namespace {

TEST(CvProfileFileTest, ReadsWithProfileRules) {
    TempDir dir;
    const std::string ini = dir.File("corvane.ini");
    WriteFileText(ini,
                  "\xEF\xBB\xBF; settings\r\n"
                  "[Other]\r\n"
                  "Key=other section\r\n"
                  "  [ options ]  \r\n"
                  "  Key  =   spaced value   \r\n"
                  "Quoted=\"  kept blanks  \"\r\n"
                  "Single='x'\r\n"
                  "Half=\"x\r\n"
                  "NoEquals\r\n"
                  ";Commented=1\r\n"
                  "Empty=\r\n"
                  "Key=second occurrence\r\n"
                  "Text=Gr\xC3\xBC\xC3\x9F"
                  "e\r\n");
    EXPECT_EQ(CvProfileFile::ReadString(ini, "Options", "key", "d"), "spaced value");
    EXPECT_EQ(CvProfileFile::ReadString(ini, "Options", "Quoted", "d"), "  kept blanks  ");
    EXPECT_EQ(CvProfileFile::ReadString(ini, "Options", "Single", "d"), "x");
    EXPECT_EQ(CvProfileFile::ReadString(ini, "Options", "Half", "d"), "\"x");
    EXPECT_EQ(CvProfileFile::ReadString(ini, "Options", "Empty", "d"), "");
    EXPECT_EQ(CvProfileFile::ReadString(ini, "Options", "Text", "d"),
              "Gr\xC3\xBC\xC3\x9F"
              "e");
    EXPECT_EQ(CvProfileFile::ReadString(ini, "Options", "NoEquals", "d"), "d");
    EXPECT_EQ(CvProfileFile::ReadString(ini, "Options", "Commented", "d"), "d");
    EXPECT_EQ(CvProfileFile::ReadString(ini, "Missing", "Key", "[~!@#$%^&*()_+]"),
              "[~!@#$%^&*()_+]");
    EXPECT_EQ(CvProfileFile::ReadString(dir.File("none.ini"), "Options", "Key", "d"), "d");
    EXPECT_EQ(CvProfileFile::ReadKeys(ini, "OPTIONS"),
              (std::vector<std::string>{"Key", "Quoted", "Single", "Half", "Empty", "Text"}));
    EXPECT_TRUE(CvProfileFile::ReadKeys(ini, "Missing").empty());
}

TEST(CvProfileFileTest, LongValuesAreCutInCodePoints) {
    TempDir dir;
    const std::string ini = dir.File("corvane.ini");
    std::string longValue;
    for (int i = 0; i < 2100; ++i) {
        longValue += "\xC3\xA9";  // two bytes, one code point
    }
    ASSERT_TRUE(CvProfileFile::WriteString(ini, "Options", "Long", longValue));
    const std::string read = CvProfileFile::ReadString(ini, "Options", "Long", "");
    EXPECT_EQ(read, longValue.substr(0, 2047 * 2));
    EXPECT_EQ(CvProfileFile::ReadString(ini, "Options", "Long", "", 3), "\xC3\xA9\xC3\xA9\xC3\xA9");
    EXPECT_EQ(CvProfileFile::ReadString(ini, "Options", "Missing", "abcdef", 4), "abcd");
}

TEST(CvProfileFileTest, ReadsIntegersLikeTheSystem) {
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"42", 42},
        {"-17", -17},
        {"+8", 8},
        {"12abc", 12},
        {"abc", 0},
        {"0x10", 0},
        {"\" 7\"", 7},
        {"3.9", 3},
        {"-", 0},
        {"2147483647", 2147483647},
        {"4294967295", -1},
        {"4294967296", 0},
        {"00000000000000000000000000001", 1},
        {"000000000000000000000000000001", 0},  // beyond the 29 characters read
        {"", 99},                               // empty reads the default
    };
    TempDir dir;
    const std::string ini = dir.File("corvane.ini");
    for (const Case& c : cases) {
        WriteFileText(ini, std::string("[Options]\nValue=") + c.text + "\n");
        EXPECT_EQ(CvProfileFile::ReadInt(ini, "Options", "Value", 99), c.expected) << c.text;
    }
    EXPECT_EQ(CvProfileFile::ReadInt(ini, "Options", "Missing", 3500), 3500);
    EXPECT_EQ(CvProfileFile::ReadInt(dir.File("none.ini"), "Options", "Value", -5), -5);
}

TEST(CvProfileFileTest, WritesInPlaceKeepingOtherLines) {
    TempDir dir;
    const std::string ini = dir.File("corvane.ini");
    WriteFileText(ini,
                  "; top comment\r\n"
                  "[Options]\r\n"
                  "A=1\r\n"
                  "b = 2\r\n"
                  "\r\n"
                  "[Windows.sendmsg]\r\n"
                  "Top=5\r\n");
    ASSERT_TRUE(CvProfileFile::WriteString(ini, "options", "B", "20"));
    ASSERT_TRUE(CvProfileFile::WriteString(ini, "Options", "C", "  padded "));
    ASSERT_TRUE(CvProfileFile::WriteString(ini, "Options", "D", "\"quoted\""));
    ASSERT_TRUE(CvProfileFile::WriteString(ini, "Windows.lanbrowser", "Width", "640"));
    EXPECT_EQ(ReadFileText(ini),
              "; top comment\r\n"
              "[Options]\r\n"
              "A=1\r\n"
              "B=20\r\n"
              "C=\"  padded \"\r\n"
              "D=\"\"quoted\"\"\r\n"
              "\r\n"
              "[Windows.sendmsg]\r\n"
              "Top=5\r\n"
              "\r\n"
              "[Windows.lanbrowser]\r\n"
              "Width=640\r\n");
    EXPECT_EQ(CvProfileFile::ReadString(ini, "Options", "C", ""), "  padded ");
    EXPECT_EQ(CvProfileFile::ReadString(ini, "Options", "D", ""), "\"quoted\"");
    EXPECT_EQ(CvProfileFile::ReadInt(ini, "Windows.lanbrowser", "Width", 0), 640);
}

// Found by fuzzing: a line ending in two carriage returns (or one at the end
// of the file) kept one as part of its value, which changed when another key
// was written.
TEST(CvProfileFileTest, StrayCarriageReturnsAtLineEndsAreNoPartOfAValue) {
    for (const char* text : {"[Options]\nA=1\r\r\n", "[Options]\nA=1\r\r", "[Options]\r\nA=1\r"}) {
        TempDir dir;
        const std::string ini = dir.File("corvane.ini");
        WriteFileText(ini, text);
        EXPECT_EQ(CvProfileFile::ReadString(ini, "Options", "A", ""), "1") << text;
        ASSERT_TRUE(CvProfileFile::WriteString(ini, "Options", "B", "2"));
        EXPECT_EQ(CvProfileFile::ReadString(ini, "Options", "A", ""), "1") << text;
    }
}

TEST(CvProfileFileTest, RefusesWhatTheFormatCannotHold) {
    TempDir dir;
    const std::string ini = dir.File("sub/corvane.ini");
    EXPECT_FALSE(CvProfileFile::WriteString(ini, "Options", "K", "two\nlines"));
    EXPECT_FALSE(CvProfileFile::WriteString(ini, "Options", "K=V", "x"));
    EXPECT_FALSE(CvProfileFile::WriteString(ini, "Options", " ", "x"));
    EXPECT_FALSE(CvProfileFile::WriteString(ini, "Options", ";K", "x"));
    EXPECT_FALSE(CvProfileFile::WriteString(ini, "Opt]ions", "K", "x"));
    WriteFileText(dir.File("file"), "not a folder");
    EXPECT_FALSE(CvProfileFile::WriteString(dir.File("file/x.ini"), "S", "K", "x"));
    EXPECT_EQ(ReadFileText(ini), "");

    ASSERT_TRUE(CvProfileFile::WriteString(ini, "Options", "K", "x"));
    EXPECT_EQ(ReadFileText(ini), "[Options]\nK=x\n");
}

TEST(CvProfileFileTest, ConcurrentWritersFromTwoProcessesKeepAllValues) {
    TempDir dir;
    const std::string ini = dir.File("corvane.ini");
    constexpr int kWrites = 200;
    const auto writeAll = [&](const std::string& prefix) {
        bool ok = true;
        for (int i = 0; i < kWrites; ++i) {
            ok = CvProfileFile::WriteString(ini, "Options", prefix + std::to_string(i),
                                            std::to_string(i)) &&
                 ok;
        }
        return ok;
    };
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        _exit(writeAll("child") ? 0 : 1);
    }
    EXPECT_TRUE(writeAll("parent"));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int i = 0; i < kWrites; ++i) {
        EXPECT_EQ(CvProfileFile::ReadInt(ini, "Options", "child" + std::to_string(i), -1), i);
        EXPECT_EQ(CvProfileFile::ReadInt(ini, "Options", "parent" + std::to_string(i), -1), i);
    }
}

}  // namespace
