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

}  // namespace
