#include "platform/nbt/NbtByteReader.h"

bool NbtByteReader::ReadU8(uint8_t& value) {
    if (Remaining() < 1) {
        return false;
    }
    value = m_data[m_position++];
    return true;
}

bool NbtByteReader::ReadU16Be(uint16_t& value) {
    if (Remaining() < 2) {
        return false;
    }
    value = static_cast<uint16_t>((m_data[m_position] << 8) | m_data[m_position + 1]);
    m_position += 2;
    return true;
}

bool NbtByteReader::ReadU32Be(uint32_t& value) {
    if (Remaining() < 4) {
        return false;
    }
    value = (uint32_t{m_data[m_position]} << 24) | (uint32_t{m_data[m_position + 1]} << 16) |
            (uint32_t{m_data[m_position + 2]} << 8) | uint32_t{m_data[m_position + 3]};
    m_position += 4;
    return true;
}

bool NbtByteReader::ReadU16Le(uint16_t& value) {
    if (Remaining() < 2) {
        return false;
    }
    value = static_cast<uint16_t>(m_data[m_position] | (m_data[m_position + 1] << 8));
    m_position += 2;
    return true;
}

bool NbtByteReader::ReadU32Le(uint32_t& value) {
    if (Remaining() < 4) {
        return false;
    }
    value = uint32_t{m_data[m_position]} | (uint32_t{m_data[m_position + 1]} << 8) |
            (uint32_t{m_data[m_position + 2]} << 16) | (uint32_t{m_data[m_position + 3]} << 24);
    m_position += 4;
    return true;
}

bool NbtByteReader::ReadBytes(size_t count, std::span<const uint8_t>& bytes) {
    if (Remaining() < count) {
        return false;
    }
    bytes = m_data.subspan(m_position, count);
    m_position += count;
    return true;
}

bool NbtByteReader::Skip(size_t count) {
    if (Remaining() < count) {
        return false;
    }
    m_position += count;
    return true;
}
