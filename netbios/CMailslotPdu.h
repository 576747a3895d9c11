#pragma once

#include <string>

#include "netbios/CProtocolDataUnit.h"

// The messenger mailslot message: originator, destination and text, each in
// the OEM code page followed by 0x00. No header, length or checksum. The
// same bytes form the data of a broadcast Transaction datagram.
class CMailslotPdu : public CProtocolDataUnit {
public:
    bool Encode(CPduBuffer& buffer) override;
    // Each string runs up to the next 0x00 or the end of the data; a missing
    // string is empty. Returns false when the message ended before the
    // text's terminator.
    bool Decode(CPduBuffer& buffer) override;
    void Reset() override;

    const std::string& Originator() const { return m_originator; }
    void SetOriginator(const std::string& value) { m_originator = value; }
    const std::string& Destination() const { return m_destination; }
    void SetDestination(const std::string& value) { m_destination = value; }
    const std::string& Text() const { return m_text; }
    void SetText(const std::string& value) { m_text = value; }

private:
    std::string m_originator;
    std::string m_destination;
    std::string m_text;
};
