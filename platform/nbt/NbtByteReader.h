#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Bounds-checked reads from a byte buffer it does not own. Every read returns
// false and leaves the position unchanged when the buffer is too short.
class NbtByteReader {
public:
    explicit NbtByteReader(std::span<const uint8_t> data, size_t position = 0)
        : m_data(data), m_position(position <= data.size() ? position : data.size()) {}

    bool ReadU8(uint8_t& value);
    bool ReadU16Be(uint16_t& value);
    bool ReadU32Be(uint32_t& value);
    bool ReadU16Le(uint16_t& value);
    bool ReadU32Le(uint32_t& value);
    // On success bytes views the next count bytes of the buffer.
    bool ReadBytes(size_t count, std::span<const uint8_t>& bytes);
    bool Skip(size_t count);

    size_t Position() const { return m_position; }
    size_t Remaining() const { return m_data.size() - m_position; }
    std::span<const uint8_t> Data() const { return m_data; }

private:
    std::span<const uint8_t> m_data;
    size_t m_position;
};
