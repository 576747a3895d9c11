#include "platform/nbt/NbtNbAddress.h"

#include "platform/nbt/NbtByteReader.h"
#include "platform/nbt/NbtByteWriter.h"

namespace {

constexpr size_t kEntryLength = 6;

}  // namespace

NbtResult<std::vector<NbtNbAddress>> NbtNbAddress::DecodeList(std::span<const uint8_t> rdata) {
    if (rdata.size() % kEntryLength != 0) {
        return NbtError::BadLength;
    }
    std::vector<NbtNbAddress> entries;
    entries.reserve(rdata.size() / kEntryLength);
    NbtByteReader reader(rdata);
    while (reader.Remaining() > 0) {
        NbtNbAddress entry;
        if (!reader.ReadU16Be(entry.flags) || !reader.ReadU32Be(entry.address)) {
            return NbtError::Truncated;
        }
        entries.push_back(entry);
    }
    return entries;
}

NbtBytes NbtNbAddress::EncodeList(std::span<const NbtNbAddress> entries) {
    NbtByteWriter writer;
    for (const NbtNbAddress& entry : entries) {
        writer.WriteU16Be(entry.flags);
        writer.WriteU32Be(entry.address);
    }
    return writer.Take();
}
