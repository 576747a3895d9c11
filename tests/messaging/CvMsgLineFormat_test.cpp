#include "messaging/CvMsgLineFormat.h"

#include <gtest/gtest.h>

#include <ctime>

#include "app/CvFileTime.h"

namespace {

TEST(CvMsgLineFormat, JsonStringEscapes) {
    const struct {
        std::string text;
        std::string json;
    } cases[] = {
        {"", "\"\""},
        {"plain", "\"plain\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"back\\slash", "\"back\\\\slash\""},
        {"a\nb\rc\td", "\"a\\nb\\rc\\td\""},
        {"\b\f", "\"\\b\\f\""},
        {std::string("\x00\x01\x1f\x7f", 4), "\"\\u0000\\u0001\\u001f\\u007f\""},
        {"/ stays", "\"/ stays\""},
        {"Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC \xF0\x9F\x98\x80",
         "\"Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC \xF0\x9F\x98\x80\""},
        {"bad \xFF byte", "\"bad \xEF\xBF\xBD byte\""},
        {"cut \xE2\x82", "\"cut \xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"overlong \xC0\xAF", "\"overlong \xEF\xBF\xBD\xEF\xBF\xBD\""},
        // C1 controls are escaped, not dropped: U+009B is CSI to a terminal.
        {"csi \xC2\x9B"
         "31m nel \xC2\x85 end \xC2\x9F",
         "\"csi \\u009b31m nel \\u0085 end \\u009f\""},
        {"nbsp \xC2\xA0 stays", "\"nbsp \xC2\xA0 stays\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(CvMsgLineFormat::JsonString(c.text), c.json);
    }
}

TEST(CvMsgLineFormat, LineBreaksOfTheWireBecomeNewlines) {
    EXPECT_EQ(CvMsgLineFormat::DisplayText("a\x14"
                                           "b\r\nc\rd\ne"),
              "a\nb\nc\nd\ne");
    EXPECT_EQ(CvMsgLineFormat::DisplayText("\x14\x14"), "\n\n");
}

CMsg Sample() {
    CMsg msg;
    msg.type = MsgBroadcast;
    msg.sender = "BOB";
    msg.recipient = "WORKGROUP";
    msg.address = "WORKGROUP";
    msg.text = "line 1\x14line \"2\"";
    std::tm calendar{};
    calendar.tm_year = 2024 - 1900;
    calendar.tm_mon = 1;
    calendar.tm_mday = 29;
    calendar.tm_hour = 7;
    calendar.tm_min = 5;
    calendar.tm_sec = 9;
    msg.time = CvFileTime::FromCalendar(calendar);
    return msg;
}

TEST(CvMsgLineFormat, JsonLine) {
    EXPECT_EQ(CvMsgLineFormat::Json(Sample()),
              "{\"type\":2,\"sender\":\"BOB\",\"recipient\":\"WORKGROUP\","
              "\"text\":\"line 1\\nline \\\"2\\\"\",\"time\":\"2024-02-29 07:05:09\"}");
}

TEST(CvMsgLineFormat, PlainLineKeepsLineBreaksButNoTerminalControls) {
    CMsg msg = Sample();
    EXPECT_EQ(CvMsgLineFormat::Plain(msg),
              "2024-02-29 07:05:09 broadcast BOB -> WORKGROUP: line 1\nline \"2\"");
    msg.type = MsgPersonal;
    msg.sender = "EV\x1b[2JIL";
    msg.text = "red \x1b[31m\ttab";
    EXPECT_EQ(CvMsgLineFormat::Plain(msg),
              "2024-02-29 07:05:09 personal EV?[2JIL -> WORKGROUP: red ?[31m\ttab");
}

// Everything a peer controls passes through Printable before a terminal
// shows it; nothing in it may start an escape sequence or ring the bell.
TEST(CvMsgLineFormat, PrintableLeavesNoTerminalControl) {
    const struct {
        std::string text;
        bool keepLineBreaks;
        std::string printable;
    } cases[] = {
        {"plain Gr\xC3\xBC\xC3\x9F\x65 \xD0\x96 \xF0\x9F\x98\x80", false,
         "plain Gr\xC3\xBC\xC3\x9F\x65 \xD0\x96 \xF0\x9F\x98\x80"},
        {"esc \x1b]0;title\x07 bel", false, "esc ?]0;title? bel"},
        {std::string("nul \0 del \x7f", 11), false, "nul ? del ?"},
        {"a\nb\tc\rd", false, "a?b?c?d"},
        {"a\nb\tc\rd", true, "a\nb\tc?d"},
        // C1 controls in UTF-8: CSI, OSC, NEL, ST.
        {"\xC2\x9B"
         "2J \xC2\x9D"
         "0;x \xC2\x85 \xC2\x9C",
         false, "?2J ?0;x ? ?"},
        // Raw C1 bytes, which an 8-bit terminal obeys, are no valid UTF-8.
        {"\x9B"
         "2J \x1b",
         false,
         "\xEF\xBF\xBD"
         "2J ?"},
        {"cut \xE2\x82", false, "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xC2\xA0 first printable after C1", false, "\xC2\xA0 first printable after C1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.printable);
        EXPECT_EQ(CvMsgLineFormat::Printable(c.text, c.keepLineBreaks), c.printable);
    }
}

TEST(CvMsgLineFormat, PlainLineShowsNoC1ControlOfAPeer) {
    CMsg msg = Sample();
    msg.sender =
        "EV\xC2\x9B"
        "2JIL";
    msg.recipient = "ME\x9B";
    msg.text =
        "x\xC2\x9D"
        "0;pwned\xC2\x9C";
    EXPECT_EQ(CvMsgLineFormat::Plain(msg),
              "2024-02-29 07:05:09 broadcast EV?2JIL -> ME\xEF\xBF\xBD: x?0;pwned?");
}

TEST(CvMsgLineFormat, ReceivedNamesAreOneLineAndNoWiderThanTheArchiveColumn) {
    const std::string wide(40, 'N');
    const struct {
        std::string name;
        std::string received;
    } cases[] = {
        {"ALICE", "ALICE"},
        {"", ""},
        // A line break would start a forged "X wrote to Y:" line.
        {"EVE\r\nBOB wrote to ALICE:", "EVE??BOB wrote to ALICE:"},
        {"<b>EVE</b>\t", "<b>EVE</b>?"},
        {wide, std::string(32, 'N')},
        // Cut by code points, never inside a character.
        {std::string(31, 'A') + "\xC3\x84\xC3\x84", std::string(31, 'A') + "\xC3\x84"},
        // Replaced first, then cut: the replacements count as characters.
        {std::string(30, 'A') + "\r\n\r\n", std::string(30, 'A') + "??"},
        {"bad \xFF", "bad \xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CvMsgLineFormat::ReceivedName(c.name), c.received);
    }
}

}  // namespace
