#include "platform/nbt/NbtNamePacketBuilder.h"

#include <algorithm>

namespace {

constexpr uint16_t Opcode(uint8_t opcode) {
    return static_cast<uint16_t>(opcode << kNbtOpcodeShift);
}

constexpr uint16_t kQueryRequestFlags = kNbtFlagRecursionDesired;
constexpr uint16_t kPositiveQueryResponseFlags = kNbtFlagResponse | kNbtFlagAuthoritative |
                                                 kNbtFlagRecursionDesired |
                                                 kNbtFlagRecursionAvailable;
constexpr uint16_t kRegistrationFlags =
    Opcode(kNbtOpRegistration) | kNbtFlagRecursionDesired | kNbtFlagBroadcast;
constexpr uint16_t kOverwriteDemandFlags = Opcode(kNbtOpRegistration) | kNbtFlagBroadcast;
constexpr uint16_t kReleaseFlags = Opcode(kNbtOpRelease) | kNbtFlagBroadcast;
constexpr uint16_t kNegativeRegistrationFlags = kNbtFlagResponse | Opcode(kNbtOpRegistration) |
                                                kNbtFlagAuthoritative | kNbtFlagRecursionDesired |
                                                kNbtFlagRecursionAvailable;
constexpr uint16_t kNodeStatusResponseFlags = kNbtFlagResponse | kNbtFlagAuthoritative;
constexpr size_t kHeaderLength = 12;
constexpr size_t kRecordFieldsLength = 10;  // type, class, TTL, RDLENGTH

NbtNamePacket RequestWithAddress(uint16_t trnId, uint16_t flags, const NbtName& name,
                                 uint16_t nbFlags, uint32_t address) {
    NbtNamePacket packet;
    packet.trnId = trnId;
    packet.flags = flags;
    packet.questions.push_back({name, kNbtTypeNb, kNbtClassIn});
    const NbtNbAddress entry{nbFlags, address};
    packet.additionals.push_back(
        {name, kNbtTypeNb, kNbtClassIn, 0, NbtNbAddress::EncodeList({&entry, 1})});
    return packet;
}

NbtNamePacket ResponseWithRdata(uint16_t trnId, uint16_t flags, const NbtName& name,
                                std::span<const uint8_t> rdata) {
    NbtNamePacket packet;
    packet.trnId = trnId;
    packet.flags = flags;
    packet.answers.push_back(
        {name, kNbtTypeNb, kNbtClassIn, 0, NbtBytes(rdata.begin(), rdata.end())});
    return packet;
}

}  // namespace

NbtNamePacket NbtNamePacketBuilder::NameQueryRequest(uint16_t trnId, const NbtName& name,
                                                     bool broadcast) {
    NbtNamePacket packet;
    packet.trnId = trnId;
    packet.flags = broadcast ? kQueryRequestFlags | kNbtFlagBroadcast : kQueryRequestFlags;
    packet.questions.push_back({name, kNbtTypeNb, kNbtClassIn});
    return packet;
}

NbtNamePacket NbtNamePacketBuilder::PositiveQueryResponse(uint16_t trnId, const NbtName& name,
                                                          uint32_t ttl,
                                                          std::span<const NbtNbAddress> addresses) {
    NbtNamePacket packet;
    packet.trnId = trnId;
    packet.flags = kPositiveQueryResponseFlags;
    packet.answers.push_back(
        {name, kNbtTypeNb, kNbtClassIn, ttl, NbtNbAddress::EncodeList(addresses)});
    return packet;
}

NbtNamePacket NbtNamePacketBuilder::RegistrationRequest(uint16_t trnId, const NbtName& name,
                                                        uint16_t nbFlags, uint32_t address) {
    return RequestWithAddress(trnId, kRegistrationFlags, name, nbFlags, address);
}

NbtNamePacket NbtNamePacketBuilder::OverwriteDemand(uint16_t trnId, const NbtName& name,
                                                    uint16_t nbFlags, uint32_t address) {
    return RequestWithAddress(trnId, kOverwriteDemandFlags, name, nbFlags, address);
}

NbtNamePacket NbtNamePacketBuilder::ReleaseRequest(uint16_t trnId, const NbtName& name,
                                                   uint16_t nbFlags, uint32_t address) {
    return RequestWithAddress(trnId, kReleaseFlags, name, nbFlags, address);
}

NbtResult<NbtNamePacket> NbtNamePacketBuilder::NegativeRegistrationResponse(
    const NbtNamePacket& request) {
    if (request.questions.empty() || request.additionals.empty()) {
        return NbtError::BadCount;
    }
    return ResponseWithRdata(request.trnId, kNegativeRegistrationFlags | kNbtRcodeActErr,
                             request.questions.front().name, request.additionals.front().rdata);
}

NbtNamePacket NbtNamePacketBuilder::ConflictDemand(uint16_t trnId, const NbtName& name,
                                                   std::span<const uint8_t> rdata) {
    return ResponseWithRdata(trnId, kNegativeRegistrationFlags | kNbtRcodeCftErr, name, rdata);
}

NbtNamePacket NbtNamePacketBuilder::NodeStatusRequest(uint16_t trnId) {
    NbtNamePacket packet;
    packet.trnId = trnId;
    packet.flags = 0;
    packet.questions.push_back({NbtName::Make("*", 0x00).Value(), kNbtTypeNbstat, kNbtClassIn});
    return packet;
}

NbtNamePacket NbtNamePacketBuilder::NodeStatusResponse(
    uint16_t trnId, const NbtName& questionName, std::span<const NbtNodeStatusEntry> names,
    const std::array<uint8_t, kNbtUnitIdLength>& unitId) {
    const size_t fixed = kHeaderLength + questionName.WireLength() + kRecordFieldsLength +
                         NbtNodeStatus::EncodedLength(0);
    // A scope near 255 bytes still leaves room: 12 + 255 + 10 + 47 < 576.
    const size_t fitting = std::min<size_t>((kMaxDatagramLength - fixed) / 18, 255);
    NbtNodeStatus status;
    status.SetUnitId(unitId);
    const size_t count = std::min(names.size(), fitting);
    status.names.assign(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(count));

    NbtNamePacket packet;
    packet.trnId = trnId;
    packet.flags = kNodeStatusResponseFlags;
    if (count < names.size()) {
        packet.flags |= kNbtFlagTruncated;
    }
    packet.answers.push_back(
        {questionName, kNbtTypeNbstat, kNbtClassIn, 0, status.Encode().Value()});
    return packet;
}
