#include "platform/CvRegFile.h"

#include <gtest/gtest.h>

namespace {

const std::string kOptions = "Software\\Corvane Software\\Corvane Messenger\\Options";

TEST(CvRegFileTest, ReadsHandWrittenFile) {
    const std::string text =
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; machine-wide defaults, edited by hand\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Corvane Software\\Corvane Messenger\\Options]\r\n"
        "\"MsgArcDatabaseFile\"=\"C:\\\\data\\\\arc.db\"\r\n"
        "\"NetMsgSendTimeout\"=dword:00000dac\r\n"
        "  \"Quoted\" = \"say \\\"hi\\\"\"  \r\n"
        "this line is garbage\r\n"
        "\"Unterminated\"=\"abc\r\n"
        "\"BadDword\"=dword:xyz\r\n"
        "\"Wide\"=hex(1):48,00,e9,00,0a,00,00,00\r\n"
        "\"Wrapped\"=hex(2):41,00,\\\r\n"
        "  42,00,00,00\r\n"
        "\"Number\"=hex(4):0a,00,00,00\r\n"
        "\"Binary\"=hex:01,02\r\n"
        "\"Twice\"=\"first\"\r\n"
        "\"Twice\"=\"second\"\r\n"
        "\"Gone\"=\"x\"\r\n"
        "\"Gone\"=-\r\n"
        "@=\"default\"\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\Corvane Software\\Corvane Messenger\\Options]\r\n"
        "\"OtherHive\"=\"ignored\"\r\n"
        "[-HKEY_LOCAL_MACHINE\\Software\\Corvane Software\\Corvane Messenger\\Options]\r\n"
        "\"InDeletedSection\"=\"ignored\"\r\n"
        "[HKLM\\SOFTWARE\\corvane software\\CORVANE MESSENGER\\options]\r\n"
        "\"Short\"=\"hive abbreviation and other case\"\r\n";
    const CvRegFile file = CvRegFile::Parse(text, CvHive::LocalMachine);

    EXPECT_EQ(file.ReadValue(kOptions, "MsgArcDatabaseFile"),
              CvRegValue::String("C:\\data\\arc.db"));
    EXPECT_EQ(file.ReadValue(kOptions, "netmsgsendtimeout"), CvRegValue::Dword(3500));
    EXPECT_EQ(file.ReadValue(kOptions, "Quoted"), CvRegValue::String("say \"hi\""));
    EXPECT_EQ(file.ReadValue(kOptions, "Wide"), CvRegValue::String("H\xC3\xA9\n"));
    EXPECT_EQ(file.ReadValue(kOptions, "Wrapped"), CvRegValue::String("AB"));
    EXPECT_EQ(file.ReadValue(kOptions, "Number"), CvRegValue::Dword(10));
    EXPECT_EQ(file.ReadValue(kOptions, "Twice"), CvRegValue::String("second"));
    EXPECT_EQ(file.ReadValue(kOptions, ""), CvRegValue::String("default"));
    EXPECT_EQ(file.ReadValue(kOptions, "Short"),
              CvRegValue::String("hive abbreviation and other case"));
    for (const char* absent :
         {"Unterminated", "BadDword", "Binary", "Gone", "OtherHive", "InDeletedSection"}) {
        EXPECT_FALSE(file.ReadValue(kOptions, absent)) << absent;
    }
    EXPECT_EQ(file.MalformedLines(), 3u);
    EXPECT_TRUE(file.KeyExists("Software\\Corvane Software"));
    EXPECT_TRUE(file.KeyExists("\\software\\corvane software\\corvane messenger\\options\\"));
    EXPECT_FALSE(file.KeyExists(kOptions + "\\Sub"));
    EXPECT_FALSE(file.KeyExists("Software\\Corvane"));
}

TEST(CvRegFileTest, ValuesRoundTripThroughText) {
    const std::vector<CvRegValue> values = {
        CvRegValue::String(""),
        CvRegValue::String("C:\\Program Files\\\"quoted\"\\"),
        CvRegValue::String("Gr\xC3\xBC\xC3\x9F"
                           "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80"),
        CvRegValue::String("two\r\nlines\nand a \t tab"),
        CvRegValue::String(std::string("nul\0inside", 10)),
        CvRegValue::String("name=\"x\", size=9"),
        CvRegValue::Dword(0),
        CvRegValue::Dword(0xFFFFFFFFu),
    };
    CvRegFile file = CvRegFile::Parse("", CvHive::CurrentUser);
    for (size_t i = 0; i < values.size(); ++i) {
        file.WriteValue(kOptions, "Value \"" + std::to_string(i) + "\\", values[i]);
    }
    const std::string text = file.Serialize();
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\", 0), 0u);
    EXPECT_EQ(text.find('\r'), std::string::npos);

    const CvRegFile reread = CvRegFile::Parse(text, CvHive::CurrentUser);
    EXPECT_EQ(reread.MalformedLines(), 0u);
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(reread.ReadValue(kOptions, "Value \"" + std::to_string(i) + "\\"), values[i])
            << i;
    }
}

