#pragma once

#include <cstdint>
#include <span>

#include "platform/nbt/NbtConstants.h"
#include "platform/nbt/NbtName.h"
#include "platform/nbt/NbtResult.h"

// A datagram service packet (UDP 138). Which fields are on the wire depends on
// msgType:
//   0x10..0x12: header with DGM_LENGTH and PACKET_OFFSET, sourceName,
//               destinationName, userData;
//   0x13:       header up to SOURCE_PORT, errorCode;
//   0x14..0x16: header up to SOURCE_PORT, destinationName.
// The other fields are ignored when encoding and left default when decoding.
// Names are never compressed here. sourceIp is IPv4 in host order.
struct NbtDatagramPacket {
    uint8_t msgType = kDgmDirectGroup;
    uint8_t flags = kDgmFlagFirst;
    uint16_t dgmId = 0;
    uint32_t sourceIp = 0;
    uint16_t sourcePort = kNbtDatagramPort;
    uint16_t packetOffset = 0;
    NbtName sourceName;
    NbtName destinationName;
    NbtBytes userData;
    uint8_t errorCode = 0;

    bool CarriesData() const { return msgType >= kDgmDirectUnique && msgType <= kDgmBroadcast; }

    // Decodes a UDP payload. For data datagrams the names and user data are
    // taken from the DGM_LENGTH bytes after the header; bytes past them are
    // ignored. Errors: Truncated (also DGM_LENGTH past the end), BadType,
    // BadPointer (a compressed name), BadLength (names longer than
    // DGM_LENGTH), and the other name errors of NbtName::DecodeWire.
    static NbtResult<NbtDatagramPacket> Decode(std::span<const uint8_t> packet);

    // Errors: BadType; TooLarge when names and user data exceed 65535 bytes.
    NbtResult<NbtBytes> Encode() const;

    bool operator==(const NbtDatagramPacket&) const = default;
};
