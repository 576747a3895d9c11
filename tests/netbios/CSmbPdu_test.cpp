#include "netbios/CSmbPdu.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "netbios/CPduBuffer.h"
#include "netbios/CSmbPdu_sendend.h"
#include "netbios/CSmbPdu_sends.h"
#include "netbios/CSmbPdu_sendstrt.h"
#include "netbios/CSmbPdu_sendtxt.h"
#include "netbios/PduTestBytes.h"
#include "platform/CvOemCodec.h"

namespace {

using PduTestBytes::Append;
using PduTestBytes::AppendWord;
using PduTestBytes::BufferOf;
using PduTestBytes::Bytes;
using PduTestBytes::Header;
using PduTestBytes::Hex;

Bytes Encoded(CProtocolDataUnit& pdu) {
    CPduBuffer buffer;
    EXPECT_TRUE(pdu.Encode(buffer));
    return PduTestBytes::Of(buffer);
}

CSmbPdu_sends Single(const std::string& from, const std::string& to, const std::string& text) {
    CSmbPdu_sends pdu;
    pdu.SetOriginator(from);
    pdu.SetDestination(to);
    pdu.SetText(text);
    return pdu;
}

CSmbPdu_sendstrt Start(const std::string& from, const std::string& to) {
    CSmbPdu_sendstrt pdu;
    pdu.SetOriginator(from);
    pdu.SetDestination(to);
    return pdu;
}

CSmbPdu_sendtxt TextBlock(uint16_t groupId, const std::string& text) {
    CSmbPdu_sendtxt pdu;
    pdu.SetGroupId(groupId);
    pdu.SetText(text);
    return pdu;
}

CSmbPdu_sendend End(uint16_t groupId) {
    CSmbPdu_sendend pdu;
    pdu.SetGroupId(groupId);
    return pdu;
}

Bytes With(Bytes head, std::initializer_list<uint8_t> tail) {
    Append(head, tail);
    return head;
}

struct EncodeCase {
    std::string name;
    std::function<Bytes()> encode;
    Bytes expected;
};

TEST(CSmbPdu, EncodesEachMessageByteForByte) {
    const std::vector<EncodeCase> cases = {
        {"single block",
         [] {
             auto pdu = Single("A", "B", "hi");
             return Encoded(pdu);
         },
         With(Header(0xD0),
              {0x00, 0x0B, 0x00, 0x04, 'A', 0x00, 0x04, 'B', 0x00, 0x01, 0x02, 0x00, 'h', 'i'})},
        {"single block, empty text",
         [] {
             auto pdu = Single("A", "B", "");
             return Encoded(pdu);
         },
         With(Header(0xD0),
              {0x00, 0x09, 0x00, 0x04, 'A', 0x00, 0x04, 'B', 0x00, 0x01, 0x00, 0x00})},
        {"single block, empty originator",
         [] {
             auto pdu = Single("", "B", "hi");
             return Encoded(pdu);
         },
         With(Header(0xD0), {0x00, 0x00, 0x00})},
        {"single block, empty destination",
         [] {
             auto pdu = Single("A", "", "hi");
             return Encoded(pdu);
         },
         With(Header(0xD0), {0x00, 0x00, 0x00})},
        {"start",
         [] {
             auto pdu = Start("A", "B");
             return Encoded(pdu);
         },
         With(Header(0xD5), {0x00, 0x06, 0x00, 0x04, 'A', 0x00, 0x04, 'B', 0x00})},
        {"start, empty originator",
         [] {
             auto pdu = Start("", "B");
             return Encoded(pdu);
         },
         With(Header(0xD5), {0x00, 0x00, 0x00})},
        {"text",
         [] {
             auto pdu = TextBlock(0x0107, "hi");
             return Encoded(pdu);
         },
         With(Header(0xD7), {0x01, 0x07, 0x01, 0x05, 0x00, 0x01, 0x02, 0x00, 'h', 'i'})},
        {"text, empty",
         [] {
             auto pdu = TextBlock(7, "");
             return Encoded(pdu);
         },
         With(Header(0xD7), {0x01, 0x07, 0x00, 0x00, 0x00})},
        {"text without a group id still carries word 0",
         [] {
             CSmbPdu_sendtxt pdu;
             pdu.SetText("x");
             return Encoded(pdu);
         },
         With(Header(0xD7), {0x01, 0x00, 0x00, 0x04, 0x00, 0x01, 0x01, 0x00, 'x'})},
        {"end",
         [] {
             auto pdu = End(7);
             return Encoded(pdu);
         },
         With(Header(0xD6), {0x01, 0x07, 0x00, 0x00, 0x00})},
        {"plain SMB after Reset",
         [] {
             CSmbPdu pdu;
             return Encoded(pdu);
         },
         With(Header(0x00), {0x00, 0x00, 0x00})},
        {"names cut at an embedded NUL",
         [] {
             auto pdu = Single(std::string("A\0Z", 3), "B", "hi");
             return Encoded(pdu);
         },
         With(Header(0xD0),
              {0x00, 0x0B, 0x00, 0x04, 'A', 0x00, 0x04, 'B', 0x00, 0x01, 0x02, 0x00, 'h', 'i'})},
    };
    for (const EncodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Hex(c.encode()), Hex(c.expected));
    }
}

