#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/nbt/NbtResult.h"

// Appends fields to a byte vector it owns; Take() hands the bytes over.
class NbtByteWriter {
public:
    void WriteU8(uint8_t value) { m_bytes.push_back(value); }
    void WriteU16Be(uint16_t value);
    void WriteU32Be(uint32_t value);
    void WriteU16Le(uint16_t value);
    void WriteU32Le(uint32_t value);
    void WriteBytes(std::span<const uint8_t> bytes);
    void WriteString(std::string_view bytes);

    size_t Size() const { return m_bytes.size(); }
    NbtBytes Take() { return std::move(m_bytes); }

private:
    NbtBytes m_bytes;
};
