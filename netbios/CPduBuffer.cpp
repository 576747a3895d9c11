#include "netbios/CPduBuffer.h"

#include <algorithm>
#include <cstring>

void CPduBuffer::Clear() {
    m_length = 0;
    m_readPosition = 0;
    m_overflowed = false;
}

bool CPduBuffer::WriteByte(uint8_t value) {
    return WriteBytes(&value, 1) == 1;
}

uint32_t CPduBuffer::WriteBytes(const void* data, size_t count) {
    const size_t room = kCapacity - m_length;
    const size_t stored = std::min(count, room);
    if (stored < count) {
        m_overflowed = true;
    }
    if (stored > 0) {
        std::memcpy(m_data + m_length, data, stored);
        m_length += static_cast<uint32_t>(stored);
    }
    return static_cast<uint32_t>(stored);
}

bool CPduBuffer::WriteWord(uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)};
    return WriteBytes(bytes, sizeof bytes) == sizeof bytes;
}

uint32_t CPduBuffer::ReadBytes(void* out, size_t count) {
    const size_t copied = std::min<size_t>(count, Remaining());
    if (copied > 0) {
        std::memcpy(out, m_data + m_readPosition, copied);
        m_readPosition += static_cast<uint32_t>(copied);
    }
    return static_cast<uint32_t>(copied);
}

bool CPduBuffer::ReadByte(uint8_t& value) {
    return ReadBytes(&value, 1) == 1;
}

bool CPduBuffer::ReadWord(uint16_t& value) {
    if (Remaining() < 2) {
        return false;
    }
    uint8_t bytes[2];
    ReadBytes(bytes, sizeof bytes);
    value = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    return true;
}

uint32_t CPduBuffer::Skip(size_t count) {
    const size_t skipped = std::min<size_t>(count, Remaining());
    m_readPosition += static_cast<uint32_t>(skipped);
    return static_cast<uint32_t>(skipped);
}

bool CPduBuffer::Assign(std::span<const uint8_t> bytes) {
    Clear();
    WriteBytes(bytes.data(), bytes.size());
    return !m_overflowed;
}

void CPduBuffer::SetLength(uint32_t length) {
    m_length = std::min(length, kCapacity);
    m_readPosition = 0;
}
