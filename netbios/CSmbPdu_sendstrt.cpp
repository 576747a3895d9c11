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
    SetWordCount(0);
    const bool fits = SetDataBytes(NamesData(m_originator, m_destination));
    return CSmbPdu::Encode(buffer) && fits;
}

bool CSmbPdu_sendstrt::Decode(CPduBuffer& buffer) {
    const bool complete = CSmbPdu::Decode(buffer);
    size_t position = 0;
    std::string originator;
    std::string destination;
    TakeNames(DataBytes(), position, originator, destination);
    m_originator = FromOem(originator);
    m_destination = FromOem(destination);
    return complete;
}
