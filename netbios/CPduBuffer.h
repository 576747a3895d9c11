#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// One protocol message as it travels in a session message, a datagram or a
// mailslot write: a fixed 1024-byte data area, the number of bytes in use and
// a read position. Writing appends at the length; reading copies from the read
// position; both advance.
//
// The area never grows. A write that does not fit stores only the bytes that
// do and drops the rest; the buffer then reports Overflowed() until it is
// cleared, so an encoder can tell that its output is incomplete and must not
// be sent. Reads never go past the length.
class CPduBuffer {
public:
    static constexpr uint32_t kCapacity = 1024;

    // Empties the buffer: length, read position and the overflow mark are 0.
    void Clear();

    // Appends one byte; false (nothing stored, overflow marked) when full.
    bool WriteByte(uint8_t value);
    // Appends up to `count` bytes; returns how many were stored. Fewer than
    // `count` marks the overflow.
    uint32_t WriteBytes(const void* data, size_t count);
    // Little-endian 16-bit value; false when not both bytes fitted.
    bool WriteWord(uint16_t value);

    // Copies up to `count` bytes from the read position into `out`; returns
    // how many were copied (fewer at the end of the data).
    uint32_t ReadBytes(void* out, size_t count);
    // One byte; false and `value` untouched at the end of the data.
    bool ReadByte(uint8_t& value);
    // Little-endian 16-bit value; false and `value` untouched when fewer than
    // two bytes are left (the read position is then left unchanged).
    bool ReadWord(uint16_t& value);
    // Advances the read position by up to `count` bytes; returns how many.
    uint32_t Skip(size_t count);
    // Moves the read position back to the first byte.
    void Rewind() { m_readPosition = 0; }

    // Replaces the content with `bytes`; the read position goes to 0. Only the
    // first kCapacity bytes are kept: returns false (overflow marked) when
    // `bytes` was longer.
    bool Assign(std::span<const uint8_t> bytes);

    // For a receive that fills Data() directly: sets the number of bytes
    // received (at most kCapacity) and rewinds the read position.
    void SetLength(uint32_t length);

    uint32_t Length() const { return m_length; }
    uint32_t ReadPosition() const { return m_readPosition; }
    uint32_t Remaining() const { return m_length - m_readPosition; }
    bool Overflowed() const { return m_overflowed; }

    // The whole kCapacity-byte area, for receiving into.
    uint8_t* Data() { return m_data; }
    const uint8_t* Data() const { return m_data; }
    // The bytes in use.
    std::span<const uint8_t> Bytes() const { return {m_data, m_length}; }

private:
    uint8_t m_data[kCapacity] = {};
    uint32_t m_length = 0;
    uint32_t m_readPosition = 0;
    bool m_overflowed = false;
};
