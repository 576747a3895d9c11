// Every decoder against every prefix of every valid message, and against
// arbitrary bytes: decoding must stay inside the received bytes (the
// sanitizer builds catch any slip) and report a cut message as incomplete.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "netbios/CMailslotPdu.h"
#include "netbios/CPduBuffer.h"
#include "netbios/CSmbDgPdu_sendb.h"
#include "netbios/CSmbPdu.h"
#include "netbios/CSmbPdu_sendend.h"
#include "netbios/CSmbPdu_sends.h"
#include "netbios/CSmbPdu_sendstrt.h"
#include "netbios/CSmbPdu_sendtxt.h"
#include "netbios/PduTestBytes.h"

namespace {

using PduTestBytes::BufferOf;
using PduTestBytes::Bytes;

std::vector<std::unique_ptr<CProtocolDataUnit>> AllDecoders() {
    std::vector<std::unique_ptr<CProtocolDataUnit>> decoders;
    decoders.push_back(std::make_unique<CSmbPdu>());
    decoders.push_back(std::make_unique<CSmbPdu_sends>());
    decoders.push_back(std::make_unique<CSmbPdu_sendstrt>());
    decoders.push_back(std::make_unique<CSmbPdu_sendtxt>());
    decoders.push_back(std::make_unique<CSmbPdu_sendend>());
    decoders.push_back(std::make_unique<CSmbDgPdu_sendb>());
    decoders.push_back(std::make_unique<CMailslotPdu>());
    return decoders;
}

struct ValidMessage {
    std::string name;
    std::function<std::unique_ptr<CProtocolDataUnit>()> make;
};

std::vector<ValidMessage> ValidMessages() {
    return {
        {"single block",
         [] {
             auto pdu = std::make_unique<CSmbPdu_sends>();
             pdu->SetOriginator("ALICE");
             pdu->SetDestination("BOB");
             pdu->SetText("hello there");
             return pdu;
         }},
        {"start",
         [] {
             auto pdu = std::make_unique<CSmbPdu_sendstrt>();
             pdu->SetOriginator("ALICE");
             pdu->SetDestination("BOB");
             return pdu;
         }},
        {"text",
         [] {
             auto pdu = std::make_unique<CSmbPdu_sendtxt>();
             pdu->SetGroupId(4);
             pdu->SetText(std::string(127, 't'));
             return pdu;
         }},
        {"end",
         [] {
             auto pdu = std::make_unique<CSmbPdu_sendend>();
             pdu->SetGroupId(4);
             return pdu;
         }},
        {"broadcast datagram",
         [] {
             auto pdu = std::make_unique<CSmbDgPdu_sendb>();
             pdu->SetOriginator("ALICE");
             pdu->SetDestination("WORKGROUP");
             pdu->SetText("to all");
             return pdu;
         }},
        {"mailslot message",
         [] {
             auto pdu = std::make_unique<CMailslotPdu>();
             pdu->SetOriginator("ALICE");
             pdu->SetDestination("BOB");
             pdu->SetText("hi");
             return pdu;
         }},
    };
}

TEST(PduTruncation, EveryPrefixDecodesSafelyAndOnlyTheWholeIsComplete) {
    for (const ValidMessage& message : ValidMessages()) {
        SCOPED_TRACE(message.name);
        CPduBuffer encoded;
        ASSERT_TRUE(message.make()->Encode(encoded));
        const Bytes whole = PduTestBytes::Of(encoded);
        for (size_t length = 0; length <= whole.size(); ++length) {
            SCOPED_TRACE(length);
            const Bytes prefix(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(length));
            for (auto& decoder : AllDecoders()) {
                CPduBuffer buffer = BufferOf(prefix);
                decoder->Decode(buffer);
                EXPECT_EQ(buffer.Length(), length);
            }
            CPduBuffer buffer = BufferOf(prefix);
            EXPECT_EQ(message.make()->Decode(buffer), length == whole.size());
        }
    }
}

TEST(PduTruncation, ArbitraryBytesNeverBreakADecoder) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<size_t> size(0, CPduBuffer::kCapacity);
    for (int round = 0; round < 300; ++round) {
        Bytes bytes(size(random));
        for (uint8_t& b : bytes) {
            b = static_cast<uint8_t>(byte(random));
        }
        if (bytes.size() > 32 && round % 2 == 0) {
            bytes[32] = 0xFF;  // the largest word count
        }
        for (auto& decoder : AllDecoders()) {
            CPduBuffer buffer = BufferOf(bytes);
            decoder->Decode(buffer);
            if (auto* smb = dynamic_cast<CSmbPdu*>(decoder.get())) {
                EXPECT_LE(smb->WordCount(), 255u);
                // Stored words and data bytes are always ones that arrived.
                if (smb->ByteCount() > 0) {
                    EXPECT_LE(35 + 2 * smb->WordCount() + smb->ByteCount(), bytes.size());
                }
            }
        }
    }
}

}  // namespace
