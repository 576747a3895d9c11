#pragma once

#include <string>

#include "netbios/CSmbPdu.h"

// Send Text of Multi-block Message (0xD7): one word, the message group id;
// data bytes 0x01 length(16 bits) text, or none when the text is empty.
//
// The text is written as given; a block is meant for at most 128 OEM bytes,
// and splitting a message into blocks is up to the caller.
class CSmbPdu_sendtxt : public CSmbPdu {
public:
    CSmbPdu_sendtxt();

    bool Encode(CPduBuffer& buffer) override;
    // Reads the text by its full 16-bit length, bounded by the data bytes
    // received. False also when the text was shorter than its length said.
    bool Decode(CPduBuffer& buffer) override;
    void Reset() override;

    const std::string& Text() const { return m_text; }
    void SetText(const std::string& value) { m_text = value; }

private:
    std::string m_text;
};
