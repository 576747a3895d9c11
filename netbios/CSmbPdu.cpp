#include "netbios/CSmbPdu.h"

#include <algorithm>

#include "netbios/CPduBuffer.h"

namespace {

constexpr std::array<uint8_t, 4> kSignature = {0xFF, 'S', 'M', 'B'};
constexpr uint32_t kMaxWordCount = 255;
// Flags2 bit 14 (in the high byte of Flags2): the status is an NT status.
constexpr uint8_t kFlags2NtStatusHigh = 0x40;

}  // namespace

CSmbPdu::CSmbPdu() {
    CSmbPdu::Reset();
}

void CSmbPdu::ClearFields() {
    m_signature = {};
    m_command = 0;
    m_errorClass = 0;
    m_reservedByte = 0;
    m_errorCode = 0;
    m_flags = 0;
    m_reserved = {};
    m_tid = 0;
    m_pid = 0;
    m_uid = 0;
    m_mid = 0;
    m_wordCount = 0;
    m_words = {};
    m_byteCount = 0;
    m_data = {};
}

void CSmbPdu::Reset() {
    ClearFields();
    m_signature = kSignature;
}

bool CSmbPdu::Encode(CPduBuffer& buffer) {
    buffer.Clear();
    buffer.WriteBytes(m_signature.data(), m_signature.size());
    buffer.WriteByte(m_command);
    buffer.WriteByte(m_errorClass);
    buffer.WriteByte(m_reservedByte);
    buffer.WriteWord(m_errorCode);
    buffer.WriteByte(m_flags);
    buffer.WriteBytes(m_reserved.data(), m_reserved.size());
    buffer.WriteWord(m_tid);
    buffer.WriteWord(m_pid);
    buffer.WriteWord(m_uid);
    buffer.WriteWord(m_mid);
    buffer.WriteByte(static_cast<uint8_t>(m_wordCount));
    for (uint32_t i = 0; i < m_wordCount; ++i) {
        buffer.WriteWord(m_words[i]);
    }
    buffer.WriteWord(static_cast<uint16_t>(m_byteCount));
    buffer.WriteBytes(m_data.data(), m_byteCount);
    return !buffer.Overflowed();
}

bool CSmbPdu::Decode(CPduBuffer& buffer) {
    ClearFields();
    buffer.Rewind();
    // A short header leaves the fields it did not reach at 0.
    std::array<uint8_t, kHeaderSize> header{};
    const uint32_t headerLength = buffer.ReadBytes(header.data(), header.size());
    const auto word = [&header](size_t offset) {
        return static_cast<uint16_t>(header[offset] | (header[offset + 1] << 8));
    };
    std::copy_n(header.begin(), m_signature.size(), m_signature.begin());
    m_command = header[4];
    m_errorClass = header[5];
    m_reservedByte = header[6];
    m_errorCode = word(7);
    m_flags = header[9];
    std::copy_n(header.begin() + 10, m_reserved.size(), m_reserved.begin());
    m_tid = word(24);
    m_pid = word(26);
    m_uid = word(28);
    m_mid = word(30);
    if (headerLength < kHeaderSize) {
        return false;
    }

    uint8_t wordCount = 0;
    if (!buffer.ReadByte(wordCount)) {
        return false;
    }
    // Only whole words that arrived are kept.
    while (m_wordCount < wordCount && buffer.ReadWord(m_words[m_wordCount])) {
        ++m_wordCount;
    }
    uint16_t byteCount = 0;
    if (m_wordCount < wordCount || !buffer.ReadWord(byteCount)) {
        return false;
    }
    m_byteCount = buffer.ReadBytes(m_data.data(), std::min<uint32_t>(byteCount, kMaxDataBytes));
    return m_byteCount == byteCount;
}

uint32_t CSmbPdu::Status() const {
    return static_cast<uint32_t>(m_errorClass) | static_cast<uint32_t>(m_reservedByte) << 8 |
           static_cast<uint32_t>(m_errorCode) << 16;
}

bool CSmbPdu::IsError() const {
    if ((m_reserved[1] & kFlags2NtStatusHigh) != 0) {
        return Status() != 0;
    }
    return m_errorClass != 0;
}