TEST(CSmbPdu, FullSingleBlockHasTheNamesPlus135DataBytes) {
    const std::string text(128, 'x');
    auto pdu = Single("ALICE", "BOB-PC", text);
    CPduBuffer buffer;
    ASSERT_TRUE(pdu.Encode(buffer));
    EXPECT_EQ(pdu.ByteCount(), 5u + 6u + 135u);
    EXPECT_EQ(buffer.Length(), 35u + 5u + 6u + 135u);
    const Bytes bytes = PduTestBytes::Of(buffer);
    EXPECT_EQ(bytes[33], 5 + 6 + 135);  // byte count, low byte
    EXPECT_EQ(bytes[34], 0);
    // 0x01, then the length 128 as a 16-bit value, then the text.
    const size_t block = 35 + 1 + 5 + 1 + 1 + 6 + 1;
    EXPECT_EQ(bytes[block], 0x01);
    EXPECT_EQ(bytes[block + 1], 0x80);
    EXPECT_EQ(bytes[block + 2], 0x00);
    EXPECT_EQ(std::string(bytes.begin() + block + 3, bytes.end()), text);
}

TEST(CSmbPdu, LastTextBlockOfA300CharacterMessageCarries44Bytes) {
    std::string message;
    for (int i = 0; i < 300; ++i) {
        message.push_back(static_cast<char>('a' + i % 26));
    }
    auto pdu = TextBlock(3, message.substr(256));
    CPduBuffer buffer;
    ASSERT_TRUE(pdu.Encode(buffer));
    EXPECT_EQ(pdu.ByteCount(), 3u + 44u);
    const Bytes bytes = PduTestBytes::Of(buffer);
    EXPECT_EQ(bytes[38], 44);  // 35 + 2 (one word) + 0x01
    EXPECT_EQ(bytes[39], 0);

    CSmbPdu_sendtxt decoded;
    EXPECT_TRUE(decoded.Decode(buffer));
    EXPECT_EQ(decoded.Text(), message.substr(256));
    EXPECT_EQ(decoded.GroupId(), 3);
}

// Blocks longer than 255 bytes: the length is a 16-bit value and both of its
// bytes count when reading.
TEST(CSmbPdu, TextLengthIsReadAsAWhole16BitValue) {
    for (size_t length : {200u, 255u, 256u, 300u, 600u}) {
        SCOPED_TRACE(length);
        std::string text;
        for (size_t i = 0; i < length; ++i) {
            text.push_back(static_cast<char>('A' + i % 23));
        }

        Bytes single = Header(0xD0);
        const size_t dataSize = 5 + 5 + 3 + length;
        Append(single, {0x00});
        AppendWord(single, static_cast<uint16_t>(dataSize));
        Append(single, {0x04, 'S', 'R', 'C', 0x00, 0x04, 'D', 'S', 'T', 0x00, 0x01});
        AppendWord(single, static_cast<uint16_t>(length));
        Append(single, text);
        CPduBuffer buffer = BufferOf(single);
        CSmbPdu_sends sends;
        EXPECT_TRUE(sends.Decode(buffer));
        EXPECT_EQ(sends.Originator(), "SRC");
        EXPECT_EQ(sends.Destination(), "DST");
        EXPECT_EQ(sends.Text(), text);
        // Encoding writes the same bytes back.
        EXPECT_EQ(Hex(Encoded(sends)), Hex(single));

        Bytes block = Header(0xD7);
        Append(block, {0x01, 0x05, 0x00});
        AppendWord(block, static_cast<uint16_t>(3 + length));
        Append(block, {0x01});
        AppendWord(block, static_cast<uint16_t>(length));
        Append(block, text);
        buffer = BufferOf(block);
        CSmbPdu_sendtxt sendtxt;
        EXPECT_TRUE(sendtxt.Decode(buffer));
        EXPECT_EQ(sendtxt.Text(), text);
        EXPECT_EQ(Hex(Encoded(sendtxt)), Hex(block));
    }
}

