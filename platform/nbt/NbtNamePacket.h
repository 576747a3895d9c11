#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/nbt/NbtConstants.h"
#include "platform/nbt/NbtName.h"
#include "platform/nbt/NbtResult.h"

// One entry of the question section.
struct NbtQuestion {
    NbtName name;
    uint16_t type = kNbtTypeNb;
    uint16_t questionClass = kNbtClassIn;

    bool operator==(const NbtQuestion&) const = default;
};

// One resource record; RDATA is kept raw (see NbtNbAddress, NbtNodeStatus).
struct NbtResourceRecord {
    NbtName name;
    uint16_t type = kNbtTypeNb;
    uint16_t recordClass = kNbtClassIn;
    uint32_t ttl = 0;
    NbtBytes rdata;

    bool operator==(const NbtResourceRecord&) const = default;
};

// A name service packet (UDP 137): header and the four sections.
struct NbtNamePacket {
    uint16_t trnId = 0;
    uint16_t flags = 0;
    std::vector<NbtQuestion> questions;
    std::vector<NbtResourceRecord> answers;
    std::vector<NbtResourceRecord> authorities;
    std::vector<NbtResourceRecord> additionals;

    bool IsResponse() const { return (flags & kNbtFlagResponse) != 0; }
    uint8_t Opcode() const {
        return static_cast<uint8_t>((flags & kNbtFlagOpcodeMask) >> kNbtOpcodeShift);
    }
    uint8_t Rcode() const { return static_cast<uint8_t>(flags & kNbtFlagRcodeMask); }
    bool IsBroadcast() const { return (flags & kNbtFlagBroadcast) != 0; }

    // Decodes a whole UDP payload; names may use compression pointers and
    // bytes after the last record are ignored. Errors: Truncated, BadCount
    // (more entries than the bytes could hold), BadLength (RDLENGTH past the
    // end), and the name errors of NbtName::DecodeWire.
    static NbtResult<NbtNamePacket> Decode(std::span<const uint8_t> packet);

    // Encodes the packet. A record whose name equals the first question's
    // name is written as the pointer C0 0C, as registration and release
    // requests do. Errors: TooLarge for a section of more than 65535 entries
    // or RDATA longer than 65535 bytes.
    NbtResult<NbtBytes> Encode() const;

    bool operator==(const NbtNamePacket&) const = default;
};