TEST(CvRegFileTest, FormatsValuesAsTheRegistryEditorDoes) {
    EXPECT_EQ(CvRegFile::FormatData(CvRegValue::Dword(10)), "dword:0000000a");
    EXPECT_EQ(CvRegFile::FormatData(CvRegValue::String("a\\b\"c")), "\"a\\\\b\\\"c\"");
    EXPECT_EQ(CvRegFile::FormatData(CvRegValue::String("\n")), "hex(1):0a,00,00,00");
}

TEST(CvRegFileTest, ChangesTouchOnlyTheChangedValue) {
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; keep this comment\r\n"
        "[HKEY_CURRENT_USER\\Software\\A]\r\n"
        "\"First\"=\"1\"\r\n"
        "  \"Spaced\" = dword:1\r\n"
        "\"Dup\"=\"old\"\r\n"
        "garbage stays\r\n"
        "\"Dup\"=\"older\"\r\n"
        "\"Last\"=\"3\"\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\B]\r\n"
        "\"Other\"=\"x\"\r\n";
    CvRegFile file = CvRegFile::Parse(text, CvHive::CurrentUser);
    file.WriteValue("Software\\A", "dup", CvRegValue::String("new"));
    file.WriteValue("Software\\A", "Added", CvRegValue::Dword(5));
    EXPECT_TRUE(file.DeleteValue("Software\\A", "First"));
    EXPECT_FALSE(file.DeleteValue("Software\\A", "First"));
    file.WriteValue("Software\\C", "Fresh", CvRegValue::String("y"));

    EXPECT_EQ(file.Serialize(),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "; keep this comment\n"
              "[HKEY_CURRENT_USER\\Software\\A]\n"
              "  \"Spaced\" = dword:1\n"
              "garbage stays\n"
              "\"dup\"=\"new\"\n"
              "\"Last\"=\"3\"\n"
              "\"Added\"=dword:00000005\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\B]\n"
              "\"Other\"=\"x\"\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\C]\n"
              "\"Fresh\"=\"y\"\n");
}

TEST(CvRegFileTest, WritingOverADeletionLineMakesTheValueVisible) {
    CvRegFile file =
        CvRegFile::Parse("[HKEY_CURRENT_USER\\K]\n\"V\"=\"a\"\n[HKEY_CURRENT_USER\\K]\n\"V\"=-\n",
                         CvHive::CurrentUser);
    ASSERT_FALSE(file.ReadValue("K", "V"));
    file.WriteValue("K", "V", CvRegValue::String("b"));
    EXPECT_EQ(CvRegFile::Parse(file.Serialize(), CvHive::CurrentUser).ReadValue("K", "V"),
              CvRegValue::String("b"));
}

// Found by fuzzing: a hand-edited file with an unfinished header line after
// the key made a written value land behind that line, where no reader sees it.
TEST(CvRegFileTest, ValueWrittenBesideAnUnfinishedHeaderStaysVisible) {
    CvRegFile file = CvRegFile::Parse(
        "[HKEY_CURRENT_USER\\K]\n\"A\"=\"1\"\n[-HKEY_CURRENT_USER\\Oth\n\"B\"=\"2\"\n",
        CvHive::CurrentUser);
    EXPECT_EQ(file.ReadValue("K", "A"), CvRegValue::String("1"));
    EXPECT_FALSE(file.ReadValue("K", "B")) << "lines after the broken header belong to no key";
    file.WriteValue("K", "C", CvRegValue::String("3"));
    const CvRegFile again = CvRegFile::Parse(file.Serialize(), CvHive::CurrentUser);
    EXPECT_EQ(again.ReadValue("K", "C"), CvRegValue::String("3"));
    EXPECT_EQ(again.ReadValue("K", "A"), CvRegValue::String("1"));
}

// Found by fuzzing: a line ending in two carriage returns kept one of them
// as content, which the next write turned into a line end.
TEST(CvRegFileTest, StrayCarriageReturnsAtLineEndsSurviveAWrite) {
    for (const char* text : {"[HKEY_CURRENT_USER\\K]\r\r\n\"A\"=\"1\"\r\r\n",
                             "[HKEY_CURRENT_USER\\K]\n\"A\"=\"1\"\r\r"}) {
        CvRegFile file = CvRegFile::Parse(text, CvHive::CurrentUser);
        EXPECT_EQ(file.ReadValue("K", "A"), CvRegValue::String("1")) << text;
        const std::string once = file.Serialize();
        EXPECT_EQ(CvRegFile::Parse(once, CvHive::CurrentUser).Serialize(), once) << text;
    }
}

TEST(CvRegFileTest, CreateKeyAddsAnEmptySectionOnce) {
    CvRegFile file = CvRegFile::Parse("", CvHive::LocalMachine);
    EXPECT_TRUE(file.CreateKey("Software\\X\\Y"));
    EXPECT_FALSE(file.CreateKey("software\\x\\y"));
    EXPECT_FALSE(file.CreateKey("Software\\X"));
    EXPECT_EQ(file.Serialize(),
              "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\X\\Y]\n");
}

}  // namespace