TEST(CSmbPdu, TextLongerThanTheDataIsCutAtTheData) {
    Bytes block = Header(0xD7);
    Append(block, {0x01, 0x05, 0x00, 0x07, 0x00, 0x01, 0x40, 0x00});
    Append(block, std::string("abcd"));  // says 64, has 4
    CPduBuffer buffer = BufferOf(block);
    CSmbPdu_sendtxt pdu;
    EXPECT_FALSE(pdu.Decode(buffer));
    EXPECT_EQ(pdu.Text(), "abcd");

    // The byte count bounds the text even when more bytes follow.
    Bytes single = Header(0xD0);
    Append(single, {0x00, 0x0A, 0x00, 0x04, 'A', 0x00, 0x04, 'B', 0x00, 0x01, 0x10, 0x00, 'h', 'i',
                    'd', 'd', 'e', 'n'});
    buffer = BufferOf(single);
    CSmbPdu_sends sends;
    EXPECT_FALSE(sends.Decode(buffer));
    EXPECT_EQ(sends.Text(), "h");
}

struct OemCase {
    int codePage;
    std::string text;
    std::string oem;
};

TEST(CSmbPdu, TextTravelsInTheOemCodePage) {
    const std::vector<OemCase> cases = {
        {850, "Grüße",
         "Gr\x81\xE1"
         "e"},
        {866, "Привет", "\x8F\xE0\xA8\xA2\xA5\xE2"},
    };
    for (const OemCase& c : cases) {
        SCOPED_TRACE(c.codePage);
        const CvOemCodec codec(c.codePage);

        auto single = Single(c.text, "Б" + c.text, c.text);
        single.SetOemCodec(codec);
        CPduBuffer buffer;
        ASSERT_TRUE(single.Encode(buffer));
        const std::string oemName = codec.ToOem("Б" + c.text);
        EXPECT_EQ(single.ByteCount(), 2 * c.oem.size() + oemName.size() + 7);
        const std::string data(single.DataBytes().begin(), single.DataBytes().end());
        EXPECT_EQ(data, std::string("\x04") + c.oem + '\0' + '\x04' + oemName + '\0' + '\x01' +
                            static_cast<char>(c.oem.size()) + '\0' + c.oem);
        CSmbPdu_sends decodedSingle;
        decodedSingle.SetOemCodec(codec);
        EXPECT_TRUE(decodedSingle.Decode(buffer));
        EXPECT_EQ(decodedSingle.Originator(), c.text);
        EXPECT_EQ(decodedSingle.Text(), c.text);

        auto start = Start(c.text, "X");
        start.SetOemCodec(codec);
        ASSERT_TRUE(start.Encode(buffer));
        CSmbPdu_sendstrt decodedStart;
        decodedStart.SetOemCodec(codec);
        EXPECT_TRUE(decodedStart.Decode(buffer));
        EXPECT_EQ(decodedStart.Originator(), c.text);

        auto text = TextBlock(1, c.text);
        text.SetOemCodec(codec);
        ASSERT_TRUE(text.Encode(buffer));
        EXPECT_EQ(text.ByteCount(), 3 + c.oem.size());
        CSmbPdu_sendtxt decodedText;
        decodedText.SetOemCodec(codec);
        EXPECT_TRUE(decodedText.Decode(buffer));
        EXPECT_EQ(decodedText.Text(), c.text);
    }
}

