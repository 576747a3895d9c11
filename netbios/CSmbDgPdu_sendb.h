#pragma once

#include <cstdint>
#include <string>

#include "netbios/CSmbPdu.h"

// A broadcast message as a datagram: an SMB Transaction (0x25) that writes
// the mailslot message (originator, destination, text; see CMailslotPdu) to a
// mailslot, normally \MAILSLOT\MESSNGR.
class CSmbDgPdu_sendb : public CSmbPdu {
public:
    static constexpr const char* kMessengerMailslot = "\\MAILSLOT\\MESSNGR";

    CSmbDgPdu_sendb();

    // Writes a complete mailslot write request: command 0x25, the header
    // fields as set, 17 words (data count, data offset 69 + name length + 1,
    // setup words 1 = write, the priority, 2 = second class), the mailslot
    // name, 0x00 and the three-string message right after it. Returns false
    // when it does not fit into the buffer.
    bool Encode(CPduBuffer& buffer) override;
    // Accepts any header and skips the parameter words. From the data bytes:
    // the mailslot name is every leading byte of value 6 or more; bytes below
    // 6 after it are skipped; then the originator up to 0x00, any 0x00 bytes,
    // the destination up to 0x00, any 0x00 bytes, and the text up to 0x00 or
    // the end of the data. Returns false when the data bytes were cut short.
    bool Decode(CPduBuffer& buffer) override;
    // Clears every field; the command reads 0xD0 until Encode or Decode sets
    // it, and the mailslot name becomes kMessengerMailslot.
    void Reset() override;

    // ASCII; IsMessengerMailslot tells a messenger broadcast from other
    // mailslot traffic.
    const std::string& MailslotName() const { return m_mailslotName; }
    // True when the mailslot name is kMessengerMailslot in any letter case,
    // as mailslot names are compared.
    bool IsMessengerMailslot() const;
    void SetMailslotName(const std::string& value) { m_mailslotName = value; }
    const std::string& Originator() const { return m_originator; }
    void SetOriginator(const std::string& value) { m_originator = value; }
    const std::string& Destination() const { return m_destination; }
    void SetDestination(const std::string& value) { m_destination = value; }
    const std::string& Text() const { return m_text; }
    void SetText(const std::string& value) { m_text = value; }
    // Setup word 1; receivers ignore it.
    uint16_t Priority() const { return m_priority; }
    void SetPriority(uint16_t value) { m_priority = value; }

private:
    std::string m_mailslotName;
    std::string m_originator;
    std::string m_destination;
    std::string m_text;
    uint16_t m_priority = 0;
};
