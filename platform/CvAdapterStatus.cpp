#include "platform/CvAdapterStatus.h"

#include <algorithm>

#include "platform/CvNcb.h"

namespace {

// Offsets in ADAPTER_STATUS that this code fills or reads.
constexpr size_t kRevMajor = 6;
constexpr size_t kAdapterType = 8;
constexpr size_t kRevMinor = 9;
constexpr size_t kMaxDatagramSize = 48;
constexpr size_t kPendingSessions = 50;
constexpr size_t kMaxConfiguredSessions = 52;
constexpr size_t kMaxSessions = 54;
constexpr size_t kMaxSessionPacketSize = 56;
constexpr size_t kNameCount = 58;

void PutWord(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
    bytes[offset] = static_cast<uint8_t>(value & 0xFF);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

uint16_t GetWord(std::span<const uint8_t> bytes, size_t offset) {
    return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

}  // namespace

uint8_t CvAdapterStatus::Encode(uint8_t* buffer, uint16_t& length) const {
    if (buffer == nullptr && length != 0) {
        length = 0;
        return kNrcBufLen;
    }
    const size_t count = std::min<size_t>(names.size(), 0xFFFF);
    std::vector<uint8_t> bytes(EncodedSize(count), 0);
    std::copy(mac.begin(), mac.end(), bytes.begin());
    bytes[kRevMajor] = revMajor;
    bytes[kAdapterType] = adapterType;
    bytes[kRevMinor] = revMinor;
    PutWord(bytes, kMaxDatagramSize, maxDatagramSize);
    PutWord(bytes, kPendingSessions, pendingSessions);
    PutWord(bytes, kMaxConfiguredSessions, maxSessions);
    PutWord(bytes, kMaxSessions, maxSessions);
    PutWord(bytes, kMaxSessionPacketSize, maxSessionPacketSize);
    PutWord(bytes, kNameCount, static_cast<uint16_t>(count));
    for (size_t i = 0; i < count; ++i) {
        const size_t offset = EncodedSize(i);
        std::copy(names[i].name.begin(), names[i].name.end(), bytes.begin() + offset);
        bytes[offset + 16] = names[i].number;
        bytes[offset + 17] = names[i].flags;
    }

    const size_t written = std::min<size_t>(bytes.size(), length);
    std::copy_n(bytes.begin(), written, buffer);
    const bool complete = written == bytes.size();
    length = static_cast<uint16_t>(written);
    return complete ? kNrcGoodRet : kNrcIncomp;
}

std::optional<CvAdapterStatus> CvAdapterStatus::Decode(std::span<const uint8_t> bytes) {
    if (bytes.size() < kHeaderSize) {
        return std::nullopt;
    }
    const size_t count = GetWord(bytes, kNameCount);
    if (bytes.size() < EncodedSize(count)) {
        return std::nullopt;
    }
    CvAdapterStatus status;
    std::copy_n(bytes.begin(), status.mac.size(), status.mac.begin());
    status.revMajor = bytes[kRevMajor];
    status.adapterType = bytes[kAdapterType];
    status.revMinor = bytes[kRevMinor];
    status.maxDatagramSize = GetWord(bytes, kMaxDatagramSize);
    status.pendingSessions = GetWord(bytes, kPendingSessions);
    status.maxSessions = GetWord(bytes, kMaxSessions);
    status.maxSessionPacketSize = GetWord(bytes, kMaxSessionPacketSize);
    status.names.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const size_t offset = EncodedSize(i);
        Name& name = status.names[i];
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), 16, name.name.begin());
        name.number = bytes[offset + 16];
        name.flags = bytes[offset + 17];
    }
    return status;
}