TEST(CSmbPdu, DecodeKeepsTheReceivedHeaderForTheReply) {
    Bytes request = Header(0xD0, 0x1234, 0x0042);
    request[5] = 0x02;   // error class
    request[9] = 0x18;   // flags
    request[10] = 0x01;  // flags2
    request[24] = 0x05;  // tree id
    request[28] = 0x06;  // user id
    Append(request,
           {0x00, 0x0B, 0x00, 0x04, 'A', 0x00, 0x04, 'B', 0x00, 0x01, 0x02, 0x00, 'h', 'i'});
    CPduBuffer buffer = BufferOf(request);
    CSmbPdu_sends pdu;
    EXPECT_TRUE(pdu.Decode(buffer));
    EXPECT_EQ(pdu.Pid(), 0x1234);
    EXPECT_EQ(pdu.Mid(), 0x0042);
    EXPECT_EQ(pdu.Tid(), 5);
    EXPECT_EQ(pdu.Uid(), 6);
    EXPECT_EQ(pdu.Flags(), 0x18);
    EXPECT_EQ(pdu.ErrorClass(), 2);
    EXPECT_EQ(pdu.Text(), "hi");

    const Bytes header(request.begin(), request.begin() + 32);
    CSmbPdu reply = pdu.MakeReply();
    EXPECT_EQ(Hex(Encoded(reply)), Hex(With(header, {0x00, 0x00, 0x00})));
    CSmbPdu startReply = pdu.MakeReply(0x0009);
    EXPECT_EQ(Hex(Encoded(startReply)), Hex(With(header, {0x01, 0x09, 0x00, 0x00, 0x00})));
}

struct StatusCase {
    uint8_t errorClass;
    uint8_t reserved;
    uint16_t errorCode;
    bool ntStatus;  // Flags2 bit 14
    bool error;
};

TEST(CSmbPdu, AReplyIsAnErrorByItsClassOrByAnyBitOfAnNtStatus) {
    const std::vector<StatusCase> cases = {
        {0x00, 0x00, 0x0000, false, false}, {0x02, 0x00, 0x0052, false, true},  // ERRSRV/ERRmsgoff
        {0x01, 0x00, 0x0047, false, true},   // ERRDOS, as smbd refuses a message
        {0x00, 0x00, 0x0005, false, false},  // a code without a class is no error
        {0xD0, 0x00, 0xC000, true, true},    // STATUS_REQUEST_NOT_ACCEPTED
        {0x00, 0x01, 0xC000, true, true},    // STATUS_* with a zero low byte
        {0x00, 0x00, 0x0000, true, false},
    };
    for (const auto& c : cases) {
        Bytes reply = Header(0xD5);
        reply[5] = c.errorClass;
        reply[6] = c.reserved;
        reply[7] = static_cast<uint8_t>(c.errorCode & 0xFF);
        reply[8] = static_cast<uint8_t>(c.errorCode >> 8);
        reply[11] = c.ntStatus ? 0x40 : 0x00;
        Append(reply, {0x00, 0x00, 0x00});
        CPduBuffer buffer = BufferOf(reply);
        CSmbPdu pdu;
        pdu.Decode(buffer);
        EXPECT_EQ(pdu.IsError(), c.error) << int(c.errorClass) << "/" << int(c.reserved) << "/"
                                          << c.errorCode << " nt " << c.ntStatus;
    }
}

TEST(CSmbPdu, FinalReplyTakesTheStartHeaderAndTheLastMultiplexId) {
    CPduBuffer buffer = BufferOf(With(Header(0xD5, 0x0777, 0x0010), {0x00, 0x00, 0x00}));
    CSmbPdu_sendstrt start;
    start.Decode(buffer);
    buffer = BufferOf(With(Header(0xD6, 0x0888, 0x0013), {0x01, 0x01, 0x00, 0x00, 0x00}));
    CSmbPdu last;
    EXPECT_TRUE(last.Decode(buffer));
    EXPECT_EQ(last.Command(), 0xD6);
    EXPECT_EQ(last.GroupId(), 1);

    CSmbPdu_sendend reply = CSmbPdu_sendend::MakeFinalReply(start, last);
    EXPECT_EQ(Hex(Encoded(reply)), Hex(With(Header(0xD6, 0x0777, 0x0013), {0x00, 0x00, 0x00})));
}

