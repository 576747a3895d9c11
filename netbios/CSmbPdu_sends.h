#pragma once

#include <string>

#include "netbios/CSmbPdu.h"

// Send Single Block Message (0xD0): no words; data bytes 0x04 originator 0x00
// 0x04 destination 0x00 0x01 length(16 bits) text. When the originator or the
// destination is empty the message carries no data bytes at all.
//
// The text is written as given; a single block is meant for at most 128 OEM
// bytes, and cutting longer texts is up to the caller.
class CSmbPdu_sends : public CSmbPdu {
public:
    CSmbPdu_sends();

    bool Encode(CPduBuffer& buffer) override;
    // Reads the names up to their 0x00 and the text by its full 16-bit
    // length, all bounded by the data bytes received. False also when the
    // text was shorter than its length said.
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