CSmbPdu CSmbPdu::MakeReply() const {
    CSmbPdu reply;
    reply.CopyHeader(*this);
    return reply;
}

CSmbPdu CSmbPdu::MakeReply(uint16_t word0) const {
    CSmbPdu reply = MakeReply();
    reply.SetWordCount(1);
    reply.SetWord(0, word0);
    return reply;
}

void CSmbPdu::CopyHeader(const CSmbPdu& other) {
    m_signature = other.m_signature;
    m_command = other.m_command;
    m_errorClass = other.m_errorClass;
    m_reservedByte = other.m_reservedByte;
    m_errorCode = other.m_errorCode;
    m_flags = other.m_flags;
    m_reserved = other.m_reserved;
    m_tid = other.m_tid;
    m_pid = other.m_pid;
    m_uid = other.m_uid;
    m_mid = other.m_mid;
}

void CSmbPdu::SetWordCount(uint32_t count) {
    const uint32_t newCount = std::min(count, kMaxWordCount);
    std::fill(m_words.begin() + std::min(newCount, m_wordCount), m_words.end(), uint16_t{0});
    m_wordCount = newCount;
}

uint16_t CSmbPdu::Word(uint32_t index) const {
    return index < m_wordCount ? m_words[index] : 0;
}

void CSmbPdu::SetWord(uint32_t index, uint16_t value) {
    if (index < m_wordCount) {
        m_words[index] = value;
    }
}

bool CSmbPdu::SetDataBytes(std::span<const uint8_t> bytes) {
    m_byteCount = static_cast<uint32_t>(std::min<size_t>(bytes.size(), kMaxDataBytes));
    std::copy_n(bytes.begin(), m_byteCount, m_data.begin());
    std::fill(m_data.begin() + m_byteCount, m_data.end(), uint8_t{0});
    return m_byteCount == bytes.size();
}

void CSmbPdu::SetGroupId(uint16_t groupId) {
    if (m_wordCount < 1) {
        SetWordCount(1);
    }
    m_words[0] = groupId;
}

std::string CSmbPdu::TakeString(std::span<const uint8_t> data, size_t& position) {
    std::string text;
    while (position < data.size() && data[position] != 0) {
        text.push_back(static_cast<char>(data[position]));
        ++position;
    }
    position = std::min(position, data.size());
    return text;
}

std::string CSmbPdu::TakeBytes(std::span<const uint8_t> data, size_t position, size_t count,
                               bool& complete) {
    const size_t start = std::min(position, data.size());
    const size_t available = data.size() - start;
    complete = count <= available;
    const size_t taken = std::min(count, available);
    return std::string(reinterpret_cast<const char*>(data.data()) + start, taken);
}

uint16_t CSmbPdu::WordAt(std::span<const uint8_t> data, size_t position) {
    const uint16_t low = position < data.size() ? data[position] : 0;
    const uint16_t high = position + 1 < data.size() ? data[position + 1] : 0;
    return static_cast<uint16_t>(low | (high << 8));
}

void CSmbPdu::AppendString(std::string& out, uint8_t format, const std::string& text) {
    out.push_back(static_cast<char>(format));
    out += text;
    out.push_back('\0');
}

void CSmbPdu::AppendDataBlock(std::string& out, const std::string& block) {
    const size_t length = std::min<size_t>(block.size(), 0xFFFF);
    out.push_back(0x01);
    out.push_back(static_cast<char>(length & 0xFF));
    out.push_back(static_cast<char>(length >> 8));
    out += block;
}

bool CSmbPdu::SetDataBytes(const std::string& bytes) {
    return SetDataBytes(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

std::string CSmbPdu::NamesData(const std::string& originator,
                               const std::string& destination) const {
    const std::string oemOriginator = ToOem(originator);
    const std::string oemDestination = ToOem(destination);
    std::string data;
    if (!oemOriginator.empty() && !oemDestination.empty()) {
        AppendString(data, 0x04, oemOriginator);
        AppendString(data, 0x04, oemDestination);
    }
    return data;
}

void CSmbPdu::TakeNames(std::span<const uint8_t> data, size_t& position, std::string& originator,
                        std::string& destination) {
    position = 1;  // the 0x04 buffer format
    originator = TakeString(data, position);
    position += 2;  // 0x00, 0x04
    destination = TakeString(data, position);
}
