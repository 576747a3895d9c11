#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

#include "platform/nbt/NbtResult.h"

// Small helpers for writing wire bytes in the NetBIOS codec tests.
namespace nbttest {

// Concatenates byte values and strings: Bytes({0x20}, "FEEF", {0x00}).
class Bytes {
public:
    Bytes() = default;
    Bytes(std::initializer_list<int> values) { Add(values); }
    Bytes(std::string_view text) { Add(text); }
    Bytes(const NbtBytes& bytes) : m_bytes(bytes) {}

    Bytes& Add(std::initializer_list<int> values) {
        for (const int v : values) {
            m_bytes.push_back(static_cast<uint8_t>(v));
        }
        return *this;
    }
    Bytes& Add(std::string_view text) {
        m_bytes.insert(m_bytes.end(), text.begin(), text.end());
        return *this;
    }
    Bytes& Add(const NbtBytes& bytes) {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        return *this;
    }
    Bytes& Repeat(uint8_t value, size_t count) {
        m_bytes.insert(m_bytes.end(), count, value);
        return *this;
    }
    operator const NbtBytes&() const { return m_bytes; }
    operator std::span<const uint8_t>() const { return m_bytes; }
    const NbtBytes& Get() const { return m_bytes; }

private:
    NbtBytes m_bytes;
};

inline void PatchU16Le(NbtBytes& bytes, size_t offset, uint16_t value) {
    bytes.at(offset) = static_cast<uint8_t>(value);
    bytes.at(offset + 1) = static_cast<uint8_t>(value >> 8);
}

inline void PatchU16Be(NbtBytes& bytes, size_t offset, uint16_t value) {
    bytes.at(offset) = static_cast<uint8_t>(value >> 8);
    bytes.at(offset + 1) = static_cast<uint8_t>(value);
}

inline uint16_t U16Le(const NbtBytes& bytes, size_t offset) {
    return static_cast<uint16_t>(bytes.at(offset) | (bytes.at(offset + 1) << 8));
}

}  // namespace nbttest
