#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/nbt/NbtConstants.h"
#include "platform/nbt/NbtResult.h"
#include "platform/nbt/NbtSessionFrame.h"

// Cuts a TCP byte stream into session frames. Feed it whatever a read
// returned, then call Next until it yields nothing. A header is checked as
// soon as its 4 bytes are in, so a bad stream fails without waiting for a
// trailer. Errors are final: the stream cannot be resynchronised, so every
// later Next returns the same error and the connection should be dropped.
class NbtSessionFrameReader {
public:
    // Frames with a trailer longer than maxLength (at most 0x1FFFF) fail
    // with TooLarge.
    explicit NbtSessionFrameReader(uint32_t maxLength = kSsnMaxLength);

    // Copies bytes into the reader; ignored once the reader failed.
    void Feed(std::span<const uint8_t> bytes);
    // The next complete frame, nothing when more bytes are needed, or an
    // error: those of NbtSessionFrame::DecodeHeader, or TooLarge.
    NbtResult<std::optional<NbtSessionFrame>> Next();

    // Bytes received but not yet returned in a frame.
    size_t Buffered() const { return m_buffer.size() - m_start; }

private:
    uint32_t m_maxLength;
    NbtBytes m_buffer;
    size_t m_start = 0;
    std::optional<NbtError> m_error;
};
