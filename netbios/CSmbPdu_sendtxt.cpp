#include "netbios/CSmbPdu_sendtxt.h"

#include "netbios/CPduBuffer.h"

CSmbPdu_sendtxt::CSmbPdu_sendtxt() {
    CSmbPdu_sendtxt::Reset();
}

void CSmbPdu_sendtxt::Reset() {
    CSmbPdu::Reset();
    SetCommand(kCommandSendText);
    m_text.clear();
}

bool CSmbPdu_sendtxt::Encode(CPduBuffer& buffer) {
    const std::string text = ToOem(m_text);
    std::string data;
    if (!text.empty()) {
        AppendDataBlock(data, text);
    }
    const uint16_t groupId = GroupId();
    SetWordCount(1);
    SetGroupId(groupId);
    const bool fits = SetDataBytes(data);
    return CSmbPdu::Encode(buffer) && fits;
}

bool CSmbPdu_sendtxt::Decode(CPduBuffer& buffer) {
    const bool complete = CSmbPdu::Decode(buffer);
    const std::span<const uint8_t> data = DataBytes();
    // Data byte 0 is the 0x01 buffer format; the full 16-bit length follows.
    const uint16_t length = WordAt(data, 1);
    bool textComplete = false;
    m_text = FromOem(TakeBytes(data, 3, length, textComplete));
    // An empty text is sent without data bytes.
    return complete && (data.empty() || (data.size() >= 3 && textComplete));
}
