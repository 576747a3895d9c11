#include "platform/nbt/NbtNodeStatus.h"

#include <algorithm>
#include <string_view>

#include "platform/nbt/NbtByteReader.h"
#include "platform/nbt/NbtByteWriter.h"

std::array<uint8_t, kNbtUnitIdLength> NbtNodeStatus::UnitId() const {
    std::array<uint8_t, kNbtUnitIdLength> unitId{};
    std::copy_n(statistics.begin(), unitId.size(), unitId.begin());
    return unitId;
}

void NbtNodeStatus::SetUnitId(const std::array<uint8_t, kNbtUnitIdLength>& unitId) {
    std::copy(unitId.begin(), unitId.end(), statistics.begin());
}

NbtResult<NbtNodeStatus> NbtNodeStatus::Decode(std::span<const uint8_t> rdata) {
    NbtByteReader reader(rdata);
    uint8_t count = 0;
    if (!reader.ReadU8(count)) {
        return NbtError::Truncated;
    }
    NbtNodeStatus status;
    status.names.reserve(count);
    for (uint8_t i = 0; i < count; ++i) {
        std::span<const uint8_t> raw;
        NbtNodeStatusEntry entry;
        if (!reader.ReadBytes(kNbtRawNameLength, raw) || !reader.ReadU16Be(entry.flags)) {
            return NbtError::Truncated;
        }
        entry.name = NbtName::FromRaw(
                         std::string_view(reinterpret_cast<const char*>(raw.data()), raw.size()))
                         .Value();
        status.names.push_back(std::move(entry));
    }
    std::span<const uint8_t> statistics;
    const size_t available = std::min(reader.Remaining(), status.statistics.size());
    reader.ReadBytes(available, statistics);
    std::copy(statistics.begin(), statistics.end(), status.statistics.begin());
    return status;
}

NbtResult<NbtBytes> NbtNodeStatus::Encode() const {
    if (names.size() > 255) {
        return NbtError::TooLarge;
    }
    NbtByteWriter writer;
    writer.WriteU8(static_cast<uint8_t>(names.size()));
    for (const NbtNodeStatusEntry& entry : names) {
        writer.WriteString(entry.name.Raw());
        writer.WriteU16Be(entry.flags);
    }
    writer.WriteBytes(statistics);
    return writer.Take();
}
