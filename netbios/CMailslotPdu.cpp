#include "netbios/CMailslotPdu.h"

#include "netbios/CPduBuffer.h"

namespace {

// The bytes up to the next 0x00 (consumed) or the end; `terminated` tells
// which.
std::string ReadString(CPduBuffer& buffer, bool& terminated) {
    std::string text;
    uint8_t byte = 0;
    terminated = false;
    while (buffer.ReadByte(byte)) {
        if (byte == 0) {
            terminated = true;
            break;
        }
        text.push_back(static_cast<char>(byte));
    }
    return text;
}

void WriteString(CPduBuffer& buffer, const std::string& text) {
    buffer.WriteBytes(text.data(), text.size());
    buffer.WriteByte(0);
}

}  // namespace

void CMailslotPdu::Reset() {
    m_originator.clear();
    m_destination.clear();
    m_text.clear();
}

bool CMailslotPdu::Encode(CPduBuffer& buffer) {
    buffer.Clear();
    WriteString(buffer, ToOem(m_originator));
    WriteString(buffer, ToOem(m_destination));
    WriteString(buffer, ToOem(m_text));
    return !buffer.Overflowed();
}

bool CMailslotPdu::Decode(CPduBuffer& buffer) {
    buffer.Rewind();
    bool terminated = false;
    m_originator = FromOem(ReadString(buffer, terminated));
    m_destination = FromOem(ReadString(buffer, terminated));
    m_text = FromOem(ReadString(buffer, terminated));
    return terminated;
}
