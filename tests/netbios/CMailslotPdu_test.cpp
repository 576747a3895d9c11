#include "netbios/CMailslotPdu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "netbios/CPduBuffer.h"
#include "netbios/PduTestBytes.h"
#include "platform/CvOemCodec.h"

namespace {

using PduTestBytes::BufferOf;
using PduTestBytes::Bytes;
using PduTestBytes::Hex;

struct EncodeCase {
    std::string originator;
    std::string destination;
    std::string text;
    Bytes expected;
};

TEST(CMailslotPdu, EncodesThreeTerminatedStrings) {
    const std::vector<EncodeCase> cases = {
        {"A", "B", "hello", {0x41, 0x00, 0x42, 0x00, 0x68, 0x65, 0x6C, 0x6C, 0x6F, 0x00}},
        {"", "", "", {0x00, 0x00, 0x00}},
        {"A", "", "x", {0x41, 0x00, 0x00, 0x78, 0x00}},
    };
    for (const EncodeCase& c : cases) {
        SCOPED_TRACE(c.originator + "/" + c.destination + "/" + c.text);
        CMailslotPdu pdu;
        pdu.SetOriginator(c.originator);
        pdu.SetDestination(c.destination);
        pdu.SetText(c.text);
        CPduBuffer buffer;
        EXPECT_TRUE(pdu.Encode(buffer));
        EXPECT_EQ(Hex(PduTestBytes::Of(buffer)), Hex(c.expected));
    }
}

struct DecodeCase {
    std::string name;
    std::string bytes;
    bool complete;
    std::string originator;
    std::string destination;
    std::string text;
};

TEST(CMailslotPdu, DecodesUpToEachTerminatorOrTheEnd) {
    using std::string_literals::operator""s;
    const std::vector<DecodeCase> cases = {
        {"three strings", "A\0B\0hello\0"s, true, "A", "B", "hello"},
        {"two strings", "A\0B\0"s, false, "A", "B", ""},
        {"no terminator at all", "ALICE BOB hi"s, false, "ALICE BOB hi", "", ""},
        {"text without terminator", "A\0B\0hi"s, false, "A", "B", "hi"},
        {"empty destination", "A\0\0hi\0"s, true, "A", "", "hi"},
        {"bytes after the text", "A\0B\0t\0extra"s, true, "A", "B", "t"},
        {"nothing", ""s, false, "", "", ""},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        CPduBuffer buffer = BufferOf(Bytes(c.bytes.begin(), c.bytes.end()));
        CMailslotPdu pdu;
        pdu.SetText("left over");
        EXPECT_EQ(pdu.Decode(buffer), c.complete);
        EXPECT_EQ(pdu.Originator(), c.originator);
        EXPECT_EQ(pdu.Destination(), c.destination);
        EXPECT_EQ(pdu.Text(), c.text);
    }
}

TEST(CMailslotPdu, NonAsciiTextTravelsInTheOemPage) {
    const CvOemCodec cp850(850);
    CMailslotPdu pdu;
    pdu.SetOemCodec(cp850);
    pdu.SetOriginator("JÖRG");
    pdu.SetDestination("B");
    pdu.SetText("Grüße");
    CPduBuffer buffer;
    ASSERT_TRUE(pdu.Encode(buffer));
    EXPECT_EQ(Hex(PduTestBytes::Of(buffer)), "4A 99 52 47 00 42 00 47 72 81 E1 65 00");

    CMailslotPdu decoded;
    decoded.SetOemCodec(cp850);
    EXPECT_TRUE(decoded.Decode(buffer));
    EXPECT_EQ(decoded.Originator(), "JÖRG");
    EXPECT_EQ(decoded.Text(), "Grüße");
}

TEST(CMailslotPdu, EncodeReportsAMessageThatDoesNotFit) {
    CMailslotPdu pdu;
    pdu.SetOriginator("A");
    pdu.SetDestination("B");
    pdu.SetText(std::string(1024 - 5, 'x'));
    CPduBuffer buffer;
    EXPECT_TRUE(pdu.Encode(buffer));
    pdu.SetText(std::string(1024 - 4, 'x'));
    EXPECT_FALSE(pdu.Encode(buffer));
    EXPECT_TRUE(buffer.Overflowed());
}

}  // namespace
