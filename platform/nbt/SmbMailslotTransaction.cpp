#include "platform/nbt/SmbMailslotTransaction.h"

#include <algorithm>
#include <cstring>

#include "platform/nbt/NbtByteReader.h"
#include "platform/nbt/NbtByteWriter.h"

namespace {

constexpr uint8_t kSmbSignature[4] = {0xFF, 'S', 'M', 'B'};
constexpr size_t kCommandOffset = 4;
constexpr size_t kTransactionParameterWords = 14;
constexpr uint8_t kMailslotSetupCount = 3;
// Header, WordCount, 17 words and ByteCount: where the mailslot name starts.
constexpr size_t kNameOffset = kSmbHeaderLength + 1 + 2 * kSmbTransactionWordCount + 2;

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool SmbMailslotTransaction::IsMailslot(std::string_view name) const {
    return std::equal(mailslotName.begin(), mailslotName.end(), name.begin(), name.end(),
                      [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
}

NbtResult<NbtBytes> SmbMailslotTransaction::Encode() const {
    if (mailslotName.empty() || mailslotName.find('\0') != std::string::npos) {
        return NbtError::BadTransaction;
    }
    const size_t dataOffset = kNameOffset + mailslotName.size() + 1;
    if (dataOffset + data.size() > kMaxMailslotSmbLength) {
        return NbtError::TooLarge;
    }
    const auto dataCount = static_cast<uint16_t>(data.size());
    NbtByteWriter writer;
    writer.WriteBytes(kSmbSignature);
    writer.WriteU8(kSmbComTransaction);
    for (size_t i = kCommandOffset + 1; i < kSmbHeaderLength; ++i) {
        writer.WriteU8(0);
    }
    writer.WriteU8(kSmbTransactionWordCount);
    writer.WriteU16Le(0);          // TotalParameterCount
    writer.WriteU16Le(dataCount);  // TotalDataCount
    writer.WriteU16Le(0);          // MaxParameterCount
    writer.WriteU16Le(0);          // MaxDataCount
    writer.WriteU8(0);             // MaxSetupCount
    writer.WriteU8(0);             // Reserved
    writer.WriteU16Le(0);          // Flags
    writer.WriteU32Le(timeout);
    writer.WriteU16Le(0);  // Reserved2
    writer.WriteU16Le(0);  // ParameterCount
    writer.WriteU16Le(0);  // ParameterOffset
    writer.WriteU16Le(dataCount);
    writer.WriteU16Le(static_cast<uint16_t>(dataOffset));
    writer.WriteU8(kMailslotSetupCount);
    writer.WriteU8(0);  // Reserved3
    writer.WriteU16Le(kMailslotOpcodeWrite);
    writer.WriteU16Le(priority);
    writer.WriteU16Le(mailslotClass);
    writer.WriteU16Le(static_cast<uint16_t>(mailslotName.size() + 1 + data.size()));
    writer.WriteString(mailslotName);
    writer.WriteU8(0);
    writer.WriteBytes(data);
    return writer.Take();
}

NbtResult<SmbMailslotTransaction> SmbMailslotTransaction::Decode(std::span<const uint8_t> smb) {
    if (smb.size() < kSmbHeaderLength + 1) {
        return NbtError::Truncated;
    }
    if (!std::equal(std::begin(kSmbSignature), std::end(kSmbSignature), smb.begin()) ||
        smb[kCommandOffset] != kSmbComTransaction) {
        return NbtError::BadSmbHeader;
    }
    NbtByteReader reader(smb, kSmbHeaderLength);
    uint8_t wordCount = 0;
    reader.ReadU8(wordCount);
    if (reader.Remaining() < 2 * size_t{wordCount} + 2) {
        return NbtError::Truncated;
    }
    if (wordCount < kTransactionParameterWords) {
        return NbtError::BadTransaction;
    }
    SmbMailslotTransaction result;
    uint16_t totalDataCount = 0;
    uint16_t dataCount = 0;
    uint16_t dataOffset = 0;
    uint8_t setupCount = 0;
    reader.Skip(2);  // TotalParameterCount
    reader.ReadU16Le(totalDataCount);
    reader.Skip(2 + 2 + 1 + 1 + 2);  // MaxParameterCount .. Flags
    reader.ReadU32Le(result.timeout);
    reader.Skip(2 + 2 + 2);  // Reserved2, ParameterCount, ParameterOffset
    reader.ReadU16Le(dataCount);
    reader.ReadU16Le(dataOffset);
    reader.ReadU8(setupCount);
    reader.Skip(1);  // Reserved3
    if (wordCount != kTransactionParameterWords + setupCount) {
        return NbtError::BadTransaction;
    }
    if (setupCount < kMailslotSetupCount) {
        return NbtError::NotMailslotWrite;
    }
    uint16_t opcode = 0;
    reader.ReadU16Le(opcode);
    reader.ReadU16Le(result.priority);
    reader.ReadU16Le(result.mailslotClass);
    reader.Skip(2 * (size_t{setupCount} - kMailslotSetupCount));
    if (opcode != kMailslotOpcodeWrite || dataCount != totalDataCount) {
        return NbtError::NotMailslotWrite;
    }
    uint16_t byteCount = 0;
    reader.ReadU16Le(byteCount);
    std::span<const uint8_t> bytes;
    if (!reader.ReadBytes(byteCount, bytes)) {
        return NbtError::Truncated;
    }
    const auto nul = std::find(bytes.begin(), bytes.end(), uint8_t{0});
    if (nul == bytes.end()) {
        return NbtError::BadTransaction;
    }
    result.mailslotName.assign(bytes.begin(), nul);
    const size_t nameEnd = reader.Position() - bytes.size() + result.mailslotName.size() + 1;
    if (dataOffset < nameEnd || size_t{dataOffset} + dataCount > smb.size()) {
        return NbtError::BadTransaction;
    }
    const auto data = smb.subspan(dataOffset, dataCount);
    result.data.assign(data.begin(), data.end());
    return result;
}
