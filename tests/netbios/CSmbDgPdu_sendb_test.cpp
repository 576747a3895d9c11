#include "netbios/CSmbDgPdu_sendb.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "netbios/CPduBuffer.h"
#include "netbios/PduTestBytes.h"
#include "platform/CvOemCodec.h"

namespace {

using PduTestBytes::Append;
using PduTestBytes::AppendWord;
using PduTestBytes::BufferOf;
using PduTestBytes::Bytes;
using PduTestBytes::Header;
using PduTestBytes::Hex;

// A mailslot write Transaction as other stations send it: `padding` zero bytes
// between the name's terminator and the data, the given timeout and priority.
Bytes Transaction(const std::string& mailslot, const std::string& data, size_t padding = 0,
                  uint32_t timeout = 0, uint16_t priority = 1) {
    Bytes bytes = Header(0x25);
    const auto dataCount = static_cast<uint16_t>(data.size());
    bytes.push_back(17);
    for (uint16_t word :
         {uint16_t{0}, dataCount, uint16_t{0}, uint16_t{0}, uint16_t{0}, uint16_t{0}}) {
        AppendWord(bytes, word);
    }
    AppendWord(bytes, static_cast<uint16_t>(timeout & 0xFFFF));
    AppendWord(bytes, static_cast<uint16_t>(timeout >> 16));
    const auto dataOffset = static_cast<uint16_t>(69 + mailslot.size() + 1 + padding);
    for (uint16_t word : {uint16_t{0}, uint16_t{0}, uint16_t{0}, dataCount, dataOffset, uint16_t{3},
                          uint16_t{1}, priority, uint16_t{2}}) {
        AppendWord(bytes, word);
    }
    AppendWord(bytes, static_cast<uint16_t>(mailslot.size() + 1 + padding + data.size()));
    Append(bytes, mailslot);
    bytes.insert(bytes.end(), 1 + padding, 0x00);
    Append(bytes, data);
    return bytes;
}

const std::string kMessage("ALICE\0WORKGROUP\0hi\0", 19);

TEST(CSmbDgPdu_sendb, EncodesAMailslotWriteTransaction) {
    CSmbDgPdu_sendb pdu;
    pdu.SetOriginator("ALICE");
    pdu.SetDestination("WORKGROUP");
    pdu.SetText("hi");
    pdu.SetPriority(1);
    CPduBuffer buffer;
    ASSERT_TRUE(pdu.Encode(buffer));
    const Bytes bytes = PduTestBytes::Of(buffer);
    EXPECT_EQ(Hex(bytes), Hex(Transaction("\\MAILSLOT\\MESSNGR", kMessage)));
    EXPECT_EQ(bytes.size(), 87u + kMessage.size());
    EXPECT_EQ(bytes[57], 87);  // DataOffset
    EXPECT_EQ(bytes[4], 0x25);
    EXPECT_EQ(pdu.Command(), CSmbPdu::kCommandTransaction);
}

struct DecodeCase {
    std::string name;
    Bytes bytes;
    bool complete;
    std::string mailslot;
    std::string originator;
    std::string destination;
    std::string text;
};

TEST(CSmbDgPdu_sendb, DecodesTheMessageFromTheTransactionData) {
    Bytes cut = Transaction("\\MAILSLOT\\MESSNGR", kMessage);
    cut.resize(cut.size() - 4);
    const std::vector<DecodeCase> cases = {
        {"as written here", Transaction("\\MAILSLOT\\MESSNGR", kMessage), true,
         "\\MAILSLOT\\MESSNGR", "ALICE", "WORKGROUP", "hi"},
        {"another mailslot", Transaction("\\MAILSLOT\\BROWSE", kMessage), true,
         "\\MAILSLOT\\BROWSE", "ALICE", "WORKGROUP", "hi"},
        {"padding after the name, timeout and priority 0",
         Transaction("\\MAILSLOT\\MESSNGR", kMessage, 3, 1000, 0), true, "\\MAILSLOT\\MESSNGR",
         "ALICE", "WORKGROUP", "hi"},
        {"repeated terminators between the strings",
         Transaction("\\MAILSLOT\\MESSNGR", std::string("A\0\0\0B\0\0text", 11)), true,
         "\\MAILSLOT\\MESSNGR", "A", "B", "text"},
        {"text without terminator",
         Transaction("\\MAILSLOT\\MESSNGR", std::string("A\0B\0open end", 12)), true,
         "\\MAILSLOT\\MESSNGR", "A", "B", "open end"},
        {"data cut short", cut, false, "\\MAILSLOT\\MESSNGR", "ALICE", "WORKGROUP", ""},
        {"no data", Header(0x25), false, "", "", "", ""},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        CPduBuffer buffer = BufferOf(c.bytes);
        CSmbDgPdu_sendb pdu;
        EXPECT_EQ(pdu.Decode(buffer), c.complete);
        EXPECT_EQ(pdu.MailslotName(), c.mailslot);
        EXPECT_EQ(pdu.Originator(), c.originator);
        EXPECT_EQ(pdu.Destination(), c.destination);
        EXPECT_EQ(pdu.Text(), c.text);
    }
}

TEST(CSmbDgPdu_sendb, OnlyTheMessengerMailslotIsAMessage) {
    CPduBuffer buffer = BufferOf(Transaction("\\MAILSLOT\\BROWSE", kMessage));
    CSmbDgPdu_sendb pdu;
    pdu.Decode(buffer);
    EXPECT_NE(pdu.MailslotName(), CSmbDgPdu_sendb::kMessengerMailslot);

    buffer = BufferOf(Transaction("\\MAILSLOT\\MESSNGR", kMessage));
    pdu.Decode(buffer);
    EXPECT_EQ(pdu.MailslotName(), CSmbDgPdu_sendb::kMessengerMailslot);
}

TEST(CSmbDgPdu_sendb, TheMessengerMailslotIsRecognisedInAnyLetterCase) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"\\MAILSLOT\\MESSNGR", true},   {"\\mailslot\\messngr", true},
        {"\\MailSlot\\Messngr", true},   {"\\MAILSLOT\\BROWSE", false},
        {"\\MAILSLOT\\MESSNGR2", false}, {"\\MAILSLOT\\MESSNG", false},
    };
    for (const auto& [name, messenger] : cases) {
        CPduBuffer buffer = BufferOf(Transaction(name, kMessage));
        CSmbDgPdu_sendb pdu;
        pdu.Decode(buffer);
        EXPECT_EQ(pdu.IsMessengerMailslot(), messenger) << name;
    }
}

