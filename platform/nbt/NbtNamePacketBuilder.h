#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "platform/nbt/NbtConstants.h"
#include "platform/nbt/NbtName.h"
#include "platform/nbt/NbtNamePacket.h"
#include "platform/nbt/NbtNbAddress.h"
#include "platform/nbt/NbtNodeStatus.h"
#include "platform/nbt/NbtResult.h"

// Builds the name service packets a B-node sends, with the FLAGS words and
// section layout other stations expect. Addresses are IPv4 in host order.
class NbtNamePacketBuilder {
public:
    // Question name, NB, IN. Broadcast: 0x0110 (RD|B); unicast: 0x0100.
    static NbtNamePacket NameQueryRequest(uint16_t trnId, const NbtName& name, bool broadcast);
    // 0x8580 (R|AA|RD|RA), one NB answer listing addresses.
    static NbtNamePacket PositiveQueryResponse(uint16_t trnId, const NbtName& name, uint32_t ttl,
                                               std::span<const NbtNbAddress> addresses);
    // 0x2910 (op 5|RD|B): the question plus an additional record (written as
    // C0 0C) with TTL 0 and one NB entry.
    static NbtNamePacket RegistrationRequest(uint16_t trnId, const NbtName& name, uint16_t nbFlags,
                                             uint32_t address);
    // 0x2810: the registration request without RD, sent once a name is won.
    static NbtNamePacket OverwriteDemand(uint16_t trnId, const NbtName& name, uint16_t nbFlags,
                                         uint32_t address);
    // 0x3010 (op 6|B): shaped like the registration request.
    static NbtNamePacket ReleaseRequest(uint16_t trnId, const NbtName& name, uint16_t nbFlags,
                                        uint32_t address);
    // 0xAD86 (R|op 5|AA|RD|RA|ACT_ERR) answering request: its TRN_ID and
    // question name, TTL 0 and the RDATA of its additional record. Errors:
    // BadCount when request has no question or no additional record.
    static NbtResult<NbtNamePacket> NegativeRegistrationResponse(const NbtNamePacket& request);
    // 0xAD87 (CFT_ERR), sent to a station that answered for a name in conflict.
    static NbtNamePacket ConflictDemand(uint16_t trnId, const NbtName& name,
                                        std::span<const uint8_t> rdata);
    // 0x0000: question *<00>, NBSTAT, IN.
    static NbtNamePacket NodeStatusRequest(uint16_t trnId);
    // 0x8400 (R|AA): one NBSTAT answer for questionName with TTL 0. Names that
    // would take the packet past 576 bytes are left out and TC is set.
    static NbtNamePacket NodeStatusResponse(uint16_t trnId, const NbtName& questionName,
                                            std::span<const NbtNodeStatusEntry> names,
                                            const std::array<uint8_t, kNbtUnitIdLength>& unitId);
};
