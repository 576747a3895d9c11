#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "netbios/CProtocolDataUnit.h"

// An SMB message: the 32-byte header, the parameter words and the data bytes.
// All integers are little-endian on the wire. Encode writes the fields as they
// stand; Decode keeps every header field as received, so a decoded request can
// serve as the header of its reply (the reply flag is never set).
class CSmbPdu : public CProtocolDataUnit {
public:
    static constexpr uint8_t kCommandTransaction = 0x25;
    static constexpr uint8_t kCommandSendMessage = 0xD0;
    static constexpr uint8_t kCommandSendStart = 0xD5;
    static constexpr uint8_t kCommandSendEnd = 0xD6;
    static constexpr uint8_t kCommandSendText = 0xD7;

    static constexpr uint32_t kHeaderSize = 32;
    static constexpr uint32_t kMaxWords = 256;
    static constexpr uint32_t kMaxDataBytes = 1024;
    static constexpr uint32_t kReservedSize = 14;

    CSmbPdu();

    bool Encode(CPduBuffer& buffer) override;
    bool Decode(CPduBuffer& buffer) override;
    // Zeroes every field, then sets the signature 0xFF 'S' 'M' 'B' and 0x00
    // as the command.
    void Reset() override;

    // A reply to this message: its header unchanged, no words, no data.
    CSmbPdu MakeReply() const;
    // The same with one parameter word (the Send Start reply carries the
    // message group id this way).
    CSmbPdu MakeReply(uint16_t word0) const;

    // Copies every header field (not the words or data) from `other`.
    void CopyHeader(const CSmbPdu& other);

    uint8_t Command() const { return m_command; }
    void SetCommand(uint8_t command) { m_command = command; }
    const std::array<uint8_t, 4>& Signature() const { return m_signature; }
    uint8_t ErrorClass() const { return m_errorClass; }
    void SetErrorClass(uint8_t value) { m_errorClass = value; }
    uint16_t ErrorCode() const { return m_errorCode; }
    void SetErrorCode(uint16_t value) { m_errorCode = value; }
    // The 4-byte status field as one value: error class in the low byte, then
    // the reserved byte, then the error code.
    uint32_t Status() const;
    // True when a reply reports a failure: a non-zero error class, or, when
    // Flags2 marks the status as a 32-bit NT status, any non-zero status.
    bool IsError() const;
    uint8_t Flags() const { return m_flags; }
    void SetFlags(uint8_t value) { m_flags = value; }
    // Flags2 and the reserved words that follow it, 14 bytes from offset 10.
    const std::array<uint8_t, kReservedSize>& Reserved() const { return m_reserved; }
    uint16_t Tid() const { return m_tid; }
    void SetTid(uint16_t value) { m_tid = value; }
    uint16_t Pid() const { return m_pid; }
    void SetPid(uint16_t value) { m_pid = value; }
    uint16_t Uid() const { return m_uid; }
    void SetUid(uint16_t value) { m_uid = value; }
    uint16_t Mid() const { return m_mid; }
    void SetMid(uint16_t value) { m_mid = value; }

    // At most 255: the word count is one byte on the wire.
    uint32_t WordCount() const { return m_wordCount; }
    // Larger counts are cut to 255; words beyond the old count read 0.
    void SetWordCount(uint32_t count);
    // Word `index`, 0 when index is not below the word count.
    uint16_t Word(uint32_t index) const;
    // Ignored when index is not below the word count.
    void SetWord(uint32_t index, uint16_t value);

    // The message group id of Send Start replies, Send Text and Send End:
    // word 0 (0 when there is none). Setting it makes the word count 1.
    uint16_t GroupId() const { return Word(0); }
    void SetGroupId(uint16_t groupId);

    uint32_t ByteCount() const { return m_byteCount; }
    std::span<const uint8_t> DataBytes() const { return {m_data.data(), m_byteCount}; }
    // Replaces the data bytes; returns false when more than kMaxDataBytes were
    // given (only that many are kept).
    bool SetDataBytes(std::span<const uint8_t> bytes);

protected:
    // Sets every field to zero, the signature and command included.
    void ClearFields();

    // Helpers for the data bytes of the derived messages.
    // The bytes from `position` up to the next 0x00 or the end of `data`;
    // `position` is left on the 0x00 (or at the end). Never reads past `data`.
    static std::string TakeString(std::span<const uint8_t> data, size_t& position);
    // Up to `count` bytes from `position`, cut at the end of `data`; sets
    // `complete` to whether all `count` were there.
    static std::string TakeBytes(std::span<const uint8_t> data, size_t position, size_t count,
                                 bool& complete);
    // The little-endian 16-bit value at `position`; a missing high byte reads
    // as 0, a missing low byte too.
    static uint16_t WordAt(std::span<const uint8_t> data, size_t position);
    // Appends `format`, `text` and 0x00.
    static void AppendString(std::string& out, uint8_t format, const std::string& text);
    // The two names of Send Single Block and Send Start in OEM: 0x04
    // originator 0x00 0x04 destination 0x00; nothing when either is empty.
    std::string NamesData(const std::string& originator, const std::string& destination) const;
    // Reads those two names from the start of `data` into the OEM strings;
    // `position` ends on the destination's terminator (or the end).
    static void TakeNames(std::span<const uint8_t> data, size_t& position, std::string& originator,
                          std::string& destination);
    // Appends 0x01, the 16-bit length of `block` and `block`.
    static void AppendDataBlock(std::string& out, const std::string& block);
    // Sets the data bytes from `bytes`; false when they were cut.
    bool SetDataBytes(const std::string& bytes);

private:
    std::array<uint8_t, 4> m_signature{};
    uint8_t m_command = 0;
    uint8_t m_errorClass = 0;
    uint8_t m_reservedByte = 0;
    uint16_t m_errorCode = 0;
    uint8_t m_flags = 0;
    std::array<uint8_t, kReservedSize> m_reserved{};
    uint16_t m_tid = 0;
    uint16_t m_pid = 0;
    uint16_t m_uid = 0;
    uint16_t m_mid = 0;
    uint32_t m_wordCount = 0;
    std::array<uint16_t, kMaxWords> m_words{};
    uint32_t m_byteCount = 0;
    std::array<uint8_t, kMaxDataBytes> m_data{};
};