Bytes TextChunk(uint16_t groupId, const std::string& chunk) {
    Bytes bytes = Header(0xD7, 0x04D2);
    Append(bytes, {0x01});
    AppendWord(bytes, groupId);
    AppendWord(bytes, static_cast<uint16_t>(3 + chunk.size()));
    Append(bytes, {0x01});
    AppendWord(bytes, static_cast<uint16_t>(chunk.size()));
    Append(bytes, chunk);
    return bytes;
}

// The open-source SMB client sends Start, Text blocks of 127 bytes and End,
// with its own process id and multiplex id 0.
TEST(CSmbPdu, DecodesAClientMultiBlockSequence) {
    std::string message;
    for (int i = 0; i < 231; ++i) {
        message.push_back(i % 40 == 39 ? '\r' : static_cast<char>('a' + i % 26));
    }
    Bytes startBytes = Header(0xD5, 0x04D2);
    Append(startBytes, {0x00, 0x0D, 0x00, 0x04});
    Append(startBytes, std::string("alice"));
    Append(startBytes, {0x00, 0x04});
    Append(startBytes, std::string("peer"));
    Append(startBytes, {0x00});

    CPduBuffer buffer = BufferOf(startBytes);
    CSmbPdu header;
    header.Decode(buffer);
    ASSERT_EQ(header.Command(), CSmbPdu::kCommandSendStart);
    CSmbPdu_sendstrt start;
    EXPECT_TRUE(start.Decode(buffer));
    EXPECT_EQ(start.Originator(), "alice");
    EXPECT_EQ(start.Destination(), "peer");
    CSmbPdu startReply = start.MakeReply(1);
    EXPECT_EQ(Hex(Encoded(startReply)),
              Hex(With(Header(0xD5, 0x04D2), {0x01, 0x01, 0x00, 0x00, 0x00})));

    std::string received;
    const std::vector<Bytes> chunks = {TextChunk(1, message.substr(0, 127)),
                                       TextChunk(1, message.substr(127))};
    EXPECT_EQ(chunks[0][35], 0x82);  // byte counts as the client writes them
    EXPECT_EQ(chunks[1][35], 0x6B);
    for (const Bytes& chunk : chunks) {
        buffer = BufferOf(chunk);
        CSmbPdu_sendtxt text;
        EXPECT_TRUE(text.Decode(buffer));
        EXPECT_EQ(text.Command(), CSmbPdu::kCommandSendText);
        EXPECT_EQ(text.GroupId(), 1);
        received += text.Text();
        CSmbPdu reply = text.MakeReply();
        EXPECT_EQ(Hex(Encoded(reply)), Hex(With(Header(0xD7, 0x04D2), {0x00, 0x00, 0x00})));
    }
    EXPECT_EQ(received, message);

    buffer = BufferOf(With(Header(0xD6, 0x04D2), {0x01, 0x01, 0x00, 0x00, 0x00}));
    CSmbPdu_sendend end;
    EXPECT_TRUE(end.Decode(buffer));
    EXPECT_EQ(end.Command(), CSmbPdu::kCommandSendEnd);
    EXPECT_EQ(end.GroupId(), 1);
}

struct MalformedCase {
    std::string name;
    Bytes bytes;
    uint32_t wordCount;
    uint32_t byteCount;
    std::string originator;
    std::string destination;
    std::string text;
};

