#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/nbt/NbtConstants.h"
#include "platform/nbt/NbtResult.h"

// A mailslot write carried as SMB_COM_TRANSACTION in a datagram's user data.
// All SMB header fields but the command are 0 when encoding and ignored when
// decoding.
struct SmbMailslotTransaction {
    std::string mailslotName = kMessengerMailslot;  // ASCII, e.g. "\MAILSLOT\MESSNGR"
    NbtBytes data;
    uint16_t priority = 1;  // receivers ignore it
    uint16_t mailslotClass = kMailslotClassUnreliable;
    uint32_t timeout = 0;

    // True when the mailslot name equals name, ignoring ASCII case.
    bool IsMailslot(std::string_view name) const;

    // Writes the SMB with no padding: the data follows the name's NUL (DataOffset
    // 87 for "\MAILSLOT\MESSNGR"). Errors: BadTransaction for an empty name or
    // one containing NUL; TooLarge when the SMB would exceed 576 bytes.
    NbtResult<NbtBytes> Encode() const;

    // Decodes user data starting at the SMB header. The data is taken from
    // DataOffset and DataCount, so padding after the name is allowed.
    // Errors: Truncated; BadSmbHeader (no SMB signature or command not 0x25);
    // BadTransaction (WordCount not 14 + SetupCount, ByteCount past the end,
    // name without NUL, data outside the packet or overlapping the name);
    // NotMailslotWrite (fewer than 3 setup words, opcode not write, or only
    // part of the data, DataCount < TotalDataCount).
    static NbtResult<SmbMailslotTransaction> Decode(std::span<const uint8_t> smb);

    bool operator==(const SmbMailslotTransaction&) const = default;
};
