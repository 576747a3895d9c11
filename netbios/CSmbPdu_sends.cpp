#include "netbios/CSmbPdu_sends.h"

#include "netbios/CPduBuffer.h"

CSmbPdu_sends::CSmbPdu_sends() {
    CSmbPdu_sends::Reset();
}

void CSmbPdu_sends::Reset() {
    CSmbPdu::Reset();
    SetCommand(kCommandSendMessage);
    m_originator.clear();
    m_destination.clear();
    m_text.clear();
}

bool CSmbPdu_sends::Encode(CPduBuffer& buffer) {
    std::string data = NamesData(m_originator, m_destination);
    if (!data.empty()) {
        AppendDataBlock(data, ToOem(m_text));
    }
    SetWordCount(0);
    const bool fits = SetDataBytes(data);
    return CSmbPdu::Encode(buffer) && fits;
}

bool CSmbPdu_sends::Decode(CPduBuffer& buffer) {
    const bool complete = CSmbPdu::Decode(buffer);
    const std::span<const uint8_t> data = DataBytes();
    size_t position = 0;
    std::string originator;
    std::string destination;
    TakeNames(data, position, originator, destination);
    position += 2;  // 0x00, 0x01
    // Both bytes of the length count: reading only the low byte would cut
    // a longer block, or take part of it as the text of a shorter one.
    const bool lengthPresent = position + 2 <= data.size();
    const uint16_t length = WordAt(data, position);
    position += 2;
    bool textComplete = false;
    const std::string text = TakeBytes(data, position, length, textComplete);
    m_originator = FromOem(originator);
    m_destination = FromOem(destination);
    m_text = FromOem(text);
    // No data bytes at all is a whole message (empty names); otherwise the
    // text block must be there in full.
    return complete && (data.empty() || (lengthPresent && textComplete));
}
