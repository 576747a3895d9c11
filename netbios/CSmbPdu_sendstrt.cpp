#include "netbios/CSmbPdu_sendstrt.h"

#include "netbios/CPduBuffer.h"

CSmbPdu_sendstrt::CSmbPdu_sendstrt() {
    CSmbPdu_sendstrt::Reset();
}

void CSmbPdu_sendstrt::Reset() {
    CSmbPdu::Reset();
    SetCommand(kCommandSendStart);
    m_originator.clear();
    m_destination.clear();
}

bool CSmbPdu_sendstrt::Encode(CPduBuffer& buffer) {
    const std::string originator = ToOem(m_originator);
    const std::string destination = ToOem(m_destination);
    std::string data;
    if (!originator.empty() && !destination.empty()) {
        AppendString(data, 0x04, originator);
        AppendString(data, 0x04, destination);
    }
    SetWordCount(0);
    const bool fits = SetDataBytes(data);
    return CSmbPdu::Encode(buffer) && fits;
}

bool CSmbPdu_sendstrt::Decode(CPduBuffer& buffer) {
    const bool complete = CSmbPdu::Decode(buffer);
    const std::span<const uint8_t> data = DataBytes();
    size_t position = 1;  // the 0x04 buffer format
    const std::string originator = TakeString(data, position);
    position += 2;  // 0x00, 0x04
    const std::string destination = TakeString(data, position);
    m_originator = FromOem(originator);
    m_destination = FromOem(destination);
    return complete;
}
