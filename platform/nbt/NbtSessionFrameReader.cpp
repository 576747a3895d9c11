#include "platform/nbt/NbtSessionFrameReader.h"

#include <algorithm>

NbtSessionFrameReader::NbtSessionFrameReader(uint32_t maxLength)
    : m_maxLength(std::min(maxLength, kSsnMaxLength)) {}

void NbtSessionFrameReader::Feed(std::span<const uint8_t> bytes) {
    if (m_error) {
        return;
    }
    // Drop consumed bytes before growing, so the buffer stays near one frame.
    if (m_start > 0 && m_start >= m_buffer.size() / 2) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_start));
        m_start = 0;
    }
    m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
}

NbtResult<std::optional<NbtSessionFrame>> NbtSessionFrameReader::Next() {
    if (m_error) {
        return *m_error;
    }
    if (Buffered() < kSsnHeaderLength) {
        return std::optional<NbtSessionFrame>();
    }
    const std::span<const uint8_t> pending(m_buffer.data() + m_start, Buffered());
    const auto header = NbtSessionFrame::DecodeHeader(pending.first<kSsnHeaderLength>());
    if (!header) {
        m_error = header.Error();
        return *m_error;
    }
    if (header.Value().length > m_maxLength) {
        m_error = NbtError::TooLarge;
        return *m_error;
    }
    const size_t frameLength = kSsnHeaderLength + header.Value().length;
    if (pending.size() < frameLength) {
        return std::optional<NbtSessionFrame>();
    }
    const auto trailer = pending.subspan(kSsnHeaderLength, header.Value().length);
    NbtSessionFrame frame{header.Value().type, NbtBytes(trailer.begin(), trailer.end())};
    m_start += frameLength;
    if (m_start == m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    }
    return std::optional<NbtSessionFrame>(std::move(frame));
}
