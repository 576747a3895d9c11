#include "platform/nbt/NbtDatagramPacket.h"

#include <limits>

#include "platform/nbt/NbtByteReader.h"
#include "platform/nbt/NbtByteWriter.h"

namespace {

constexpr size_t kDataHeaderLength = 14;

bool IsKnownType(uint8_t msgType) {
    return msgType >= kDgmDirectUnique && msgType <= kDgmNegativeQueryResponse;
}

}  // namespace

NbtResult<NbtDatagramPacket> NbtDatagramPacket::Decode(std::span<const uint8_t> packet) {
    NbtByteReader reader(packet);
    NbtDatagramPacket result;
    if (!reader.ReadU8(result.msgType)) {
        return NbtError::Truncated;
    }
    if (!IsKnownType(result.msgType)) {
        return NbtError::BadType;
    }
    if (!reader.ReadU8(result.flags) || !reader.ReadU16Be(result.dgmId) ||
        !reader.ReadU32Be(result.sourceIp) || !reader.ReadU16Be(result.sourcePort)) {
        return NbtError::Truncated;
    }
    if (result.msgType == kDgmError) {
        if (!reader.ReadU8(result.errorCode)) {
            return NbtError::Truncated;
        }
        return result;
    }
    if (!result.CarriesData()) {
        size_t offset = reader.Position();
        auto name = NbtName::DecodeWire(packet, offset, false);
        if (!name) {
            return name.Error();
        }
        result.destinationName = std::move(name).Value();
        return result;
    }
    uint16_t dgmLength = 0;
    if (!reader.ReadU16Be(dgmLength) || !reader.ReadU16Be(result.packetOffset)) {
        return NbtError::Truncated;
    }
    if (reader.Remaining() < dgmLength) {
        return NbtError::Truncated;
    }
    // Names must lie inside DGM_LENGTH: decode them from that window only.
    const std::span<const uint8_t> body = packet.first(kDataHeaderLength + dgmLength);
    size_t offset = kDataHeaderLength;
    for (NbtName* name : {&result.sourceName, &result.destinationName}) {
        auto decoded = NbtName::DecodeWire(body, offset, false);
        if (!decoded) {
            return decoded.Error() == NbtError::Truncated ? NbtError::BadLength : decoded.Error();
        }
        *name = std::move(decoded).Value();
    }
    result.userData.assign(body.begin() + static_cast<std::ptrdiff_t>(offset), body.end());
    return result;
}

NbtResult<NbtBytes> NbtDatagramPacket::Encode() const {
    if (!IsKnownType(msgType)) {
        return NbtError::BadType;
    }
    NbtByteWriter writer;
    writer.WriteU8(msgType);
    writer.WriteU8(flags);
    writer.WriteU16Be(dgmId);
    writer.WriteU32Be(sourceIp);
    writer.WriteU16Be(sourcePort);
    if (msgType == kDgmError) {
        writer.WriteU8(errorCode);
        return writer.Take();
    }
    if (!CarriesData()) {
        destinationName.AppendWire(writer);
        return writer.Take();
    }
    const size_t dgmLength =
        sourceName.WireLength() + destinationName.WireLength() + userData.size();
    if (dgmLength > std::numeric_limits<uint16_t>::max()) {
        return NbtError::TooLarge;
    }
    writer.WriteU16Be(static_cast<uint16_t>(dgmLength));
    writer.WriteU16Be(packetOffset);
    sourceName.AppendWire(writer);
    destinationName.AppendWire(writer);
    writer.WriteBytes(userData);
    return writer.Take();
}
