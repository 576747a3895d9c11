#include "messaging/CvControlProtocol.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace CvControlProtocol;

TEST(CvControlProtocol, RequestsSurviveTheRoundTrip) {
    const CvControlRequest requests[] = {
        {1, "BOB", "", "hello"},
        {2, "WORKGROUP", "ALICE", "two\r\nlines and 100% of % and spaces  "},
        {1, "-", "J\xC3\x9CRGEN", "-"},
        {1, "B", "", ""},
        {1, "B", "", std::string("\x01\x14\x7F\t", 4) + "\xE2\x82\xAC"},
        {1, "ABCDEFGHIJKLMNO", "", std::string(kMaxTextBytes, 'x')},
    };
    for (const auto& request : requests) {
        const std::string line = EncodeRequest(request);
        SCOPED_TRACE(line.substr(0, 80));
        ASSERT_EQ(line.back(), '\n');
        EXPECT_EQ(line.find('\n'), line.size() - 1);
        std::string error;
        const auto decoded = DecodeRequest(line, &error);
        ASSERT_TRUE(decoded.has_value()) << error;
        EXPECT_EQ(*decoded, request);
    }
}

TEST(CvControlProtocol, MalformedRequestsAreRefusedWithAReason) {
    const struct {
        std::string line;
        std::string reason;
    } cases[] = {
        {"", "unknown request"},
        {"\n", "unknown request"},
        {"send 1 BOB - hi\n", "unknown request"},
        {"SEND 1 BOB - hi extra\n", "malformed request"},
        {"SEND 1 BOB -\n", "malformed request"},
        {"SEND  1 BOB - hi\n", "malformed request"},
        {"SEND 1 BOB - hi \n", "malformed request"},
        {"SEND 3 BOB - hi\n", "unknown message type"},
        {"SEND 01 BOB - hi\n", "unknown message type"},
        {"SEND -1 BOB - hi\n", "unknown message type"},
        {"SEND 1 - - hi\n", "empty recipient"},
        {"SEND 1 BOB - h%\n", "malformed field"},
        {"SEND 1 BOB - h%4\n", "malformed field"},
        {"SEND 1 BOB - h%G1\n", "malformed field"},
        {"SEND 1 BOB - h\tx\n", "malformed field"},
        {"SEND 1 BOB - h\xC3\xA9\n", "malformed field"},
        {"SEND 1 B%0AB - hi\n", "malformed recipient"},
        {"SEND 1 B%FFB - hi\n", "malformed recipient"},
        {"SEND 1 BOB A%1BB hi\n", "malformed sender"},
        {"SEND 1 ABCDEFGHIJKLMNOP - hi\n", "recipient longer than 15 characters"},
        {"SEND 1 BOB ABCDEFGHIJKLMNOP hi\n", "sender longer than 15 characters"},
        {"SEND 1 BOB - a%00b\n", "malformed text"},
        {"SEND 1 BOB - %C0%AF\n", "malformed text"},
        {"SEND 1 BOB - %ED%A0%80\n", "malformed text"},
        {"SEND 1 BOB - %E2%82\n", "malformed text"},
        {"SEND 1 BOB - " + std::string(kMaxTextBytes + 1, 'x') + "\n", "text too long"},
        {"SEND 1 BOB - " + std::string(kMaxLine, 'x') + "\n", "request too long"},
        {"SEND 1 BOB - a\nSEND 1 BOB - b\n", "malformed request"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.substr(0, 60));
        std::string error;
        EXPECT_FALSE(DecodeRequest(c.line, &error).has_value());
        EXPECT_EQ(error, c.reason);
    }
}

TEST(CvControlProtocol, Replies) {
    EXPECT_EQ(EncodeReply({3, ""}), "RESULT 3\n");
    EXPECT_EQ(EncodeReply({0, "not a name: A B"}), "ERROR not%20a%20name:%20A%20B\n");
    for (const CvControlReply& reply :
         {CvControlReply{1, ""}, CvControlReply{5, ""}, CvControlReply{0, "bad\nthing 100%"}}) {
        EXPECT_EQ(DecodeReply(EncodeReply(reply)), reply);
    }
    EXPECT_EQ(EncodeReply({0, std::string(5000, 'e')}).size(), 7 + kMaxErrorBytes);
    for (const std::string bad : {"", "RESULT", "RESULT 0", "RESULT 6", "RESULT 12", "RESULT 1 2",
                                  "ERROR", "ERROR -", "ERROR %ZZ", "OK 1", "ERROR a b"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(DecodeReply(bad + "\n").has_value());
    }
}

// A reason over the limit is cut before the character the limit falls in, so
// the reply still decodes; a reason of the limit's length is kept whole.
TEST(CvControlProtocol, LongReasonsAreCutAtACharacterBoundary) {
    const std::string euro = "\xE2\x82\xAC";      // 3 bytes
    const std::string clef = "\xF0\x9D\x84\x9E";  // 4 bytes
    const std::string umlaut = "\xC3\xBC";        // 2 bytes
    const struct {
        std::string reason;
        std::string kept;
    } cases[] = {
        // The limit falls after the first byte of the character.
        {std::string(511, 'a') + umlaut + "tail", std::string(511, 'a')},
        {std::string(511, 'a') + euro, std::string(511, 'a')},
        {std::string(511, 'a') + clef, std::string(511, 'a')},
        // ... after its second or third byte.
        {std::string(510, 'a') + euro + "b", std::string(510, 'a')},
        {std::string(509, 'a') + clef, std::string(509, 'a')},
        {std::string(510, 'a') + clef, std::string(510, 'a')},
        // ... right after it.
        {std::string(510, 'a') + umlaut + "b", std::string(510, 'a') + umlaut},
        {std::string(508, 'a') + clef, std::string(508, 'a') + clef},
        {std::string(509, 'a') + euro + clef, std::string(509, 'a') + euro},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason.substr(505));
        const auto decoded = DecodeReply(EncodeReply({0, c.reason}));
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(decoded->code, 0);
        EXPECT_EQ(decoded->error, c.kept);
        EXPECT_LE(decoded->error.size(), kMaxErrorBytes);
    }
}

}  // namespace
