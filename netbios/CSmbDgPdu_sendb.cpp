#include "netbios/CSmbDgPdu_sendb.h"

#include <algorithm>
#include <string_view>

#include "netbios/CMailslotPdu.h"
#include "netbios/CPduBuffer.h"

namespace {

constexpr uint32_t kTransactionWords = 17;
// Header, word count, 17 words and the byte count: where the name starts.
constexpr uint32_t kNameOffset = CSmbPdu::kHeaderSize + 1 + 2 * kTransactionWords + 2;
constexpr uint16_t kSetupCount = 3;
constexpr uint16_t kMailslotWrite = 1;
constexpr uint16_t kSecondClass = 2;

// Word indexes of the Transaction request.
enum TransactionWord : uint32_t {
    kTotalDataCount = 1,
    kDataCount = 11,
    kDataOffset = 12,
    kSetupCountWord = 13,
    kOpcode = 14,
    kPriority = 15,
    kClass = 16,
};

}  // namespace

CSmbDgPdu_sendb::CSmbDgPdu_sendb() {
    CSmbDgPdu_sendb::Reset();
}

void CSmbDgPdu_sendb::Reset() {
    CSmbPdu::Reset();
    SetCommand(kCommandSendMessage);
    m_mailslotName = kMessengerMailslot;
    m_originator.clear();
    m_destination.clear();
    m_text.clear();
    m_priority = 0;
}

bool CSmbDgPdu_sendb::Encode(CPduBuffer& buffer) {
    CMailslotPdu message;
    message.SetOemCodec(OemCodec());
    message.SetOriginator(m_originator);
    message.SetDestination(m_destination);
    message.SetText(m_text);
    CPduBuffer payload;
    const bool payloadFits = message.Encode(payload);

    const std::string name = ToOem(m_mailslotName);
    const uint32_t dataOffset = kNameOffset + static_cast<uint32_t>(name.size()) + 1;
    const auto dataCount = static_cast<uint16_t>(payload.Length());

    SetCommand(kCommandTransaction);
    SetWordCount(0);  // all words 0 but those set below
    SetWordCount(kTransactionWords);
    SetWord(kTotalDataCount, dataCount);
    SetWord(kDataCount, dataCount);
    SetWord(kDataOffset, static_cast<uint16_t>(dataOffset));
    SetWord(kSetupCountWord, kSetupCount);
    SetWord(kOpcode, kMailslotWrite);
    SetWord(kPriority, m_priority);
    SetWord(kClass, kSecondClass);

    std::string data = name;
    data.push_back('\0');
    data.append(reinterpret_cast<const char*>(payload.Data()), payload.Length());
    const bool dataFits = SetDataBytes(data);
    return CSmbPdu::Encode(buffer) && payloadFits && dataFits;
}

bool CSmbDgPdu_sendb::Decode(CPduBuffer& buffer) {
    const bool complete = CSmbPdu::Decode(buffer);
    const std::span<const uint8_t> data = DataBytes();
    size_t position = 0;
    std::string name;
    while (position < data.size() && data[position] >= 6) {
        name.push_back(static_cast<char>(data[position++]));
    }
    while (position < data.size() && data[position] < 6) {
        ++position;
    }
    const auto skipZeros = [&data, &position] {
        while (position < data.size() && data[position] == 0) {
            ++position;
        }
    };
    const std::string originator = TakeString(data, position);
    skipZeros();
    const std::string destination = TakeString(data, position);
    skipZeros();
    const std::string text = TakeString(data, position);
    m_mailslotName = FromOem(name);
    m_originator = FromOem(originator);
    m_destination = FromOem(destination);
    m_text = FromOem(text);
    return complete;
}

bool CSmbDgPdu_sendb::IsMessengerMailslot() const {
    // ASCII folding only: the locale must not decide what a name on the
    // wire means.
    const auto upper = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
    const std::string_view expected = kMessengerMailslot;
    return std::equal(m_mailslotName.begin(), m_mailslotName.end(), expected.begin(),
                      expected.end(),
                      [&](unsigned char a, unsigned char b) { return upper(a) == upper(b); });
}
