#include "platform/nbt/NbtByteWriter.h"

void NbtByteWriter::WriteU16Be(uint16_t value) {
    m_bytes.push_back(static_cast<uint8_t>(value >> 8));
    m_bytes.push_back(static_cast<uint8_t>(value));
}

void NbtByteWriter::WriteU32Be(uint32_t value) {
    WriteU16Be(static_cast<uint16_t>(value >> 16));
    WriteU16Be(static_cast<uint16_t>(value));
}

void NbtByteWriter::WriteU16Le(uint16_t value) {
    m_bytes.push_back(static_cast<uint8_t>(value));
    m_bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void NbtByteWriter::WriteU32Le(uint32_t value) {
    WriteU16Le(static_cast<uint16_t>(value));
    WriteU16Le(static_cast<uint16_t>(value >> 16));
}

void NbtByteWriter::WriteBytes(std::span<const uint8_t> bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
}

void NbtByteWriter::WriteString(std::string_view bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
}
