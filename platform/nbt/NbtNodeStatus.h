#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/nbt/NbtConstants.h"
#include "platform/nbt/NbtName.h"
#include "platform/nbt/NbtResult.h"

// One row of a node status name table: 16 raw bytes and NAME_FLAGS.
struct NbtNodeStatusEntry {
    NbtName name;
    uint16_t flags = 0;

    bool operator==(const NbtNodeStatusEntry&) const = default;
};

// NODE STATUS RDATA: NUM_NAMES, the name table, the 46-byte statistics block
// whose first 6 bytes are UNIT_ID.
struct NbtNodeStatus {
    std::vector<NbtNodeStatusEntry> names;
    std::array<uint8_t, kNbtNodeStatisticsLength> statistics{};

    std::array<uint8_t, kNbtUnitIdLength> UnitId() const;
    void SetUnitId(const std::array<uint8_t, kNbtUnitIdLength>& unitId);

    static size_t EncodedLength(size_t nameCount) {
        return 1 + 18 * nameCount + kNbtNodeStatisticsLength;
    }

    // The name table must be complete; a statistics block that is short or
    // missing is zero-filled, as only UNIT_ID is of use. Errors: Truncated.
    static NbtResult<NbtNodeStatus> Decode(std::span<const uint8_t> rdata);
    // Errors: TooLarge for more than 255 names.
    NbtResult<NbtBytes> Encode() const;

    bool operator==(const NbtNodeStatus&) const = default;
};
