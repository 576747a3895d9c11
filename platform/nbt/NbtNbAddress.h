#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/nbt/NbtResult.h"

// One {NB_FLAGS, NB_ADDRESS} entry of NB RDATA. The address is an IPv4
// address in host order (a.b.c.d is a << 24 | b << 16 | c << 8 | d).
struct NbtNbAddress {
    uint16_t flags = 0;
    uint32_t address = 0;

    // Errors: BadLength unless rdata is a whole number of 6-byte entries.
    static NbtResult<std::vector<NbtNbAddress>> DecodeList(std::span<const uint8_t> rdata);
    static NbtBytes EncodeList(std::span<const NbtNbAddress> entries);

    bool operator==(const NbtNbAddress&) const = default;
};
