#pragma once

#include <string>

#include "netbios/CSmbPdu.h"

// Send Start of Multi-block Message (0xD5): no words; data bytes 0x04
// originator 0x00 0x04 destination 0x00, or none when either name is empty.
// The reply carries the message group id in word 0 (GroupId()).
class CSmbPdu_sendstrt : public CSmbPdu {
public:
    CSmbPdu_sendstrt();

    bool Encode(CPduBuffer& buffer) override;
    // Reads both names up to their 0x00, bounded by the data bytes received.
    bool Decode(CPduBuffer& buffer) override;
    void Reset() override;

    const std::string& Originator() const { return m_originator; }
    void SetOriginator(const std::string& value) { m_originator = value; }
    const std::string& Destination() const { return m_destination; }
    void SetDestination(const std::string& value) { m_destination = value; }

private:
    std::string m_originator;
    std::string m_destination;
};