TEST(CSmbDgPdu_sendb, RoundTripsNonAsciiTextInTheOemPage) {
    const CvOemCodec cp866(866);
    CSmbDgPdu_sendb pdu;
    pdu.SetOemCodec(cp866);
    pdu.SetOriginator("ИВАН");
    pdu.SetDestination("ОТДЕЛ");
    pdu.SetText("Привет всем");
    CPduBuffer buffer;
    ASSERT_TRUE(pdu.Encode(buffer));
    // One OEM byte per character: 4 + 5 + 11 plus three terminators.
    EXPECT_EQ(pdu.Word(11), 23);
    EXPECT_EQ(buffer.Length(), 87u + 23u);

    CSmbDgPdu_sendb decoded;
    decoded.SetOemCodec(cp866);
    EXPECT_TRUE(decoded.Decode(buffer));
    EXPECT_EQ(decoded.Originator(), "ИВАН");
    EXPECT_EQ(decoded.Destination(), "ОТДЕЛ");
    EXPECT_EQ(decoded.Text(), "Привет всем");
}

TEST(CSmbDgPdu_sendb, EncodeReportsATextThatDoesNotFit) {
    CSmbDgPdu_sendb pdu;
    pdu.SetOriginator("A");
    pdu.SetDestination("B");
    pdu.SetText(std::string(1024 - 87 - 5, 'x'));
    CPduBuffer buffer;
    EXPECT_TRUE(pdu.Encode(buffer));
    EXPECT_EQ(buffer.Length(), CPduBuffer::kCapacity);
    pdu.SetText(std::string(1024 - 87 - 4, 'x'));
    EXPECT_FALSE(pdu.Encode(buffer));
}

}  // namespace