TEST(CSmbPdu, MalformedMessagesDecodeAsFarAsTheyGo) {
    const std::vector<MalformedCase> cases = {
        {"empty", {}, 0, 0, "", "", ""},
        {"header only", Header(0xD0), 0, 0, "", "", ""},
        {"word count past the data", With(Header(0xD0), {0x05, 0x01, 0x00, 0x02, 0x00, 0x03}), 2, 0,
         "", "", ""},
        {"byte count past the data", With(Header(0xD0), {0x00, 0xFF, 0xFF, 0x04, 'A', 0x00}), 0, 3,
         "A", "", ""},
        {"originator without terminator",
         With(Header(0xD0), {0x00, 0x04, 0x00, 0x04, 'A', 'B', 'C'}), 0, 4, "ABC", "", ""},
        {"no text block", With(Header(0xD0), {0x00, 0x06, 0x00, 0x04, 'A', 0x00, 0x04, 'B', 0x00}),
         0, 6, "A", "B", ""},
        {"length byte alone",
         With(Header(0xD0), {0x00, 0x08, 0x00, 0x04, 'A', 0x00, 0x04, 'B', 0x00, 0x01, 0x02}), 0, 8,
         "A", "B", ""},
    };
    for (const MalformedCase& c : cases) {
        SCOPED_TRACE(c.name);
        CPduBuffer buffer = BufferOf(c.bytes);
        CSmbPdu_sends pdu;
        EXPECT_FALSE(pdu.Decode(buffer));
        EXPECT_EQ(pdu.WordCount(), c.wordCount);
        EXPECT_EQ(pdu.ByteCount(), c.byteCount);
        EXPECT_EQ(pdu.Originator(), c.originator);
        EXPECT_EQ(pdu.Destination(), c.destination);
        EXPECT_EQ(pdu.Text(), c.text);
    }
}

TEST(CSmbPdu, ShortHeaderFieldsStayZero) {
    // Eight bytes: the error code's second byte is missing, so neither it nor
    // the flags after it may take the lone byte.
    CPduBuffer buffer = BufferOf({0xFF, 'S', 'M', 'B', 0xD5, 0x01, 0x00, 0x33});
    CSmbPdu_sendstrt pdu;
    EXPECT_FALSE(pdu.Decode(buffer));
    EXPECT_EQ(pdu.Command(), 0xD5);
    EXPECT_EQ(pdu.ErrorClass(), 1);
    EXPECT_EQ(pdu.ErrorCode(), 0x33);
    EXPECT_EQ(pdu.Flags(), 0);

    // A Decode clears what an earlier one left.
    buffer = BufferOf({0xFF, 'S'});
    EXPECT_FALSE(pdu.Decode(buffer));
    EXPECT_EQ(pdu.Command(), 0);
    EXPECT_EQ(pdu.ErrorClass(), 0);
}

TEST(CSmbPdu, EncodeReportsAMessageThatDoesNotFit) {
    auto single = Single("A", "B", std::string(1000, 'x'));
    CPduBuffer buffer;
    EXPECT_FALSE(single.Encode(buffer));
    EXPECT_TRUE(buffer.Overflowed());
    EXPECT_EQ(buffer.Length(), CPduBuffer::kCapacity);

    CSmbPdu big;
    big.SetWordCount(300);
    EXPECT_EQ(big.WordCount(), 255u);
    big.SetDataBytes(Bytes(600, 0x55));
    EXPECT_FALSE(big.Encode(buffer));

    EXPECT_FALSE(big.SetDataBytes(Bytes(2000, 0x66)));
    EXPECT_EQ(big.ByteCount(), CSmbPdu::kMaxDataBytes);

    // The largest single block that fits: 1024 - 35 - 9 text bytes.
    auto fits = Single("A", "B", std::string(1024 - 35 - 9, 'y'));
    EXPECT_TRUE(fits.Encode(buffer));
    EXPECT_EQ(buffer.Length(), CPduBuffer::kCapacity);
}

TEST(CSmbPdu, WordAccessIsBoundedByTheWordCount) {
    CSmbPdu pdu;
    EXPECT_EQ(pdu.GroupId(), 0);
    pdu.SetWord(0, 5);  // no words yet: ignored
    EXPECT_EQ(pdu.WordCount(), 0u);
    pdu.SetWordCount(2);
    pdu.SetWord(1, 0xABCD);
    pdu.SetGroupId(9);
    EXPECT_EQ(pdu.WordCount(), 2u);
    EXPECT_EQ(pdu.Word(1), 0xABCD);
    EXPECT_EQ(pdu.Word(0), 9);
    EXPECT_EQ(pdu.Word(2), 0);
    pdu.SetWordCount(1);
    pdu.SetWordCount(2);
    EXPECT_EQ(pdu.Word(1), 0);  // a dropped word does not come back
}

}  // namespace
